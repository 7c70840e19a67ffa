// Start-up of a shell application: filling the library's globals, the
// binding to the EFI shell (an EFI 1.x shell, or a UEFI 2.x shell standing in
// for one), the argument list, and the end of the run.
#ifndef QORVEX_SHELL_LIBRARY_INIT_H
#define QORVEX_SHELL_LIBRARY_INIT_H

#include "Efi.h"
#include "Globals.h"

// First call of a shell application: starts the library and binds the image
// to the shell's interface and version-2 environment. Under a UEFI 2.x shell,
// which offers neither, it makes both from that shell (see UefiShell.h):
// the same argument list and argument information, and file names mapped by
// that shell. When no shell started the image, or the EFI 1.x shell lacks a
// version-2 environment, it reports the failure and ends the image through
// Exit. Returns success.
EFI_STATUS InitShellApp(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

// Saves the tables (once), selects a collation for the platform language
// while the fallback is in use, and looks up the debug-assert protocol.
VOID LibStartUp(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

// Tries Unicode Collation 2, then the older Unicode Collation protocol.
EFI_STATUS LibSelectCollation(EFI_HANDLE ImageHandle);

// Selects the first instance of ProtocolGuid that supports the platform
// language. Success when one was selected; an error status otherwise (also
// when instances exist but none matches, so that the caller tries the older
// protocol).
EFI_STATUS LibTryCollation(EFI_HANDLE ImageHandle, const EFI_GUID* ProtocolGuid);

// Rebuilds the shell's argument list without its empty arguments, as pool
// copies that belong to the application. On failure the list is unchanged.
EFI_STATUS LibDropEmptyArgs();

// Puts every global of the library (start-up's, the HII registration's, the
// GUID namer) back to its value at load time. Each start of an image loads
// them afresh, so only the host tests call it, between runs.
VOID LibResetGlobals();

// Ends the run of a shell application that returns Status: keeps Status in
// the shell variable StatusVariable when a UEFI 2.x shell is there (its
// %lasterror% drops the error bit), and frees what start-up made under such
// a shell. Returns Status.
EFI_STATUS LibEndShellApp(const CHAR16* StatusVariable, EFI_STATUS Status);

#endif  // QORVEX_SHELL_LIBRARY_INIT_H
