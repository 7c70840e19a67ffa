// Fuzz target: the pattern matcher and the string routines of the shell
// library, each in a heap block of exactly its size.
//
// Input: byte 0 a character C (the unit the trim and search routines look
// for), byte 1 a count N, then UCS-2 units, little endian: a string S, a
// zero unit, a pattern P (neither holds a zero unit; the rest after a second
// zero unit is ignored).
// Invariants:
//   * no read past a terminator and no write past a buffer;
//   * MatchPattern(S, P) is what a matcher written from the pattern rules
//     gives ('*', '?', sets, ranges, the escape mark, ASCII case); S always
//     matches "*" and itself with every unit escaped;
//   * the UCS-2 and 8-bit routines give what the same operation on standard
//     strings gives (length, copy, trim, search, comparisons ignoring ASCII
//     case or bounded, case changes, prefix test), and a clone is an equal
//     pool copy that is freed without a trace.
#include <stdint.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeFirmware.h"
#include "FuzzCheck.h"
#include "FuzzFirmware.h"
#include "Mem.h"
#include "Str.h"
#include "VarCheck.h"

namespace {

// A NUL-terminated copy in a heap block of exactly its size.
template <typename Unit>
std::unique_ptr<Unit[]> Exact(const std::basic_string<Unit>& Text) {
  std::unique_ptr<Unit[]> copy(new Unit[Text.size() + 1]);
  Text.copy(copy.get(), Text.size());
  copy[Text.size()] = 0;
  return copy;
}

CHAR16* AsChar16(std::unique_ptr<char16_t[]>& Text) { return reinterpret_cast<CHAR16*>(Text.get()); }

char16_t Fold(char16_t Unit) { return Unit >= u'a' && Unit <= u'z' ? char16_t(Unit - 0x20) : Unit; }
char16_t FoldDown(char16_t Unit) { return Unit >= u'A' && Unit <= u'Z' ? char16_t(Unit + 0x20) : Unit; }

// ---- The pattern rules, as tokens and a table of sub-matches ----

struct Token {
  enum Kind { Literal, Exact, Any, Star, Set, Range } Kind;
  std::u16string Units;  // Literal and Exact: one unit; Set: its units; Range: low and high
};

// The first ']' of Rest not preceded by the escape mark.
size_t SetEnd(const std::u16string& Pattern, size_t From) {
  for (size_t i = From; i < Pattern.size(); ++i) {
    if (Pattern[i] == u']' && (i == From || Pattern[i - 1] != kPatternEscape)) return i;
  }
  return std::u16string::npos;
}

Token SetToken(const std::u16string& Content) {
  std::u16string units;
  std::vector<bool> escaped;
  for (size_t i = 0; i < Content.size(); ++i) {
    escaped.push_back(Content[i] == kPatternEscape);
    if (Content[i] == kPatternEscape) ++i;
    units.push_back(Content[i]);
  }
  if (units.size() == 3 && units[1] == u'-' && !escaped[1]) return Token{Token::Range, {units[0], units[2]}};
  return Token{Token::Set, units};
}

std::vector<Token> Tokens(const std::u16string& Pattern) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < Pattern.size(); ++i) {
    char16_t unit = Pattern[i];
    if (unit == kPatternEscape) {
      if (++i == Pattern.size()) break;
      tokens.push_back(Token{Token::Literal, {Pattern[i]}});
    } else if (unit == u'*') {
      tokens.push_back(Token{Token::Star, {}});
    } else if (unit == u'?') {
      tokens.push_back(Token{Token::Any, {}});
    } else if (unit == u'[' && SetEnd(Pattern, i + 1) != std::u16string::npos) {
      size_t end = SetEnd(Pattern, i + 1);
      tokens.push_back(SetToken(Pattern.substr(i + 1, end - i - 1)));
      i = end;
    } else {
      tokens.push_back(Token{unit == u'[' ? Token::Exact : Token::Literal, {unit}});
    }
  }
  return tokens;
}

bool TakesUnit(const Token& T, char16_t Unit) {
  switch (T.Kind) {
    case Token::Literal: return Fold(T.Units[0]) == Fold(Unit);
    case Token::Exact: return T.Units[0] == Unit;
    case Token::Any: return true;
    case Token::Set: return T.Units.find(Unit) != std::u16string::npos;
    case Token::Range: return Fold(Unit) >= Fold(T.Units[0]) && Fold(Unit) <= Fold(T.Units[1]);
    case Token::Star: break;
  }
  return false;
}

bool ReferenceMatch(const std::u16string& String, const std::u16string& Pattern) {
  const std::vector<Token> tokens = Tokens(Pattern);
  // matches[t][s]: tokens from t on match the string from s on.
  std::vector<std::vector<bool>> matches(tokens.size() + 1, std::vector<bool>(String.size() + 1, false));
  matches[tokens.size()][String.size()] = true;
  for (size_t t = tokens.size(); t-- > 0;) {
    for (size_t s = String.size() + 1; s-- > 0;) {
      if (tokens[t].Kind == Token::Star) {
        matches[t][s] = matches[t + 1][s] || (s < String.size() && matches[t][s + 1]);
      } else {
        matches[t][s] = s < String.size() && TakesUnit(tokens[t], String[s]) && matches[t + 1][s + 1];
      }
    }
  }
  return matches[0][0];
}

std::u16string EveryUnitEscaped(const std::u16string& Text) {
  std::u16string pattern;
  for (char16_t unit : Text) pattern += std::u16string{kPatternEscape, unit};
  return pattern;
}

