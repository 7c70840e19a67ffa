// Shell environment protocol of the EFI shell, in its version-2 form.
//
// Version 2 appends a signature GUID and a version number to the original
// table of twelve functions, followed by more functions. Only the slots that
// qorvex calls carry a prototype; the rest are opaque so that the offsets of
// the called ones hold.
#ifndef QORVEX_EFI_PROTOCOL_SHELL_ENVIRONMENT_H
#define QORVEX_EFI_PROTOCOL_SHELL_ENVIRONMENT_H

#include "DevicePath.h"

// Names a GUID the shell knows (GenId asks it to make one up when it has none).
typedef CHAR16*(EFIAPI* SHELLENV_GET_PROT)(const EFI_GUID* Protocol, BOOLEAN GenId);
typedef VOID(EFIAPI* SHELLENV_ENABLE_PAGE_BREAK)(INT32 StartRow, BOOLEAN AutoWrap);
typedef VOID(EFIAPI* SHELLENV_DISABLE_PAGE_BREAK)(VOID);
typedef BOOLEAN(EFIAPI* SHELLENV_GET_PAGE_BREAK)(VOID);
typedef VOID(EFIAPI* SHELLENV_SET_KEY_FILTER)(UINT32 KeyFilter);
typedef UINT32(EFIAPI* SHELLENV_GET_KEY_FILTER)(VOID);
// Turns a shell file name into a device path, or null when it cannot be mapped.
typedef EFI_DEVICE_PATH_PROTOCOL*(EFIAPI* SHELLENV_NAME_TO_PATH)(const CHAR16* Path);

// Key filter bits of SetKeyFilter / GetKeyFilter.
constexpr UINT32 EFI_OUTPUT_SCROLL = 0x1;
constexpr UINT32 EFI_OUTPUT_PAUSE = 0x2;
constexpr UINT32 EFI_EXECUTION_BREAK = 0x4;

struct EFI_SHELL_ENVIRONMENT2 {
  VOID* Execute;
  VOID* GetEnv;
  VOID* GetMap;
  VOID* AddCmd;
  VOID* AddProt;
  SHELLENV_GET_PROT GetProt;
  VOID* CurDir;
  VOID* FileMetaArg;
  VOID* FreeFileList;
  VOID* NewShell;
  VOID* BatchIsActive;
  VOID* FreeResources;
  // Version-2 extension.
  EFI_GUID SESGuid;
  UINT32 MajorVersion;
  UINT32 MinorVersion;
  SHELLENV_ENABLE_PAGE_BREAK EnablePageBreak;
  SHELLENV_DISABLE_PAGE_BREAK DisablePageBreak;
  SHELLENV_GET_PAGE_BREAK GetPageBreak;
  SHELLENV_SET_KEY_FILTER SetKeyFilter;
  SHELLENV_GET_KEY_FILTER GetKeyFilter;
  // Execution break, nesting level, console proxy, handle and protocol
  // enumerators, device names and shell mode: not used by qorvex.
  VOID* Reserved[18];
  SHELLENV_NAME_TO_PATH NameToPath;
};
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, GetProt) == 5 * sizeof(VOID*), "ShellEnv->GetProt is slot 5");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, SESGuid) == 0x60, "ShellEnv->SESGuid");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, MajorVersion) == 0x70, "ShellEnv->MajorVersion");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, DisablePageBreak) == 0x80, "ShellEnv->DisablePageBreak");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, SetKeyFilter) == 0x90, "ShellEnv->SetKeyFilter");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, GetKeyFilter) == 0x98, "ShellEnv->GetKeyFilter");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, NameToPath) == 0x130, "ShellEnv->NameToPath");

#endif  // QORVEX_EFI_PROTOCOL_SHELL_ENVIRONMENT_H
