// Binding of an EFI 1.x shell application to a UEFI 2.x shell.
//
// A UEFI 2.x shell (what current firmware ships) puts on the image handle of
// a program it starts only its shell parameters: the arguments as it split
// them, without how each was quoted, and the standard streams. It installs
// no EFI 1.x shell interface and no shell environment. The binding makes
// both from what the UEFI 2.x shell offers:
//   - the argument list from the image's command line (LoadOptions, the line
//     as typed without its redirections), split the EFI 1.x way with each
//     argument's information word (see CommandLine.h), Argv[0] being the
//     program's name as typed;
//   - the standard streams from the shell parameters;
//   - a version-2 environment whose name mapping the shell answers (see
//     UefiShellEnvironment.h).
//
// Everything is allocated through the boot services given in the binding,
// so that shellbridge.efi, which is no library application, binds the same
// way.
#ifndef QORVEX_SHELL_LIBRARY_UEFI_SHELL_H
#define QORVEX_SHELL_LIBRARY_UEFI_SHELL_H

#include "Efi.h"
#include "Protocol/UefiShell.h"

struct UefiShellBinding {
  EFI_BOOT_SERVICES* BootServices;  // set by the caller
  EFI_MEMORY_TYPE PoolType;         // set by the caller: type of every allocation
  EFI_SHELL_PROTOCOL* Shell;
  EFI_SHELL_INTERFACE Interface;
  EFI_SHELL_ENVIRONMENT2 Environment;
};

// Binds ImageHandle. Fails with the lookup's status when ImageHandle carries
// no shell parameters or no UEFI 2.x shell is installed (no such shell
// started the image), and with EFI_OUT_OF_RESOURCES, having freed what it
// had built, when the argument list cannot be allocated.
EFI_STATUS UefiShellBind(UefiShellBinding* Binding, EFI_HANDLE ImageHandle);

// Frees the argument list the interface holds now (the application may have
// replaced the binding's with pool copies of its own) and every device path
// the environment handed out. Call it once the application has ended.
VOID UefiShellRelease(UefiShellBinding* Binding);

// Stores Status as text (0x0, 0x8000000000000002) in the volatile shell
// variable Name, since %lasterror% drops the error bit. Returns SetEnv's status.
EFI_STATUS UefiShellKeepStatus(EFI_SHELL_PROTOCOL* Shell, const CHAR16* Name, EFI_STATUS Status);

#endif  // QORVEX_SHELL_LIBRARY_UEFI_SHELL_H
