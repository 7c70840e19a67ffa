#include "UefiShell.h"

#include "CommandLine.h"
#include "StatusText.h"
#include "UefiShellEnvironment.h"

#include "Protocol/UefiShellParameters.h"

namespace {

VOID* Allocate(const UefiShellBinding* B, UINTN Size) {
  VOID* block = nullptr;
  if (EFI_ERROR(B->BootServices->AllocatePool(B->PoolType, Size, &block))) return nullptr;
  B->BootServices->SetMem(block, Size, 0);
  return block;
}

// Frees the argument list that Interface holds and leaves it empty.
VOID FreeArgs(const UefiShellBinding* B, EFI_SHELL_INTERFACE* Interface) {
  if (Interface->Argv != nullptr) {
    for (UINTN i = 0; i < Interface->Argc; ++i) B->BootServices->FreePool(Interface->Argv[i]);
    B->BootServices->FreePool(Interface->Argv);
  }
  if (Interface->ArgInfo != nullptr) B->BootServices->FreePool(Interface->ArgInfo);
  Interface->Argv = nullptr;
  Interface->ArgInfo = nullptr;
  Interface->Argc = 0;
}

// The next argument of Cursor as a new pool string, with its information word.
CHAR16* TakeArg(const UefiShellBinding* B, CommandLineCursor* Cursor, UINT32* Info) {
  CommandLineCursor probe = *Cursor;
  CommandLineArg arg;
  if (!CommandLineNext(&probe, nullptr, &arg)) return nullptr;
  CHAR16* text = static_cast<CHAR16*>(Allocate(B, (arg.Length + 1) * sizeof(CHAR16)));
  if (text == nullptr) return nullptr;
  CommandLineNext(Cursor, text, &arg);
  *Info = arg.Info;
  return text;
}

// Splits the Length characters of Line into the interface's argument list;
// Argv ends with a null pointer, as a shell hands it over.
EFI_STATUS SplitIntoArgs(UefiShellBinding* B, const CHAR16* Line, UINTN Length) {
  EFI_SHELL_INTERFACE* interface = &B->Interface;
  CommandLineCursor cursor = CommandLineStart(Line, Length);
  const UINTN count = CommandLineCount(cursor);
  interface->Argv = static_cast<CHAR16**>(Allocate(B, (count + 1) * sizeof(CHAR16*)));
  interface->ArgInfo = static_cast<EFI_SHELL_ARG_INFO*>(Allocate(B, (count + 1) * sizeof(EFI_SHELL_ARG_INFO)));
  if (interface->Argv == nullptr || interface->ArgInfo == nullptr) return EFI_OUT_OF_RESOURCES;
  while (interface->Argc < count) {
    UINT32 info = 0;
    CHAR16* text = TakeArg(B, &cursor, &info);
    if (text == nullptr) return EFI_OUT_OF_RESOURCES;
    interface->Argv[interface->Argc] = text;
    interface->ArgInfo[interface->Argc].Attributes = info;
    ++interface->Argc;
  }
  return EFI_SUCCESS;
}

// The three protocols a UEFI 2.x shell gives a program it starts.
struct ShellOffer {
  EFI_SHELL_PARAMETERS_PROTOCOL* Parameters;
  EFI_SHELL_PROTOCOL* Shell;
  EFI_LOADED_IMAGE_PROTOCOL* Image;
};

EFI_STATUS FindShellOffer(const UefiShellBinding* B, EFI_HANDLE ImageHandle, ShellOffer* Offer) {
  VOID* parameters = nullptr;
  EFI_STATUS status = B->BootServices->HandleProtocol(ImageHandle, &gEfiShellParametersProtocolGuid, &parameters);
  if (EFI_ERROR(status)) return status;
  VOID* shell = nullptr;
  status = B->BootServices->LocateProtocol(&gEfiShellProtocolGuid, nullptr, &shell);
  if (EFI_ERROR(status)) return status;
  VOID* image = nullptr;
  status = B->BootServices->HandleProtocol(ImageHandle, &gEfiLoadedImageProtocolGuid, &image);
  if (EFI_ERROR(status)) return status;
  if (parameters == nullptr || shell == nullptr || image == nullptr) return EFI_NOT_FOUND;
  Offer->Parameters = static_cast<EFI_SHELL_PARAMETERS_PROTOCOL*>(parameters);
  Offer->Shell = static_cast<EFI_SHELL_PROTOCOL*>(shell);
  Offer->Image = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(image);
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS UefiShellBind(UefiShellBinding* B, EFI_HANDLE ImageHandle) {
  ShellOffer offer = {};
  EFI_STATUS status = FindShellOffer(B, ImageHandle, &offer);
  if (EFI_ERROR(status)) return status;
  B->BootServices->SetMem(&B->Interface, sizeof(B->Interface), 0);
  const CHAR16* line = static_cast<const CHAR16*>(offer.Image->LoadOptions);
  status = SplitIntoArgs(B, line, line != nullptr ? offer.Image->LoadOptionsSize / sizeof(CHAR16) : 0);
  if (EFI_ERROR(status)) {
    FreeArgs(B, &B->Interface);
    return status;
  }
  B->Shell = offer.Shell;
  B->Interface.ImageHandle = ImageHandle;
  B->Interface.Info = offer.Image;
  B->Interface.StdIn = static_cast<EFI_FILE_PROTOCOL*>(offer.Parameters->StdIn);
  B->Interface.StdOut = static_cast<EFI_FILE_PROTOCOL*>(offer.Parameters->StdOut);
  B->Interface.StdErr = static_cast<EFI_FILE_PROTOCOL*>(offer.Parameters->StdErr);
  UefiShellEnvironmentInit(&B->Environment, offer.Shell, B->BootServices);
  return EFI_SUCCESS;
}

VOID UefiShellRelease(UefiShellBinding* B) {
  FreeArgs(B, &B->Interface);
  UefiShellEnvironmentRelease();
}

EFI_STATUS UefiShellKeepStatus(EFI_SHELL_PROTOCOL* Shell, const CHAR16* Name, EFI_STATUS Status) {
  CHAR16 text[kStatusTextSize];
  StatusToText(Status, text);
  return Shell->SetEnv(Name, text, TRUE);
}
