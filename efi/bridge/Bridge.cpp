// shellbridge.efi: runs an EFI 1.x shell application under a UEFI 2.x shell.
//
//   shellbridge.efi APP.efi [arguments...]
//
// Current firmware ships a UEFI 2.x shell, which gives an application neither
// the shell interface (the argument list, with how each argument was quoted)
// nor a shell environment. The bridge splits its own command line the EFI 1.x
// way, loads APP.efi, installs both interfaces on the child's image handle,
// starts it and returns the child's status as its own. Because the UEFI
// shell's %lasterror% drops the error bit of a status, the bridge also stores
// the child's full status in the shell variable "bridgestatus" ("0x0",
// "0x8000000000000002", ...), on every path that has a UEFI shell.
#include "BridgeEnvironment.h"
#include "CommandLine.h"
#include "StatusText.h"

#include "Guids.h"
#include "Protocol/LoadedImage.h"
#include "Protocol/ShellInterface.h"
#include "Protocol/SimpleTextOut.h"
#include "Protocol/UefiShellParameters.h"

namespace {

constexpr CHAR16 kUsage[] = u"Usage: shellbridge.efi APP.efi [arguments...]\r\n";
constexpr CHAR16 kStatusVariable[] = u"bridgestatus";

struct Bridge {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE* SystemTable;
  EFI_BOOT_SERVICES* BootServices;
  EFI_LOADED_IMAGE_PROTOCOL* Image;
  EFI_SHELL_PROTOCOL* Shell;
  EFI_SHELL_PARAMETERS_PROTOCOL* Parameters;
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

// A UEFI 2.x shell started us when it installed its parameters on our handle.
EFI_STATUS FindShell(Bridge* B) {
  VOID* image = nullptr;
  EFI_STATUS status = B->BootServices->HandleProtocol(B->ImageHandle, &gEfiLoadedImageProtocolGuid, &image);
  if (EFI_ERROR(status)) return status;
  VOID* shell = nullptr;
  status = B->BootServices->LocateProtocol(&gEfiShellProtocolGuid, nullptr, &shell);
  if (EFI_ERROR(status)) return status;
  VOID* parameters = nullptr;
  status = B->BootServices->HandleProtocol(B->ImageHandle, &gEfiShellParametersProtocolGuid, &parameters);
  if (EFI_ERROR(status)) return status;
  B->Image = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(image);
  B->Shell = static_cast<EFI_SHELL_PROTOCOL*>(shell);
  B->Parameters = static_cast<EFI_SHELL_PARAMETERS_PROTOCOL*>(parameters);
  return EFI_SUCCESS;
}

// Frees the argument list that the shell interface holds now: the child may
// have replaced ours with pool copies of its own, which are then freed here.
void FreeArgs(const Bridge* B, EFI_SHELL_INTERFACE* Interface) {
  if (Interface->Argv != nullptr) {
    for (UINTN i = 0; i < Interface->Argc; ++i) B->BootServices->FreePool(Interface->Argv[i]);
    B->BootServices->FreePool(Interface->Argv);
  }
  if (Interface->ArgInfo != nullptr) B->BootServices->FreePool(Interface->ArgInfo);
  Interface->Argv = nullptr;
  Interface->ArgInfo = nullptr;
  Interface->Argc = 0;
}

// Stores the next argument of Cursor as a new pool string.
CHAR16* TakeArg(const Bridge* B, CommandLineCursor* Cursor, UINT32* Info) {
  CommandLineCursor probe = *Cursor;
  CommandLineArg arg;
  if (!CommandLineNext(&probe, nullptr, &arg)) return nullptr;
  CHAR16* text = static_cast<CHAR16*>(Allocate(B, (arg.Length + 1) * sizeof(CHAR16)));
  if (text == nullptr) return nullptr;
  CommandLineNext(Cursor, text, &arg);
  *Info = arg.Info;
  return text;
}

// Splits our command line into the child's argument list, dropping our own
// name. The UEFI shell hands the line as typed, with redirections removed.
// EFI_INVALID_PARAMETER when no application is named.
EFI_STATUS BuildArgs(const Bridge* B, EFI_SHELL_INTERFACE* Interface) {
  const CHAR16* line = static_cast<const CHAR16*>(B->Image->LoadOptions);
  CommandLineCursor cursor = CommandLineStart(line, line != nullptr ? B->Image->LoadOptionsSize / sizeof(CHAR16) : 0);
  CommandLineArg own;
  if (!CommandLineNext(&cursor, nullptr, &own)) return EFI_INVALID_PARAMETER;
  UINTN count = CommandLineCount(cursor);
  if (count == 0) return EFI_INVALID_PARAMETER;

  Interface->Argv = static_cast<CHAR16**>(Allocate(B, (count + 1) * sizeof(CHAR16*)));
  Interface->ArgInfo = static_cast<EFI_SHELL_ARG_INFO*>(Allocate(B, count * sizeof(EFI_SHELL_ARG_INFO)));
  if (Interface->Argv == nullptr || Interface->ArgInfo == nullptr) return EFI_OUT_OF_RESOURCES;
  while (Interface->Argc < count) {
    UINT32 info = 0;
    CHAR16* text = TakeArg(B, &cursor, &info);
    if (text == nullptr) return EFI_OUT_OF_RESOURCES;
    Interface->Argv[Interface->Argc] = text;
    Interface->ArgInfo[Interface->Argc].Attributes = info;
    ++Interface->Argc;
  }
  return EFI_SUCCESS;
}

EFI_STATUS LoadNamed(const Bridge* B, const CHAR16* Name, EFI_HANDLE* Child) {
  EFI_DEVICE_PATH_PROTOCOL* path = B->Shell->GetDevicePathFromFilePath(Name);
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
  EFI_STATUS status = B->BootServices->InstallProtocolInterface(&Child, &gEfiShellInterfaceGuid,
                                                                EFI_NATIVE_INTERFACE, Interface);
  if (EFI_ERROR(status)) return status;
  status = B->BootServices->InstallProtocolInterface(&Child, &gEfiShellEnvironmentGuid, EFI_NATIVE_INTERFACE,
                                                     Environment);
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

// Gives the loaded child its interfaces and runs it; returns its status.
EFI_STATUS StartChild(const Bridge* B, EFI_HANDLE Child, EFI_SHELL_INTERFACE* Interface) {
  VOID* info = nullptr;
  B->BootServices->HandleProtocol(Child, &gEfiLoadedImageProtocolGuid, &info);
  Interface->ImageHandle = Child;
  Interface->Info = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(info);
  Interface->StdIn = static_cast<EFI_FILE_PROTOCOL*>(B->Parameters->StdIn);
  Interface->StdOut = static_cast<EFI_FILE_PROTOCOL*>(B->Parameters->StdOut);
  Interface->StdErr = static_cast<EFI_FILE_PROTOCOL*>(B->Parameters->StdErr);

  EFI_SHELL_ENVIRONMENT2 environment;
  BridgeEnvironmentInit(&environment, B->Shell, B->BootServices);
  EFI_STATUS status = InstallInterfaces(B, Child, Interface, &environment);
  if (EFI_ERROR(status)) {
    PrintFailure(B, u"cannot start", Interface->Argv[0], status);
    B->BootServices->UnloadImage(Child);
    return status;
  }
  UINTN exitDataSize = 0;
  CHAR16* exitData = nullptr;
  status = B->BootServices->StartImage(Child, &exitDataSize, &exitData);
  if (exitData != nullptr) B->BootServices->FreePool(exitData);
  UninstallInterfaces(B, Child, Interface, &environment);
  BridgeEnvironmentRelease();
  return status;
}

EFI_STATUS RunBridge(const Bridge* B) {
  EFI_SHELL_INTERFACE shellInterface = {};
  EFI_STATUS status = BuildArgs(B, &shellInterface);
  if (status == EFI_INVALID_PARAMETER) Print(B, kUsage);
  if (status == EFI_OUT_OF_RESOURCES) Print(B, u"shellbridge: out of resources\r\n");
  if (EFI_ERROR(status)) {
    FreeArgs(B, &shellInterface);
    return status;
  }
  EFI_HANDLE child = nullptr;
  status = LoadChild(B, shellInterface.Argv[0], &child);
  if (EFI_ERROR(status)) {
    PrintFailure(B, u"cannot load", shellInterface.Argv[0], status);
  } else {
    status = StartChild(B, child, &shellInterface);
  }
  FreeArgs(B, &shellInterface);
  return status;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI ShellBridgeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  Bridge bridge = {};
  bridge.ImageHandle = ImageHandle;
  bridge.SystemTable = SystemTable;
  bridge.BootServices = SystemTable->BootServices;
  if (EFI_ERROR(FindShell(&bridge))) {
    Print(&bridge, kUsage);
    return EFI_INVALID_PARAMETER;
  }
  EFI_STATUS status = RunBridge(&bridge);
  CHAR16 text[kStatusTextSize];
  StatusToText(status, text);
  bridge.Shell->SetEnv(kStatusVariable, text, TRUE);
  return status;
}
