#include "Str.h"

#include "Globals.h"
#include "Mem.h"

static const CHAR8 kLibSource[] = "Shell/Library/Str";

static CHAR16 FoldUp(CHAR16 Unit) { return (Unit >= u'a' && Unit <= u'z') ? CHAR16(Unit - 0x20) : Unit; }
static CHAR16 FoldDown(CHAR16 Unit) { return (Unit >= u'A' && Unit <= u'Z') ? CHAR16(Unit + 0x20) : Unit; }

// The routines below are written once for 8-bit and 16-bit characters. The
// checks of arguments stay in the callers where the argument's name differs:
// the name is part of the check's report.
template <typename Char>
static UINTN LengthOf(const Char* Str) {
  UINTN length = 0;
  while (Str[length] != 0) ++length;
  return length;
}

template <typename Char>
static VOID CopyOf(Char* Dest, const Char* Src) {
  while ((*Dest++ = *Src++) != 0) {
  }
}

template <typename Char>
static const Char* FindCharOf(const Char* Str, Char Wanted) {
  if (!LIB_CHECK_NOT_NULL(Str)) return nullptr;
  for (;; ++Str) {
    if (*Str == Wanted) return Str;
    if (*Str == 0) return nullptr;
  }
}

VOID Str16Copy(CHAR16* Dest, const CHAR16* Src) {
  if (!LIB_CHECK_NOT_NULL(Dest) || !LIB_CHECK_NOT_NULL(Src)) return;
  CopyOf(Dest, Src);
}

UINTN Str16Length(const CHAR16* Str) { return LIB_CHECK_NOT_NULL(Str) ? LengthOf(Str) : 0; }

VOID Str16TrimChar(CHAR16* str, CHAR16 Char) {
  if (!LIB_CHECK_NOT_NULL(str) || str[0] == 0) return;
  UINTN first = 0;
  while (str[first] != 0 && str[first] == Char) ++first;
  if (first != 0) {
    UINTN i = 0;
    do {
      str[i] = str[first + i];
    } while (str[i++] != 0);
  }
  UINTN length = Str16Length(str);
  UINTN end = length;
  while (end > 0 && str[end - 1] == Char) --end;
  if (end != length) str[end] = 0;
}

const CHAR16* Str16FindChar(const CHAR16* Str, CHAR16 Char) { return FindCharOf(Str, Char); }

CHAR16* Str16FindChar(CHAR16* Str, CHAR16 Char) {
  return const_cast<CHAR16*>(Str16FindChar(static_cast<const CHAR16*>(Str), Char));
}

INTN Str16CompareNoCase(const CHAR16* s1, const CHAR16* s2) { return LibCollation->StriColl(LibCollation, s1, s2); }

CHAR16* Str16Clone(const CHAR16* Src) {
  if (!LIB_CHECK_NOT_NULL(Src)) return nullptr;
  UINTN size = (Str16Length(Src) + 1) * sizeof(CHAR16);
  CHAR16* copy = static_cast<CHAR16*>(AllocatePool(size));
  if (copy != nullptr) MoveMem(copy, Src, size);
  return copy;
}

INTN EFIAPI FallbackStriColl(const EFI_UNICODE_COLLATION_PROTOCOL* This, const CHAR16* s1, const CHAR16* s2) {
  (void)This;
  if (!LIB_CHECK_NOT_NULL(s1) || !LIB_CHECK_NOT_NULL(s2)) return s1 == s2 ? 0 : (s1 == nullptr ? -1 : 1);
  while (*s1 != 0 && FoldUp(*s1) == FoldUp(*s2)) {
    ++s1;
    ++s2;
  }
  return INTN(FoldUp(*s1)) - INTN(FoldUp(*s2));
}

BOOLEAN EFIAPI FallbackMetaiMatch(const EFI_UNICODE_COLLATION_PROTOCOL* This, const CHAR16* String,
                                  const CHAR16* Pattern) {
  (void)This;
  return MatchPattern(String, Pattern);
}

VOID EFIAPI FallbackStrLwr(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str) {
  (void)This;
  if (Str == nullptr) return;
  for (; *Str != 0; ++Str) *Str = FoldDown(*Str);
}

VOID EFIAPI FallbackStrUpr(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str) {
  (void)This;
  if (Str == nullptr) return;
  for (; *Str != 0; ++Str) *Str = FoldUp(*Str);
}

const EFI_UNICODE_COLLATION_PROTOCOL FallbackCollation = {
    FallbackStriColl, FallbackMetaiMatch, FallbackStrLwr, FallbackStrUpr, nullptr, nullptr, nullptr,
};

// ---- Pattern matching ----

