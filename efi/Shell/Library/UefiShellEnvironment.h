// A version-2 shell environment answered by a UEFI 2.x shell, for an EFI 1.x
// shell application that such a shell started (or that shellbridge.efi
// starts under one).
//
// The application finds this interface where it looks for the shell
// environment and uses these members of it:
//   - the signature GUID and a major version of 1, which mark version 2;
//   - GetProt (slot 5): a name for a few well-known GUIDs, null for others;
//   - DisablePageBreak, EnablePageBreak, GetPageBreak: accepted, nothing is
//     paged (the UEFI shell pages nothing for a program it runs);
//   - SetKeyFilter and GetKeyFilter: a stored flag set, 0x7 at first;
//   - NameToPath (offset 0x130): the device path that the UEFI shell maps a
//     file name to (current directory, fsN: and BLKn: mappings, \, ., ..),
//     or null when it cannot.
// Every other slot is null.
//
// The environment's functions take no interface pointer, so the state they
// need lives in this module, for the one application run it serves.
#ifndef QORVEX_SHELL_LIBRARY_UEFI_SHELL_ENVIRONMENT_H
#define QORVEX_SHELL_LIBRARY_UEFI_SHELL_ENVIRONMENT_H

#include "EfiSystemTable.h"
#include "Protocol/ShellEnvironment.h"
#include "Protocol/UefiShell.h"

// Fills Environment and sets the module's state up for a run. Shell serves
// the name mapping; BootServices records and frees what the mapping returns.
void UefiShellEnvironmentInit(EFI_SHELL_ENVIRONMENT2* Environment, EFI_SHELL_PROTOCOL* Shell,
                              EFI_BOOT_SERVICES* BootServices);

// Frees every device path that NameToPath handed out since the last Init.
// Called once the application has ended, since it may hold on to them until
// then (the EFI 1.x shell owns the paths it hands out).
void UefiShellEnvironmentRelease();

#endif  // QORVEX_SHELL_LIBRARY_UEFI_SHELL_ENVIRONMENT_H
