// A small image that links the whole shell support library, so that the UEFI
// build proves every library routine resolves inside an image. Started on a
// firmware it also exercises start-up and the pool, string and handle
// routines against the real services, prints one line per check and returns
// EFI_SUCCESS when all held (EFI_ABORTED otherwise). Last it calls
// InitShellApp, which ends the image through Exit when no shell started it.
#include "ShellLib.h"

namespace {

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out = nullptr;

VOID Print(const CHAR16* Text) { Out->OutputString(Out, Text); }

VOID PrintHex(UINT64 Value) {
  CHAR16 digits[17];
  UINTN i = 16;
  digits[i] = 0;
  do {
    digits[--i] = u"0123456789ABCDEF"[Value & 0xF];
    Value = ShiftRight64(Value, 4);
  } while (Value != 0);
  Print(digits + i);
}

bool Check(bool Holds, const CHAR16* What) {
  Print(Holds ? u"probe ok   " : u"probe FAIL ");
  Print(What);
  Print(u"\r\n");
  return Holds;
}

VOID PrintPlatformLanguage() {
  UINTN size = 0;
  auto* value = static_cast<CHAR8*>(LibReadVariable(u"PlatformLang", &gEfiGlobalVariableGuid, &size));
  Print(u"probe PlatformLang: ");
  for (UINTN i = 0; value != nullptr && i < size && value[i] != 0; ++i) {
    CHAR16 unit[2] = {CHAR16(UINT8(value[i])), 0};
    Print(unit);
  }
  Print(u"\r\n");
  if (value != nullptr) ReleasePool(value);
}

bool CheckPool() {
  auto* block = static_cast<UINT8*>(AllocateZeroedPool(64));
  if (block == nullptr) return false;
  for (UINTN i = 0; i < 64; ++i) block[i] = UINT8(i);
  block = static_cast<UINT8*>(ResizePool(block, 64, 16));
  bool kept = block != nullptr && block[15] == 15;
  return kept && ReleasePool(block) == EFI_SUCCESS;
}

bool CheckHandles() {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_STATUS status = LibFindHandles(ByProtocol, &gEfiSimpleTextOutProtocolGuid, nullptr, &count, &handles);
  if (EFI_ERROR(status)) return false;
  Print(u"probe text output handles: ");
  PrintHex(count);
  Print(u"\r\n");
  ReleasePool(handles);
  VOID* interface = nullptr;
  return count > 0 && !EFI_ERROR(LibLocateProtocol(&gEfiSimpleTextOutProtocolGuid, &interface)) && interface != nullptr;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI ProbeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  Out = SystemTable->ConOut;
  LibStartUp(ImageHandle, SystemTable);
  bool ok = Check(LibBootServices == SystemTable->BootServices, u"boot services saved");
  ok &= Check(LibPoolType == EfiLoaderData, u"pool type taken from the loaded image");
  ok &= Check(LibCollation != &FallbackCollation, u"firmware collation selected");
  ok &= Check(Str16CompareNoCase(u"Hello", u"hELLO") == 0, u"case-insensitive comparison");
  ok &= Check(MatchPattern(u"FILE.TXT", u"*.t?t") == TRUE, u"pattern match");
  ok &= Check(CheckPool(), u"pool allocate, resize, release");
  ok &= Check(CheckHandles(), u"handle search and protocol lookup");
  PrintPlatformLanguage();
  Print(ok ? u"probe checks passed\r\n" : u"probe checks FAILED\r\n");
  if (!ok) return EFI_ABORTED;
  Print(u"probe InitShellApp\r\n");
  EFI_STATUS status = InitShellApp(ImageHandle, SystemTable);
  Print(u"probe InitShellApp returned ");
  PrintHex(status);
  Print(u"\r\n");
  return status;
}
