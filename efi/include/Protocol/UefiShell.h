// Shell protocol of a UEFI 2.x shell (the shell that current firmware ships).
//
// The shell installs one instance for the whole system. Only the members that
// start-up under such a shell and the shell bridge call carry a prototype; the
// other slots stay opaque so that the offsets of the called ones, and of the
// version fields, hold.
#ifndef QORVEX_EFI_PROTOCOL_UEFI_SHELL_H
#define QORVEX_EFI_PROTOCOL_UEFI_SHELL_H

#include "DevicePath.h"

inline constexpr EFI_GUID gEfiShellProtocolGuid = {
    0x6302D008, 0x7F9B, 0x4F30, {0x87, 0xAC, 0x60, 0xC9, 0xFE, 0xF5, 0xDA, 0x4E}};

// Sets (or, with an empty Value, deletes) a shell variable.
typedef EFI_STATUS(EFIAPI* EFI_SHELL_SET_ENV)(const CHAR16* Name, const CHAR16* Value, BOOLEAN Volatile);
// Turns a shell file name (relative to the current directory, or starting
// with a mapping such as fs0:) into a new pool device path, or null.
typedef EFI_DEVICE_PATH_PROTOCOL*(EFIAPI* EFI_SHELL_GET_DEVICE_PATH_FROM_FILE_PATH)(const CHAR16* Path);

struct EFI_SHELL_PROTOCOL {
  VOID* Execute;
  VOID* GetEnv;
  EFI_SHELL_SET_ENV SetEnv;
  VOID* GetAlias;
  VOID* SetAlias;
  VOID* GetHelpText;
  VOID* GetDevicePathFromMap;
  VOID* GetMapFromDevicePath;
  EFI_SHELL_GET_DEVICE_PATH_FROM_FILE_PATH GetDevicePathFromFilePath;
  // File-path text, mappings, current directory, file lists, batch and page
  // break state, device names and the file operations: not used here.
  VOID* Reserved[30];
  EFI_EVENT ExecutionBreak;
  UINT32 MajorVersion;
  UINT32 MinorVersion;
};
static_assert(offsetof(EFI_SHELL_PROTOCOL, SetEnv) == 0x10, "Shell->SetEnv");
static_assert(offsetof(EFI_SHELL_PROTOCOL, GetDevicePathFromFilePath) == 0x40, "Shell->GetDevicePathFromFilePath");
static_assert(offsetof(EFI_SHELL_PROTOCOL, ExecutionBreak) == 0x138, "Shell->ExecutionBreak");
static_assert(offsetof(EFI_SHELL_PROTOCOL, MajorVersion) == 0x140, "Shell->MajorVersion");
static_assert(offsetof(EFI_SHELL_PROTOCOL, MinorVersion) == 0x144, "Shell->MinorVersion");

#endif  // QORVEX_EFI_PROTOCOL_UEFI_SHELL_H
