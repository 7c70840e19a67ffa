// The version-2 shell environment that the shell bridge installs for its
// child, built on the UEFI 2.x shell.
//
// An EFI 1.x application finds this interface on its image handle and uses
// these members of it:
//   - the signature GUID and a major version of 1, which mark version 2;
//   - GetProt (slot 5): a name for a few well-known GUIDs, null for others;
//   - DisablePageBreak, EnablePageBreak, GetPageBreak: accepted, nothing is
//     paged (the UEFI shell pages nothing for a program it runs);
//   - SetKeyFilter and GetKeyFilter: a stored flag set, 0x7 at first;
//   - NameToPath (offset 0x130): the device path that the UEFI shell maps a
//     file name to (current directory, fsN:), or null when it cannot.
// Every other slot is null.
//
// The environment's functions take no interface pointer, so the state they
// need lives in this module for the one child that the bridge runs.
#ifndef QORVEX_EFI_BRIDGE_BRIDGE_ENVIRONMENT_H
#define QORVEX_EFI_BRIDGE_BRIDGE_ENVIRONMENT_H

#include "EfiSystemTable.h"
#include "Protocol/ShellEnvironment.h"
#include "Protocol/UefiShell.h"

// Fills Environment and sets the module's state up for a child run. Shell
// serves the name mapping; BootServices frees what the mapping returns.
void BridgeEnvironmentInit(EFI_SHELL_ENVIRONMENT2* Environment, EFI_SHELL_PROTOCOL* Shell,
                           EFI_BOOT_SERVICES* BootServices);

// Frees every device path that NameToPath handed out since the last Init.
// Called once the child has ended, since the child may hold on to them
// until then.
void BridgeEnvironmentRelease();

#endif  // QORVEX_EFI_BRIDGE_BRIDGE_ENVIRONMENT_H
