// Shell parameters protocol of a UEFI 2.x shell.
//
// The shell installs one instance on the image handle of every application it
// starts: the arguments as the shell split them and the standard streams,
// which the shell may have redirected to files.
#ifndef QORVEX_EFI_PROTOCOL_UEFI_SHELL_PARAMETERS_H
#define QORVEX_EFI_PROTOCOL_UEFI_SHELL_PARAMETERS_H

#include "../EfiTypes.h"

inline constexpr EFI_GUID gEfiShellParametersProtocolGuid = {
    0x752F3136, 0x4E16, 0x4FDC, {0xA2, 0x2A, 0xE5, 0xF4, 0x68, 0x12, 0xF4, 0xCA}};

// A shell file handle. EDK II derived shells implement the three standard
// streams as EFI_FILE_PROTOCOL instances; the UEFI shell leaves it opaque.
typedef VOID* SHELL_FILE_HANDLE;

struct EFI_SHELL_PARAMETERS_PROTOCOL {
  CHAR16** Argv;
  UINTN Argc;
  SHELL_FILE_HANDLE StdIn;
  SHELL_FILE_HANDLE StdOut;
  SHELL_FILE_HANDLE StdErr;
};
static_assert(offsetof(EFI_SHELL_PARAMETERS_PROTOCOL, Argc) == 0x08, "ShellParameters->Argc");
static_assert(offsetof(EFI_SHELL_PARAMETERS_PROTOCOL, StdIn) == 0x10, "ShellParameters->StdIn");
static_assert(offsetof(EFI_SHELL_PARAMETERS_PROTOCOL, StdErr) == 0x20, "ShellParameters->StdErr");
static_assert(sizeof(EFI_SHELL_PARAMETERS_PROTOCOL) == 0x28, "EFI_SHELL_PARAMETERS_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_UEFI_SHELL_PARAMETERS_H
