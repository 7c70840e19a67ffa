// UCS-2 and 8-bit string routines and the fallback collation.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FirmwareTest.h"
#include "Init.h"
#include "Mem.h"
#include "Str.h"

namespace {

using fake::FirmwareTest;

class StrTest : public FirmwareTest {};

struct TrimCase {
  std::u16string Text;
  CHAR16 Char;
  std::u16string Expected;
};

void PrintTo(const TrimCase& c, std::ostream* os) {
  *os << '"' << fake::Narrow(c.Text) << "\" trimming " << int(c.Char);
}

class TrimTest : public FirmwareTest, public ::testing::WithParamInterface<TrimCase> {};

TEST_P(TrimTest, RemovesLeadingAndTrailingUnitsOnly) {
  const TrimCase& c = GetParam();
  std::u16string buffer = c.Text;
  buffer.push_back(u'#');  // a unit after the terminator must stay untouched
  buffer[c.Text.size()] = 0;
  buffer.push_back(u'#');
  Str16TrimChar(&buffer[0], c.Char);
  EXPECT_EQ(std::u16string(buffer.c_str()), c.Expected);
  EXPECT_EQ(buffer.back(), u'#');
}

INSTANTIATE_TEST_SUITE_P(Cases, TrimTest,
                         ::testing::Values(TrimCase{u"xxaxbxx", u'x', u"axb"}, TrimCase{u"xxx", u'x', u""},
                                           TrimCase{u"ab", u'x', u"ab"}, TrimCase{u"", u'x', u""},
                                           TrimCase{u"xa", u'x', u"a"}, TrimCase{u"ax", u'x', u"a"},
                                           TrimCase{u"abc", 0, u"abc"}, TrimCase{u"  a b  ", u' ', u"a b"}));

TEST_F(StrTest, FindCharScansTheTerminatorToo) {
  const CHAR16* text = u"abc";
  EXPECT_EQ(Str16FindChar(text, 0), text + 3);
  EXPECT_EQ(Str16FindChar(text, u'b'), text + 1);
  EXPECT_EQ(Str16FindChar(text, u'z'), nullptr);
  const CHAR8* bytes = "abc";
  EXPECT_EQ(Str8FindChar(bytes, 0), bytes + 3);
  EXPECT_EQ(Str8FindChar(bytes, 'c'), bytes + 2);
  EXPECT_EQ(Str8FindChar(bytes, 'z'), nullptr);
}

TEST_F(StrTest, CloneIsAPoolCopyWithItsTerminator) {
  CHAR16* copy = Str16Clone(u"hello");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"hello");
  EXPECT_EQ(fw.FindBlock(copy)->Size, 12u);
  ReleasePool(copy);
}

TEST_F(StrTest, CloneReturnsNullWhenThePoolFails) {
  fw.FailAllocation(1);
  EXPECT_EQ(Str16Clone(u"hello"), nullptr);
}

TEST_F(StrTest, CopyAndLength) {
  CHAR16 buffer[8];
  Str16Copy(buffer, u"abc");
  EXPECT_EQ(std::u16string(buffer), u"abc");
  EXPECT_EQ(Str16Length(buffer), 3u);
  EXPECT_EQ(Str16Length(u""), 0u);
  CHAR8 bytes[8];
  Str8Copy(bytes, "xyz");
  EXPECT_STREQ(bytes, "xyz");
  EXPECT_EQ(Str8Length(bytes), 3u);
}

struct CollCase {
  std::u16string Left, Right;
  int Sign;  // expected sign of the result
  INTN Exact;
};

void PrintTo(const CollCase& c, std::ostream* os) {
  *os << '"' << fake::Narrow(c.Left) << "\" vs \"" << fake::Narrow(c.Right) << '"';
}

class StriCollTest : public FirmwareTest, public ::testing::WithParamInterface<CollCase> {};

TEST_P(StriCollTest, ComparesFoldingUp) {
  const CollCase& c = GetParam();
  INTN result = FallbackStriColl(&FallbackCollation, c.Left.c_str(), c.Right.c_str());
  EXPECT_EQ((result > 0) - (result < 0), c.Sign);
  if (c.Exact != 0) {
    EXPECT_EQ(result, c.Exact);
  }
  // With the fallback in use, the library comparison is the same routine.
  EXPECT_EQ(Str16CompareNoCase(c.Left.c_str(), c.Right.c_str()), result);
}

INSTANTIATE_TEST_SUITE_P(Cases, StriCollTest,
                         ::testing::Values(CollCase{u"Hello", u"HELLO", 0, 0}, CollCase{u"a", u"ab", -1, -0x42},
                                           CollCase{u"_", u"a", 1, 0x5F - 0x41}, CollCase{u"abc", u"ABD", -1, 0},
                                           CollCase{u"", u"", 0, 0}, CollCase{u"\xFFFF", u"a", 1, 0xFFFF - 0x41}));

INTN EFIAPI RecordingStriColl(const EFI_UNICODE_COLLATION_PROTOCOL*, const CHAR16*, const CHAR16*) { return 77; }

TEST_F(StrTest, CompareNoCaseGoesThroughTheSelectedCollation) {
  EFI_UNICODE_COLLATION_PROTOCOL firmware = FallbackCollation;
  firmware.StriColl = RecordingStriColl;
  LibCollation = &firmware;
  EXPECT_EQ(Str16CompareNoCase(u"a", u"a"), 77);
}

