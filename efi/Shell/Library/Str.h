// UCS-2 and 8-bit string routines, the fallback collation and the wildcard
// matcher. Case folding touches only the ASCII letters.
#ifndef QORVEX_SHELL_LIBRARY_STR_H
#define QORVEX_SHELL_LIBRARY_STR_H

#include "Efi.h"

// The unit in a pattern that makes the unit after it literal.
constexpr CHAR16 kPatternEscape = 0x0003;

// Copies Src and its terminator; the caller guarantees room.
VOID Str16Copy(CHAR16* Dest, const CHAR16* Src);
UINTN Str16Length(const CHAR16* Str);

// Removes every leading and trailing unit equal to Char, in place.
VOID Str16TrimChar(CHAR16* str, CHAR16 Char);

// First unit equal to Char, scanning the terminator too (so 0 finds it).
const CHAR16* Str16FindChar(const CHAR16* Str, CHAR16 Char);
CHAR16* Str16FindChar(CHAR16* Str, CHAR16 Char);

// The current collation's StriColl: 0 when equal ignoring case.
INTN Str16CompareNoCase(const CHAR16* s1, const CHAR16* s2);

// A pool copy of Src with its terminator, or null.
CHAR16* Str16Clone(const CHAR16* Src);

// Whole-string wildcard match: '*', '?', sets '[abc]', ranges '[a-f]', and
// kPatternEscape before a unit to take it literally. Single units and ranges
// ignore case; the units of a set do not.
BOOLEAN MatchPattern(const CHAR16* String, const CHAR16* Pattern);

// The fallback collation entries; each ignores its interface pointer.
INTN EFIAPI FallbackStriColl(const EFI_UNICODE_COLLATION_PROTOCOL* This, const CHAR16* s1, const CHAR16* s2);
BOOLEAN EFIAPI FallbackMetaiMatch(const EFI_UNICODE_COLLATION_PROTOCOL* This, const CHAR16* String,
                                  const CHAR16* Pattern);
VOID EFIAPI FallbackStrLwr(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str);
VOID EFIAPI FallbackStrUpr(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str);

UINTN Str8Length(const CHAR8* s1);
// Copies Src and its terminator; no null test.
VOID Str8Copy(CHAR8* Dest, const CHAR8* Src);
const CHAR8* Str8FindChar(const CHAR8* Str, CHAR8 Char);
CHAR8* Str8FindChar(CHAR8* Str, CHAR8 Char);

// Copies min(length of Src, Count) bytes and zero-fills the rest of Count.
// A Src of Count bytes or more leaves Dest without a terminator.
VOID Str8CopyBounded(CHAR8* Dest, const CHAR8* Src, UINTN Count);

// Compares at most Count bytes, as unsigned, without case folding.
INTN Str8CompareBounded(const CHAR8* s1, const CHAR8* s2, UINTN Count);

#endif  // QORVEX_SHELL_LIBRARY_STR_H
