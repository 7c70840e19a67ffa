// shellbridge.efi: a test tool that runs an EFI 1.x shell application under
// a UEFI 2.x shell the way an EFI 1.x shell would, with both EFI 1.x
// interfaces on the application's image handle.
//
//   shellbridge.efi [-bare] APP.efi [arguments...]
//
// qorvex.efi binds itself to a UEFI 2.x shell when it finds no EFI 1.x shell
// interface; started through the bridge it takes its EFI 1.x path, which the
// firmware tests thus run on OVMF as well. The bridge binds itself to the
// UEFI 2.x shell as the library does (UefiShell.h), hands the argument list
// after its own name and the environment to APP.efi, installs both on the
// child's image handle, starts it and returns the child's status as its own.
// With -bare it installs nothing: the child then runs as if no shell had
// started it (not even the UEFI shell, whose parameters are not on its
// handle). Because the UEFI shell's %lasterror% drops the error bit of a
// status, the bridge also stores the child's full status in the shell
// variable "bridgestatus" ("0x0", "0x8000000000000002", ...), on every path
// that has a UEFI shell.
#include "StatusText.h"
#include "UefiShell.h"

#include "Guids.h"
#include "Protocol/LoadedImage.h"
#include "Protocol/ShellInterface.h"
#include "Protocol/SimpleTextOut.h"

namespace {

constexpr CHAR16 kUsage[] = u"Usage: shellbridge.efi [-bare] APP.efi [arguments...]\r\n";
constexpr CHAR16 kStatusVariable[] = u"bridgestatus";

struct Bridge {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE* SystemTable;
  EFI_BOOT_SERVICES* BootServices;
  UefiShellBinding Binding;  // our own arguments, then the child's
};

// The bridge's own messages go to standard error, so that they stay out of
// the child's output when only that is redirected.
void Print(const Bridge* B, const CHAR16* Text) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = B->SystemTable->StdErr;
  if (out == nullptr) out = B->SystemTable->ConOut;
  if (out != nullptr) out->OutputString(out, Text);
}

// "shellbridge: cannot load 'NAME': 0x800000000000000E"
void PrintFailure(const Bridge* B, const CHAR16* What, const CHAR16* Name, EFI_STATUS Status) {
  CHAR16 text[kStatusTextSize];
  StatusToText(Status, text);
  Print(B, u"shellbridge: ");
  Print(B, What);
  Print(B, u" '");
  Print(B, Name);
  Print(B, u"': ");
  Print(B, text);
  Print(B, u"\r\n");
}

VOID* Allocate(const Bridge* B, UINTN Size) {
  VOID* block = nullptr;
  if (EFI_ERROR(B->BootServices->AllocatePool(EfiBootServicesData, Size, &block))) return nullptr;
  B->BootServices->SetMem(block, Size, 0);
  return block;
}

// Drops the first argument (our own name, then -bare), so that the list
// starts with the application's. EFI_INVALID_PARAMETER when no application
// is named.
EFI_STATUS DropFirstArg(const Bridge* B, EFI_SHELL_INTERFACE* Interface) {
  if (Interface->Argc < 2) return EFI_INVALID_PARAMETER;
  B->BootServices->FreePool(Interface->Argv[0]);
  for (UINTN i = 1; i <= Interface->Argc; ++i) {
    Interface->Argv[i - 1] = Interface->Argv[i];
    Interface->ArgInfo[i - 1] = Interface->ArgInfo[i];
  }
  --Interface->Argc;
  return EFI_SUCCESS;
}

EFI_STATUS LoadNamed(const Bridge* B, const CHAR16* Name, EFI_HANDLE* Child) {
  EFI_DEVICE_PATH_PROTOCOL* path = B->Binding.Shell->GetDevicePathFromFilePath(Name);
  if (path == nullptr) return EFI_NOT_FOUND;
  EFI_STATUS status = B->BootServices->LoadImage(FALSE, B->ImageHandle, path, nullptr, 0, Child);
  B->BootServices->FreePool(path);
  return status;
}

// True when the last part of Name has no '.', as in "qorvex" or "fs0:\qorvex".
bool LacksExtension(const CHAR16* Name) {
  bool dot = false;
  for (; *Name != 0; ++Name) {
    if (*Name == u'.') dot = true;
    if (*Name == u'\\' || *Name == u':') dot = false;
  }
  return !dot;
}

// A new pool copy of Name with ".efi" appended, or null.
CHAR16* WithEfiExtension(const Bridge* B, const CHAR16* Name) {
  static constexpr CHAR16 kExtension[] = u".efi";
  constexpr UINTN kExtensionSize = sizeof(kExtension) / sizeof(CHAR16);  // with its NUL
  UINTN length = 0;
  while (Name[length] != 0) ++length;
  CHAR16* named = static_cast<CHAR16*>(Allocate(B, (length + kExtensionSize) * sizeof(CHAR16)));
  if (named == nullptr) return nullptr;
  for (UINTN i = 0; i < length; ++i) named[i] = Name[i];
  for (UINTN i = 0; i < kExtensionSize; ++i) named[length + i] = kExtension[i];
  return named;
}