namespace {

// One pattern character with escape marks resolved.
struct PatternChar {
  CHAR16 Unit;
  bool Escaped;
};

// Reads the character at Pattern and returns where the next one starts. An
// escape mark at the very end reads as the pattern's end.
const CHAR16* ReadPatternChar(const CHAR16* Pattern, PatternChar* Char) {
  Char->Escaped = *Pattern == kPatternEscape;
  if (Char->Escaped) ++Pattern;
  Char->Unit = *Pattern;
  return *Pattern == 0 ? Pattern : Pattern + 1;
}

// The closing ']' of a set whose content starts at Content: the first ']'
// not preceded by an escape mark, or null when the pattern ends first.
const CHAR16* FindSetEnd(const CHAR16* Content) {
  for (const CHAR16* p = Content; *p != 0; ++p) {
    if (*p == u']' && (p == Content || p[-1] != kPatternEscape)) return p;
  }
  return nullptr;
}

// Whether Unit belongs to the set whose content runs from Content to End:
// a range when the content is exactly three characters with an unescaped '-'
// in the middle (folded, inclusive), else a list of exact characters.
bool MatchSet(CHAR16 Unit, const CHAR16* Content, const CHAR16* End) {
  PatternChar chars[3] = {};
  UINTN count = 0;
  for (const CHAR16* p = Content; p < End; ++count) {
    PatternChar c;
    p = ReadPatternChar(p, &c);
    if (count < 3) chars[count] = c;
  }
  if (count == 3 && chars[1].Unit == u'-' && !chars[1].Escaped) {
    CHAR16 folded = FoldUp(Unit);
    return folded >= FoldUp(chars[0].Unit) && folded <= FoldUp(chars[2].Unit);
  }
  for (const CHAR16* p = Content; p < End;) {
    PatternChar c;
    p = ReadPatternChar(p, &c);
    if (c.Unit == Unit) return true;
  }
  return false;
}

// Whether the pattern character C (read from before Next) takes the unit at
// String, which is not the end; *After is where the pattern goes on.
bool TakesUnit(const CHAR16* String, const PatternChar& C, const CHAR16* Next, const CHAR16** After) {
  *After = Next;
  if (!C.Escaped && C.Unit == u'?') return true;
  if (!C.Escaped && C.Unit == u'[') {
    const CHAR16* end = FindSetEnd(Next);
    if (end == nullptr) return *String == u'[';
    *After = end + 1;
    return MatchSet(*String, Next, end);
  }
  return FoldUp(C.Unit) == FoldUp(*String);
}

// Every character but '*' takes exactly one unit, so when the pattern after
// a '*' fails, only the last '*' needs to take one unit more and the match
// goes on from there: earlier stars never need to be revisited. The work is
// at most the product of the two lengths, however many stars the pattern
// has (trying every split at every star took time exponential in them).
bool MatchFrom(const CHAR16* String, const CHAR16* Pattern) {
  const CHAR16* afterStar = nullptr;  // the pattern after the last '*'
  const CHAR16* starEnd = nullptr;    // the unit after what that '*' takes
  for (;;) {
    PatternChar c;
    const CHAR16* next = ReadPatternChar(Pattern, &c);
    if (!c.Escaped && c.Unit == u'*') {
      afterStar = Pattern = next;
      starEnd = String;
      continue;
    }
    if (c.Unit == 0 && *String == 0) return true;
    const CHAR16* after = next;
    if (c.Unit != 0 && *String != 0 && TakesUnit(String, c, next, &after)) {
      ++String;
      Pattern = after;
      continue;
    }
    if (afterStar == nullptr || *starEnd == 0) return false;
    String = ++starEnd;
    Pattern = afterStar;
  }
}

}  // namespace

BOOLEAN MatchPattern(const CHAR16* String, const CHAR16* Pattern) {
  if (!LIB_CHECK_NOT_NULL(String) || !LIB_CHECK_NOT_NULL(Pattern)) return FALSE;
  return MatchFrom(String, Pattern) ? TRUE : FALSE;
}

// ---- 8-bit strings ----

UINTN Str8Length(const CHAR8* s1) { return LIB_CHECK_NOT_NULL(s1) ? LengthOf(s1) : 0; }

VOID Str8Copy(CHAR8* Dest, const CHAR8* Src) { CopyOf(Dest, Src); }

const CHAR8* Str8FindChar(const CHAR8* Str, CHAR8 Char) { return FindCharOf(Str, Char); }

CHAR8* Str8FindChar(CHAR8* Str, CHAR8 Char) {
  return const_cast<CHAR8*>(Str8FindChar(static_cast<const CHAR8*>(Str), Char));
}

VOID Str8CopyBounded(CHAR8* Dest, const CHAR8* Src, UINTN Count) {
  UINTN length = Str8Length(Src);
  if (length > Count) length = Count;
  for (UINTN i = 0; i < length; ++i) Dest[i] = Src[i];
  if (length < Count) FillBytes(Dest + length, 0, Count - length);
}

INTN Str8CompareBounded(const CHAR8* s1, const CHAR8* s2, UINTN Count) {
  if (!LIB_CHECK_NOT_NULL(s1) || !LIB_CHECK_NOT_NULL(s2)) return s1 == s2 ? 0 : (s1 == nullptr ? -1 : 1);
  for (; *s1 != 0; ++s1, ++s2, --Count) {
    if (Count == 0) return 0;
    if (*s1 != *s2) break;
  }
  if (Count == 0) return 0;
  return INTN(UINT8(*s1)) - INTN(UINT8(*s2));
}
