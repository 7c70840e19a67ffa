// The library's global state, the assertion hook that every library
// routine uses and the pool's failure hook. Start-up (Init.h) fills the globals; every other part only
// reads them, so this header depends on nothing of the library.
#ifndef QORVEX_SHELL_LIBRARY_GLOBALS_H
#define QORVEX_SHELL_LIBRARY_GLOBALS_H

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

// The library's own collation (defined with its routines in Str.cpp); no FAT
// conversion, no languages.
extern const EFI_UNICODE_COLLATION_PROTOCOL FallbackCollation;

// Hands a failed check to the platform's debug-assert protocol, when start-up
// found one; otherwise does nothing. Always returns to the checking routine.
VOID LibReportAssert(const CHAR8* SourceFile, INTN SourceLine, const CHAR8* Condition);

// Where a failed pool allocation is reported: start-up points it at the
// debug report (IO.h), so that the pool routines need nothing of the output
// engine. Null before start-up and while a debug report is produced.
extern VOID (*LibPoolFailureHook)(EFI_STATUS Status);

// Hands the status of a failed pool allocation to LibPoolFailureHook, when
// it is set.
VOID LibReportPoolFailure(EFI_STATUS Status);

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
#define LIB_CHECK_NOT_NULL(Pointer) LibCheck((Pointer) != nullptr, kLibSource, __LINE__, #Pointer " != ((void *) 0)")
#define LIB_CHECK(Condition, Text) LibCheck((Condition), kLibSource, __LINE__, Text)

#endif  // QORVEX_SHELL_LIBRARY_GLOBALS_H
