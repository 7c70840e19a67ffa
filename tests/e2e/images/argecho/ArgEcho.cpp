// argecho.efi: a test-only EFI 1.x shell application for the firmware tests.
//
// It prints what it received through the shell interface and the version-2
// shell environment on its image handle, then ends with a chosen status:
//
//   argecho.efi [word...]
//
//   args 3                       the argument count, then one line per argument:
//   arg 1 0x1 [/q]               index, argument-information word, the text
//   env v2 filter 0x7>0x5 prot ShellInt/null
//                                signature and version, the key filter before and
//                                after clearing 0x2, GetProt of the shell interface
//                                GUID and of an unknown GUID
//   path NAME \dir\file          for each word path:NAME, the file-path nodes that
//                                NameToPath gives, or "null"
//
// Words that steer it: ret:HEX returns that status, exit:HEX ends through
// Exit with it, swap replaces the argument list with pool copies of its own
// (as EFI 1.x applications may, so that the bridge must free those).
#include "StatusText.h"

#include "Efi.h"

namespace {

EFI_SYSTEM_TABLE* gSystem;

void Print(const CHAR16* Text) { gSystem->ConOut->OutputString(gSystem->ConOut, Text); }

void PrintHex(UINT64 Value) {
  CHAR16 text[kStatusTextSize];
  StatusToText(Value, text);
  Print(text);
}

bool StartsWith(const CHAR16* Text, const CHAR16* Prefix) {
  for (; *Prefix != 0; ++Prefix, ++Text) {
    if (*Text != *Prefix) return false;
  }
  return true;
}

UINT64 ParseHex(const CHAR16* Text) {
  if (StartsWith(Text, u"0x")) Text += 2;
  UINT64 value = 0;
  for (; *Text != 0; ++Text) {
    CHAR16 c = *Text;
    UINT64 digit = c >= u'a' ? c - u'a' + 10 : c >= u'A' ? c - u'A' + 10 : c - u'0';
    value = (value << 4) | (digit & 0xF);
  }
  return value;
}

void PrintArgs(const EFI_SHELL_INTERFACE* Shell) {
  Print(u"args ");
  PrintHex(Shell->Argc);
  Print(u"\r\n");
  for (UINTN i = 0; i < Shell->Argc; ++i) {
    Print(u"arg ");
    PrintHex(i);
    Print(u" ");
    PrintHex(Shell->ArgInfo != nullptr ? Shell->ArgInfo[i].Attributes : 0);
    Print(u" [");
    Print(Shell->Argv[i]);
    Print(u"]\r\n");
  }
}

bool IsVersion2(const EFI_SHELL_ENVIRONMENT2* Env) {
  const UINT8* a = reinterpret_cast<const UINT8*>(&Env->SESGuid);
  const UINT8* b = reinterpret_cast<const UINT8*>(&gEfiShellEnvironment2SignatureGuid);
  for (UINTN i = 0; i < sizeof(EFI_GUID); ++i) {
    if (a[i] != b[i]) return false;
  }
  return Env->MajorVersion >= 1;
}

void PrintEnvironment(EFI_SHELL_ENVIRONMENT2* Env) {
  static constexpr EFI_GUID kUnknown = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  Print(IsVersion2(Env) ? u"env v2 filter " : u"env not-v2 filter ");
  UINT32 filter = Env->GetKeyFilter();
  PrintHex(filter);
  Env->DisablePageBreak();
  Env->SetKeyFilter(filter & ~EFI_OUTPUT_PAUSE);
  Print(u">");
  PrintHex(Env->GetKeyFilter());
  CHAR16* known = Env->GetProt(&gEfiShellInterfaceGuid, FALSE);
  CHAR16* unknown = Env->GetProt(&kUnknown, TRUE);
  Print(u" prot ");
  Print(known != nullptr ? known : u"null");
  Print(u"/");
  Print(unknown != nullptr ? unknown : u"null");
  Print(u"\r\n");
}

void PrintPath(EFI_SHELL_ENVIRONMENT2* Env, const CHAR16* Name) {
  Print(u"path ");
  Print(Name);
  Print(u" ");
  const EFI_DEVICE_PATH_PROTOCOL* node = Env->NameToPath(Name);
  if (node == nullptr) Print(u"null");
  while (node != nullptr && (node->Type & EFI_DP_TYPE_MASK) != END_DEVICE_PATH_TYPE) {
    if (node->Type == MEDIA_DEVICE_PATH && node->SubType == MEDIA_FILEPATH_DP) {
      Print(reinterpret_cast<const FILEPATH_DEVICE_PATH*>(node)->PathName);
    }
    UINTN length = node->Length[0] | (node->Length[1] << 8);
    node = reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(reinterpret_cast<const UINT8*>(node) + length);
  }
  Print(u"\r\n");
}

CHAR16* Copy(const CHAR16* Text) {
  UINTN length = 0;
  while (Text[length] != 0) ++length;
  VOID* block = nullptr;
  gSystem->BootServices->AllocatePool(EfiBootServicesData, (length + 1) * sizeof(CHAR16), &block);
  CHAR16* copy = static_cast<CHAR16*>(block);
  for (UINTN i = 0; i <= length; ++i) copy[i] = Text[i];
  return copy;
}

// Replaces the list the way an EFI 1.x application's library does: new pool
// copies in, the old strings and arrays freed.
void SwapArgs(EFI_SHELL_INTERFACE* Shell) {
  EFI_BOOT_SERVICES* bs = gSystem->BootServices;
  VOID* argv = nullptr;
  VOID* info = nullptr;
  bs->AllocatePool(EfiBootServicesData, Shell->Argc * sizeof(CHAR16*), &argv);
  bs->AllocatePool(EfiBootServicesData, Shell->Argc * sizeof(EFI_SHELL_ARG_INFO), &info);
  CHAR16** newArgv = static_cast<CHAR16**>(argv);
  EFI_SHELL_ARG_INFO* newInfo = static_cast<EFI_SHELL_ARG_INFO*>(info);
  for (UINTN i = 0; i < Shell->Argc; ++i) {
    newArgv[i] = Copy(Shell->Argv[i]);
    newInfo[i] = Shell->ArgInfo[i];
    bs->FreePool(Shell->Argv[i]);
  }
  bs->FreePool(Shell->ArgInfo);
  bs->FreePool(Shell->Argv);
  Shell->ArgInfo = newInfo;
  Shell->Argv = newArgv;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI ArgEchoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  gSystem = SystemTable;
  VOID* shell = nullptr;
  VOID* env = nullptr;
  EFI_BOOT_SERVICES* bs = SystemTable->BootServices;
  if (EFI_ERROR(bs->HandleProtocol(ImageHandle, &gEfiShellInterfaceGuid, &shell)) ||
      EFI_ERROR(bs->HandleProtocol(ImageHandle, &gEfiShellEnvironmentGuid, &env))) {
    Print(u"argecho: no shell interface\r\n");
    return EFI_UNSUPPORTED;
  }
  EFI_SHELL_INTERFACE* si = static_cast<EFI_SHELL_INTERFACE*>(shell);
  EFI_SHELL_ENVIRONMENT2* se = static_cast<EFI_SHELL_ENVIRONMENT2*>(env);
  PrintArgs(si);
  PrintEnvironment(se);
  EFI_STATUS result = EFI_SUCCESS;
  bool viaExit = false;
  for (UINTN i = 1; i < si->Argc; ++i) {
    const CHAR16* word = si->Argv[i];
    if (StartsWith(word, u"path:")) PrintPath(se, word + 5);
    if (StartsWith(word, u"ret:")) result = ParseHex(word + 4);
    if (StartsWith(word, u"exit:")) {
      result = ParseHex(word + 5);
      viaExit = true;
    }
  }
  for (UINTN i = 1; i < si->Argc; ++i) {
    if (si->Argv[i][0] == u's' && StartsWith(si->Argv[i], u"swap")) {
      SwapArgs(si);
      break;
    }
  }
  if (viaExit) bs->Exit(ImageHandle, result, 0, nullptr);
  return result;
}
