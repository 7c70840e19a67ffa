// Shared services of the library: GUID comparison, the grow-and-retry step
// for calls that report the size they need, variable reads, language
// matching, and the text forms of statuses, GUIDs and times.
#ifndef QORVEX_SHELL_LIBRARY_MISC_H
#define QORVEX_SHELL_LIBRARY_MISC_H

#include "Efi.h"

// 0 exactly when the two GUIDs are equal in all 16 bytes.
INTN LibGuidCompare(const EFI_GUID* Guid1, const EFI_GUID* Guid2);

// Drives a "call, and if the buffer was too small, enlarge it and call again"
// loop:
//   while (LibBufferRetry(&status, &buffer, size)) status = Call(&size, buffer);
// With no buffer yet and a nonzero size the first pass allocates. A too-small
// answer replaces the buffer with a zero-filled one of the size the call
// asked for. Returns TRUE when the caller is to call (again). A failed loop
// leaves no buffer and the error in *Status (EFI_OUT_OF_RESOURCES when the
// allocation failed).
BOOLEAN LibBufferRetry(EFI_STATUS* Status, VOID** Buffer, UINTN BufferSize);

// Reads a UEFI variable into a new pool buffer that the caller frees, or
// returns null (missing variable, or any error). *VarSize receives the data
// size, 0 when null is returned.
VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid, UINTN* VarSize);
VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid);

// Reads the platform language ("Lang" in ISO 639-2 mode, "PlatformLang"
// otherwise) and matches it, then the default ("eng" / "en-US"), against
// SupportedLanguages. Returns a pool copy of the matching entry, or null.
CHAR8* LibPlatformLanguageMatch(const CHAR8* SupportedLanguages, BOOLEAN Iso639);

// Matches the null-terminated candidate list against SupportedLanguages:
// ISO 639-2 mode compares three-letter entries run together; RFC 4646 mode
// compares ';'-separated entries and shortens a candidate at its '-' parts
// (en-US, then en). Returns a pool copy of the first matching entry, or null.
CHAR8* LibMatchLanguageList(const CHAR8* SupportedLanguages, BOOLEAN Iso639, const CHAR8* const* Candidates);

// The same with the candidates given as arguments.
template <typename... Candidate>
CHAR8* LibMatchLanguage(const CHAR8* SupportedLanguages, BOOLEAN Iso639, Candidate... Candidates) {
  const CHAR8* const list[] = {Candidates..., nullptr};
  return LibMatchLanguageList(SupportedLanguages, Iso639, list);
}

// ---- Status, GUID and time text ----
// Each routine leaves an empty text when its text cannot be formatted (no
// pool for the formatting run).

// The shell environment through which GUIDs are named: looked up by
// LibGuidText on first need and kept once found.
extern EFI_SHELL_ENVIRONMENT2* LibGuidNamer;

// The name of Status ("Success", "Not Found", ...), or for a status without
// one its number as %X: 8 uppercase hexadecimal digits at least (00000006).
// Buffer must have room for the text; 30 characters always do.
VOID LibStatusText(CHAR16* Buffer, EFI_STATUS Status);

// The shell's name for Guid, or its number form
// 47C7B221-C42A-11D2-8E57-00A0C969723B (36 characters). The shell's name is
// not bounded; LibGuidTextBounded bounds it.
VOID LibGuidText(CHAR16* Buffer, const EFI_GUID* Guid);

// The same into a buffer of BufferSize bytes, of which the text takes at
// most BufferSize / 2 - 1 characters; a BufferSize below 2 sets no bound.
VOID LibGuidTextBounded(CHAR16* Buffer, UINTN BufferSize, const EFI_GUID* Guid);

// Month/day/year and a 12-hour clock: "12/06/26  08:24a" (two spaces,
// a or p). Reads Year, Month, Day, Hour and Minute only; at most 20 characters.
VOID LibTimeText(CHAR16* Buffer, const EFI_TIME* Time);

#endif  // QORVEX_SHELL_LIBRARY_MISC_H