// Loads the application through the UEFI shell's name mapping, so that the
// current directory and fsN: names work as they do at the shell prompt. Like
// the shell, it also finds "qorvex" as "qorvex.efi".
EFI_STATUS LoadChild(const Bridge* B, const CHAR16* Name, EFI_HANDLE* Child) {
  EFI_STATUS status = LoadNamed(B, Name, Child);
  if (status != EFI_NOT_FOUND || !LacksExtension(Name)) return status;
  CHAR16* named = WithEfiExtension(B, Name);
  if (named == nullptr) return status;
  status = LoadNamed(B, named, Child);
  B->BootServices->FreePool(named);
  return status;
}

EFI_STATUS InstallInterfaces(const Bridge* B, EFI_HANDLE Child, EFI_SHELL_INTERFACE* Interface,
                             EFI_SHELL_ENVIRONMENT2* Environment) {
  EFI_STATUS status =
      B->BootServices->InstallProtocolInterface(&Child, &gEfiShellInterfaceGuid, EFI_NATIVE_INTERFACE, Interface);
  if (EFI_ERROR(status)) return status;
  status =
      B->BootServices->InstallProtocolInterface(&Child, &gEfiShellEnvironmentGuid, EFI_NATIVE_INTERFACE, Environment);
  if (EFI_ERROR(status)) B->BootServices->UninstallProtocolInterface(Child, &gEfiShellInterfaceGuid, Interface);
  return status;
}

// The firmware unloads an application when it ends, but leaves its handle
// while our two interfaces are on it, so they are removed here.
void UninstallInterfaces(const Bridge* B, EFI_HANDLE Child, EFI_SHELL_INTERFACE* Interface,
                         EFI_SHELL_ENVIRONMENT2* Environment) {
  B->BootServices->UninstallProtocolInterface(Child, &gEfiShellEnvironmentGuid, Environment);
  B->BootServices->UninstallProtocolInterface(Child, &gEfiShellInterfaceGuid, Interface);
}

bool IsBareOption(const CHAR16* Arg) {
  static constexpr CHAR16 kBare[] = u"-bare";
  UINTN i = 0;
  while (kBare[i] != 0 && Arg[i] == kBare[i]) ++i;
  return kBare[i] == 0 && Arg[i] == 0;
}

// Runs the loaded child without any shell interface; returns its status.
EFI_STATUS StartBare(const Bridge* B, EFI_HANDLE Child) {
  UINTN exitDataSize = 0;
  CHAR16* exitData = nullptr;
  EFI_STATUS status = B->BootServices->StartImage(Child, &exitDataSize, &exitData);
  if (exitData != nullptr) B->BootServices->FreePool(exitData);
  return status;
}

// Gives the loaded child its interfaces and runs it; returns its status.
EFI_STATUS StartChild(Bridge* B, EFI_HANDLE Child) {
  EFI_SHELL_INTERFACE* interface = &B->Binding.Interface;
  VOID* info = nullptr;
  B->BootServices->HandleProtocol(Child, &gEfiLoadedImageProtocolGuid, &info);
  interface->ImageHandle = Child;
  interface->Info = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(info);
  EFI_STATUS status = InstallInterfaces(B, Child, interface, &B->Binding.Environment);
  if (EFI_ERROR(status)) {
    PrintFailure(B, u"cannot start", interface->Argv[0], status);
    B->BootServices->UnloadImage(Child);
    return status;
  }
  status = StartBare(B, Child);
  UninstallInterfaces(B, Child, interface, &B->Binding.Environment);
  return status;
}

EFI_STATUS RunBridge(Bridge* B) {
  EFI_SHELL_INTERFACE* interface = &B->Binding.Interface;
  EFI_STATUS status = DropFirstArg(B, interface);
  const bool bare = !EFI_ERROR(status) && IsBareOption(interface->Argv[0]);
  if (bare) status = DropFirstArg(B, interface);
  if (EFI_ERROR(status)) {
    Print(B, kUsage);
    return status;
  }
  EFI_HANDLE child = nullptr;
  status = LoadChild(B, B->Binding.Interface.Argv[0], &child);
  if (EFI_ERROR(status)) {
    PrintFailure(B, u"cannot load", B->Binding.Interface.Argv[0], status);
    return status;
  }
  return bare ? StartBare(B, child) : StartChild(B, child);
}

}  // namespace

extern "C" EFI_STATUS EFIAPI ShellBridgeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  Bridge bridge = {};
  bridge.ImageHandle = ImageHandle;
  bridge.SystemTable = SystemTable;
  bridge.BootServices = SystemTable->BootServices;
  bridge.Binding.BootServices = SystemTable->BootServices;
  bridge.Binding.PoolType = EfiBootServicesData;
  EFI_STATUS status = UefiShellBind(&bridge.Binding, ImageHandle);
  if (status == EFI_OUT_OF_RESOURCES) {
    Print(&bridge, u"shellbridge: out of resources\r\n");
    return status;
  }
  if (EFI_ERROR(status)) {
    Print(&bridge, kUsage);
    return EFI_INVALID_PARAMETER;
  }
  status = RunBridge(&bridge);
  UefiShellRelease(&bridge.Binding);
  UefiShellKeepStatus(bridge.Binding.Shell, kStatusVariable, status);
  return status;
}
