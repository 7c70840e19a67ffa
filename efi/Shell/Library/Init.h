// Start-up of a shell application: the library's global state, the binding
// to the EFI shell, and the assertion hook that every library routine uses.
#ifndef QORVEX_SHELL_LIBRARY_INIT_H
#define QORVEX_SHELL_LIBRARY_INIT_H

#include "Efi.h"

// Library globals. Filled once by start-up and only read afterwards.
extern BOOLEAN LibStarted;
extern EFI_SYSTEM_TABLE* LibSystemTable;
extern EFI_BOOT_SERVICES* LibBootServices;
extern EFI_RUNTIME_SERVICES* LibRuntimeServices;
// Memory type of every library pool allocation (the image's data type).
extern EFI_MEMORY_TYPE LibPoolType;
// Collation in use: FallbackCollation until start-up selects a firmware one.
extern const EFI_UNICODE_COLLATION_PROTOCOL* LibCollation;
extern EFI_DEBUG_ASSERT_PROTOCOL* LibDebugAssert;
extern EFI_SHELL_INTERFACE* LibShellInterface;
extern EFI_SHELL_ENVIRONMENT2* LibShellEnvironment;

// The library's own collation (see Str.h); no FAT conversion, no languages.
extern const EFI_UNICODE_COLLATION_PROTOCOL FallbackCollation;

// First call of a shell application: starts the library and binds the image
// to the shell's interface and version-2 environment. When either is missing
// it reports the failure and ends the image through Exit. Returns success.
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

// Hands a failed check to the platform's debug-assert protocol, when start-up
// found one; otherwise does nothing. Always returns to the checking routine.
VOID LibReportAssert(const CHAR8* SourceFile, INTN SourceLine, const CHAR8* Condition);

// Puts every global of the library (start-up's, the HII registration's, the
// GUID namer) back to its value at load time. Each start of an image loads
// them afresh, so only the host tests call it, between runs.
VOID LibResetGlobals();

// Reports a failed check and tells the caller whether it held, so that the
// caller can leave early instead of using a bad argument.
inline bool LibCheck(bool Holds, const CHAR8* SourceFile, INTN SourceLine, const CHAR8* Condition) {
  if (!Holds) LibReportAssert(SourceFile, SourceLine, Condition);
  return Holds;
}

// Checks for library routines. Each source file defines
//   static const CHAR8 kLibSource[] = "Shell/Library/<name>";
// LIB_CHECK_NOT_NULL(p) reports "p != ((void *) 0)"; LIB_CHECK(cond, "text")
// reports the given text. Both evaluate to whether the check held. The
// source names and condition texts reach the platform's debug-assert
// protocol: they are output that tools may match, kept verbatim.
#define LIB_CHECK_NOT_NULL(Pointer) \
  LibCheck((Pointer) != nullptr, kLibSource, __LINE__, #Pointer " != ((void *) 0)")
#define LIB_CHECK(Condition, Text) LibCheck((Condition), kLibSource, __LINE__, Text)

#endif  // QORVEX_SHELL_LIBRARY_INIT_H