void CheckPatterns(const std::u16string& S, const std::u16string& P) {
  auto string = Exact(S);
  auto pattern = Exact(P);
  const bool matched = MatchPattern(AsChar16(string), AsChar16(pattern)) == TRUE;
  FUZZ_CHECK(matched == ReferenceMatch(S, P), "pattern " + fuzz::Escaped(std::string(P.begin(), P.end())));
  FUZZ_CHECK(MatchPattern(AsChar16(string), u"*") == TRUE, "'*' must match anything");
  auto escaped = Exact(EveryUnitEscaped(S));
  FUZZ_CHECK(MatchPattern(AsChar16(string), AsChar16(escaped)) == TRUE, "escaped string must match itself");
}

// ---- Standard-string references of the other routines ----

std::u16string Trimmed(std::u16string Text, char16_t C) {
  while (!Text.empty() && Text.front() == C) Text.erase(0, 1);
  while (!Text.empty() && Text.back() == C) Text.pop_back();
  return Text;
}

int Sign(long long Value) { return Value < 0 ? -1 : Value > 0 ? 1 : 0; }

int FoldedCompare(const std::u16string& A, const std::u16string& B) {
  for (size_t i = 0;; ++i) {
    char16_t a = i < A.size() ? Fold(A[i]) : 0;
    char16_t b = i < B.size() ? Fold(B[i]) : 0;
    if (a != b || a == 0) return Sign(long(a) - long(b));
  }
}

void CheckUcs2(const std::u16string& S, const std::u16string& P, char16_t C) {
  auto string = Exact(S);
  auto other = Exact(P);
  FUZZ_CHECK(Str16Length(AsChar16(string)) == S.size(), "Str16Length");
  std::unique_ptr<char16_t[]> copy(new char16_t[S.size() + 1]);
  Str16Copy(AsChar16(copy), AsChar16(string));
  FUZZ_CHECK(std::u16string(copy.get()) == S, "Str16Copy");
  Str16TrimChar(AsChar16(copy), C);
  FUZZ_CHECK(std::u16string(copy.get()) == Trimmed(S, C), "Str16TrimChar");
  const CHAR16* found = Str16FindChar(AsChar16(string), C);
  size_t at = C == 0 ? S.size() : S.find(C);
  FUZZ_CHECK(at == std::u16string::npos ? found == nullptr : found == AsChar16(string) + at, "Str16FindChar");
  FUZZ_CHECK(Sign(FallbackStriColl(nullptr, AsChar16(string), AsChar16(other))) == FoldedCompare(S, P),
             "FallbackStriColl");
  FUZZ_CHECK(Sign(Str16CompareNoCase(AsChar16(string), AsChar16(other))) == FoldedCompare(S, P), "Str16CompareNoCase");
  FUZZ_CHECK(LibFlagPrefixMatch(AsChar16(other), AsChar16(string)) == (S.compare(0, P.size(), P) == 0),
             "LibFlagPrefixMatch");
  CHAR16* clone = Str16Clone(AsChar16(string));
  FUZZ_CHECK(clone != nullptr && std::u16string(reinterpret_cast<char16_t*>(clone)) == S, "Str16Clone");
  ReleasePool(clone);
  std::u16string upper = S, lower = S;
  for (char16_t& unit : upper) unit = Fold(unit);
  for (char16_t& unit : lower) unit = FoldDown(unit);
  FallbackStrUpr(nullptr, AsChar16(copy = Exact(S)));
  FUZZ_CHECK(std::u16string(copy.get()) == upper, "FallbackStrUpr");
  FallbackStrLwr(nullptr, AsChar16(copy));
  FUZZ_CHECK(std::u16string(copy.get()) == lower, "FallbackStrLwr");
}

// The low bytes up to the first zero byte.
std::string Narrowed(const std::u16string& Text) {
  std::string bytes;
  for (char16_t unit : Text) {
    if ((unit & 0xFF) == 0) break;
    bytes.push_back(char(unit & 0xFF));
  }
  return bytes;
}

void CheckNarrow(const std::string& S, const std::string& P, char C, size_t Count) {
  auto string = Exact(S);
  auto other = Exact(P);
  FUZZ_CHECK(Str8Length(string.get()) == S.size(), "Str8Length");
  std::unique_ptr<char[]> copy(new char[S.size() + 1]);
  Str8Copy(copy.get(), string.get());
  FUZZ_CHECK(std::string(copy.get()) == S, "Str8Copy");
  const CHAR8* found = Str8FindChar(string.get(), C);
  size_t at = C == 0 ? S.size() : S.find(C);
  FUZZ_CHECK(at == std::string::npos ? found == nullptr : found == string.get() + at, "Str8FindChar");
  std::unique_ptr<char[]> bounded(new char[Count + 1]);
  bounded[Count] = 'x';
  Str8CopyBounded(bounded.get(), string.get(), Count);
  std::string expected(Count, '\0');
  S.copy(expected.data(), Count);
  FUZZ_CHECK(std::string(bounded.get(), Count) == expected && bounded[Count] == 'x', "Str8CopyBounded");
  FUZZ_CHECK(Sign(Str8CompareBounded(string.get(), other.get(), Count)) == Sign(strncmp(S.c_str(), P.c_str(), Count)),
             "Str8CompareBounded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const uint8_t c = input.Byte();
  const uint8_t count = input.Byte();
  const std::u16string units = input.RestUcs2();
  const size_t split = units.find(u'\0');
  const std::u16string s = units.substr(0, split);
  const std::u16string p =
      split == std::u16string::npos ? u"" : units.substr(split + 1, units.find(u'\0', split + 1) - split - 1);
  if (s.size() > 256 || p.size() > 256) return 0;

  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  CheckPatterns(s, p);
  CheckUcs2(s, p, c);
  CheckNarrow(Narrowed(s), Narrowed(p), char(c), count);
  fuzz::EndOnFirmware(fw, false, "strings");
  return 0;
}
