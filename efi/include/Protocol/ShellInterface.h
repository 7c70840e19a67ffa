// Shell interface protocol of the EFI shell: the per-image argument list.
//
// The shell installs one instance on the image handle of every application it
// starts. qorvex reads Argv, Argc and ArgInfo from it and may replace them
// with its own pool copies.
#ifndef QORVEX_EFI_PROTOCOL_SHELL_INTERFACE_H
#define QORVEX_EFI_PROTOCOL_SHELL_INTERFACE_H

#include "LoadedImage.h"
#include "SimpleFileSystem.h"

// How the shell saw each argument typed (one word per argument).
constexpr UINT32 ARG_IS_QUOTED = 0x1;
constexpr UINT32 ARG_PARTIALLY_QUOTED = 0x2;
constexpr UINT32 ARG_FIRST_HALF_QUOTED = 0x4;
constexpr UINT32 ARG_FIRST_CHAR_IS_ESC = 0x8;

struct EFI_SHELL_ARG_INFO {
  UINT32 Attributes;
};
static_assert(sizeof(EFI_SHELL_ARG_INFO) == 4, "one 32-bit word per argument");

struct EFI_SHELL_INTERFACE {
  EFI_HANDLE ImageHandle;
  EFI_LOADED_IMAGE_PROTOCOL* Info;
  CHAR16** Argv;
  UINTN Argc;
  CHAR16** RedirArgv;
  UINTN RedirArgc;
  EFI_FILE_PROTOCOL* StdIn;
  EFI_FILE_PROTOCOL* StdOut;
  EFI_FILE_PROTOCOL* StdErr;
  EFI_SHELL_ARG_INFO* ArgInfo;
  BOOLEAN EchoOn;
};
static_assert(offsetof(EFI_SHELL_INTERFACE, Argv) == 0x10, "ShellInterface->Argv");
static_assert(offsetof(EFI_SHELL_INTERFACE, Argc) == 0x18, "ShellInterface->Argc");
static_assert(offsetof(EFI_SHELL_INTERFACE, ArgInfo) == 0x48, "ShellInterface->ArgInfo");
static_assert(offsetof(EFI_SHELL_INTERFACE, EchoOn) == 0x50, "ShellInterface->EchoOn");

#endif  // QORVEX_EFI_PROTOCOL_SHELL_INTERFACE_H