TEST_F(StrTest, CaseFoldingTouchesOnlyAsciiLetters) {
  std::u16string text = u"AbZz@[`{\u00E9\u00C9";
  FallbackStrLwr(&FallbackCollation, &text[0]);
  EXPECT_EQ(text, u"abzz@[`{\u00E9\u00C9");
  FallbackStrUpr(&FallbackCollation, &text[0]);
  EXPECT_EQ(text, u"ABZZ@[`{\u00E9\u00C9");
}

TEST_F(StrTest, CopyBoundedPadsShortSourcesAndCutsLongOnes) {
  CHAR8 area[8];
  std::memset(area, '#', sizeof area);
  Str8CopyBounded(area, "ab", 5);
  EXPECT_EQ(std::string(area, 8), std::string("ab\0\0\0###", 8));
  std::memset(area, '#', sizeof area);
  Str8CopyBounded(area, "abcdef", 3);
  EXPECT_EQ(std::string(area, 8), "abc#####");
}

struct BoundedCase {
  std::string Left, Right;
  UINTN Count;
  INTN Expected;
};

void PrintTo(const BoundedCase& c, std::ostream* os) {
  *os << '"' << c.Left << "\" vs \"" << c.Right << "\" count " << c.Count;
}

class CompareBoundedTest : public FirmwareTest, public ::testing::WithParamInterface<BoundedCase> {};

TEST_P(CompareBoundedTest, ComparesAtMostCountBytesUnsigned) {
  const BoundedCase& c = GetParam();
  EXPECT_EQ(Str8CompareBounded(c.Left.c_str(), c.Right.c_str(), c.Count), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareBoundedTest,
                         ::testing::Values(BoundedCase{"abcx", "abcy", 3, 0}, BoundedCase{"abcx", "abcy", 4, -1},
                                           BoundedCase{"abc", "abd", 0, 0}, BoundedCase{"", "a", 5, -'a'},
                                           BoundedCase{"ab", "a", 5, 'b'}, BoundedCase{"a\xFF", "a\x01", 2, 0xFE},
                                           BoundedCase{"ABC", "abc", 3, 'A' - 'a'}));

// Each routine called with null, and the conditions it must report.
struct NullCase {
  const char* Name;
  std::function<void()> Call;
  std::vector<std::string> Conditions;
  std::string Source;
};

TEST_F(StrTest, NullArgumentsAreReportedWithTheirConditionTexts) {
  CHAR16 unit = 0;
  CHAR8 byte = 0;
  // The rows stay one to a line or two.
  // clang-format off
  const std::vector<NullCase> cases = {
      {"Str16Copy", [&] { Str16Copy(nullptr, &unit); }, {"Dest != ((void *) 0)"}, "Shell/Library/Str"},
      {"Str16Copy", [&] { Str16Copy(&unit, nullptr); }, {"Src != ((void *) 0)"}, "Shell/Library/Str"},
      {"Str16Length", [] { Str16Length(nullptr); }, {"Str != ((void *) 0)"}, "Shell/Library/Str"},
      {"Str16FindChar", [] { Str16FindChar(static_cast<const CHAR16*>(nullptr), u'a'); }, {"Str != ((void *) 0)"},
       "Shell/Library/Str"},
      {"Str8FindChar", [] { Str8FindChar(static_cast<const CHAR8*>(nullptr), 'a'); }, {"Str != ((void *) 0)"},
       "Shell/Library/Str"},
      {"Str16TrimChar", [] { Str16TrimChar(nullptr, u'a'); }, {"str != ((void *) 0)"}, "Shell/Library/Str"},
      {"Str16Clone", [] { Str16Clone(nullptr); }, {"Src != ((void *) 0)"}, "Shell/Library/Str"},
      {"MatchPattern", [&] { MatchPattern(nullptr, &unit); }, {"String != ((void *) 0)"}, "Shell/Library/Str"},
      {"MatchPattern", [&] { MatchPattern(&unit, nullptr); }, {"Pattern != ((void *) 0)"}, "Shell/Library/Str"},
      {"FallbackStriColl", [&] { FallbackStriColl(nullptr, nullptr, &unit); }, {"s1 != ((void *) 0)"},
       "Shell/Library/Str"},
      {"FallbackStriColl", [&] { FallbackStriColl(nullptr, &unit, nullptr); }, {"s2 != ((void *) 0)"},
       "Shell/Library/Str"},
      {"Str8CompareBounded", [&] { Str8CompareBounded(nullptr, &byte, 1); }, {"s1 != ((void *) 0)"},
       "Shell/Library/Str"},
      {"Str8CompareBounded", [&] { Str8CompareBounded(&byte, nullptr, 1); }, {"s2 != ((void *) 0)"},
       "Shell/Library/Str"},
      {"Str8Length", [] { Str8Length(nullptr); }, {"s1 != ((void *) 0)"}, "Shell/Library/Str"},
      {"Str8CopyBounded", [&] { Str8CopyBounded(&byte, nullptr, 0); }, {"s1 != ((void *) 0)"}, "Shell/Library/Str"},
  };
  // clang-format on
  for (const NullCase& c : cases) {
    c.Call();
    std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
    std::vector<std::string> conditions;
    for (const auto& record : asserts) {
      conditions.push_back(record.Condition);
      EXPECT_EQ(record.File, c.Source) << c.Name;
    }
    EXPECT_EQ(conditions, c.Conditions) << c.Name;
  }
}

}  // namespace
