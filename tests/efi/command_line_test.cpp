// Host tests of the EFI 1.x command-line split that start-up uses under a
// UEFI 2.x shell, and of the status text kept in a shell variable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "StatusText.h"

namespace {

struct Split {
  std::u16string Text;
  UINT32 Info;
  bool operator==(const Split& other) const { return Text == other.Text && Info == other.Info; }
};

std::ostream& operator<<(std::ostream& os, const Split& s) {
  os << '[';
  for (char16_t c : s.Text) os << static_cast<char>(c < 128 ? c : '?');
  return os << "] 0x" << std::hex << s.Info;
}

// Splits Line the way start-up does: a length probe, then the copy.
std::vector<Split> SplitLine(const std::u16string& Line) {
  CommandLineCursor cursor = CommandLineStart(Line.data(), Line.size());
  std::vector<Split> args;
  const UINTN expected = CommandLineCount(cursor);
  for (;;) {
    CommandLineCursor probe = cursor;
    CommandLineArg sized;
    if (!CommandLineNext(&probe, nullptr, &sized)) break;
    std::u16string text(sized.Length + 1, u'#');
    CommandLineArg copied;
    EXPECT_TRUE(CommandLineNext(&cursor, &text[0], &copied));
    EXPECT_EQ(sized.Length, copied.Length);
    EXPECT_EQ(sized.Info, copied.Info);
    EXPECT_EQ(text[copied.Length], u'\0');
    text.resize(copied.Length);
    args.push_back({text, copied.Info});
  }
  EXPECT_EQ(expected, args.size());
  return args;
}

struct SplitCase {
  const char* Name;
  std::u16string Line;
  std::vector<Split> Args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.Name; }

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, GivesArgumentsAndInfoWords) { EXPECT_EQ(SplitLine(GetParam().Line), GetParam().Args); }

// The line that the UEFI shell handed to a program for
//   p.efi "/q" d.txt "" ^-x a"b c"d >a o.txt
// holds everything but the redirection.
INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineSplit,
    ::testing::Values(
        SplitCase{"measured_line",
                  u"p.efi \"/q\" d.txt \"\" ^-x a\"b c\"d",
                  {{u"p.efi", 0}, {u"/q", 1}, {u"d.txt", 0}, {u"", 1}, {u"-x", 8}, {u"ab cd", 3}}},
        SplitCase{"empty_line", u"", {}}, SplitCase{"blanks_only", u" \t  ", {}},
        SplitCase{"blanks_and_tabs_separate", u"\ta \t b\t", {{u"a", 0}, {u"b", 0}}},
        SplitCase{"quoted_blank", u"\" \"", {{u" ", 1}}}, SplitCase{"first_half_quoted", u"\"/q\"x", {{u"/qx", 7}}},
        SplitCase{"second_half_quoted", u"/\"q\"", {{u"/q", 3}}},
        SplitCase{"empty_quotes_then_text", u"\"\"-x", {{u"-x", 7}}},
        SplitCase{"escaped_quote_inside_quotes", u"\"a^\"b\"", {{u"a\"b", 1}}},
        SplitCase{"escaped_quote_outside", u"^\"x", {{u"\"x", 8}}}, SplitCase{"escaped_caret", u"^^c", {{u"^c", 8}}},
        SplitCase{"escaped_blank_joins", u"a^ b", {{u"a b", 0}}},
        SplitCase{"escape_in_middle_is_not_first", u"a^-b", {{u"a-b", 0}}},
        SplitCase{"escaped_first_inside_quotes", u"\"^-x\"", {{u"-x", 9}}},
        SplitCase{"caret_at_end_is_dropped", u"ab^", {{u"ab", 0}}},
        SplitCase{"escaped_blank_starts_argument", u"a ^ b", {{u"a", 0}, {u" b", 8}}},
        SplitCase{"caret_alone_at_end_is_no_argument", u"a ^", {{u"a", 0}}},
        SplitCase{"escape_starts_the_last_argument", u"q d.txt ^-o.vkf", {{u"q", 0}, {u"d.txt", 0}, {u"-o.vkf", 8}}},
        SplitCase{"escaped_caret_ends_the_line", u"a b^^", {{u"a", 0}, {u"b^", 0}}},
        SplitCase{"caret_ends_the_line_after_blanks", u"a b ^", {{u"a", 0}, {u"b", 0}}},
        SplitCase{"caret_then_blank_ends_the_line", u"a ^ ", {{u"a", 0}, {u" ", 8}}},
        SplitCase{"caret_ends_a_quoted_last_argument", u"a \"b^", {{u"a", 0}, {u"b", 1}}},
        SplitCase{"open_quote_runs_to_end", u"a \"b c", {{u"a", 0}, {u"b c", 1}}},
        SplitCase{"adjacent_quoted_parts", u"\"a\"\"b\"", {{u"ab", 1}}},
        SplitCase{"non_ascii_kept", u"\u0141\u00f3d\u017a", {{u"\u0141\u00f3d\u017a", 0}}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.Name); });

TEST(CommandLine, StopsAtNulBeforeLength) {
  // LoadOptionsSize counts the terminating NUL; anything behind it is ignored.
  const char16_t line[] = u"app.efi x\0garbage";
  CommandLineCursor cursor = CommandLineStart(line, sizeof(line) / sizeof(line[0]));
  EXPECT_EQ(CommandLineCount(cursor), 2u);
}

TEST(CommandLine, StopsAtLengthWithoutNul) {
  const std::u16string line = u"abc def";
  CommandLineCursor cursor = CommandLineStart(line.data(), 5);  // "abc d"
  CommandLineArg arg;
  char16_t text[8];
  ASSERT_TRUE(CommandLineNext(&cursor, text, &arg));
  ASSERT_TRUE(CommandLineNext(&cursor, text, &arg));
  EXPECT_EQ(std::u16string(text), u"d");
  EXPECT_FALSE(CommandLineNext(&cursor, text, &arg));
}

TEST(CommandLine, EscapeAtLengthEndDoesNotReadPastIt) {
  const std::u16string line = u"a^b";
  CommandLineCursor cursor = CommandLineStart(line.data(), 2);  // "a^"
  CommandLineArg arg;
  char16_t text[8];
  ASSERT_TRUE(CommandLineNext(&cursor, text, &arg));
  EXPECT_EQ(std::u16string(text), u"a");
  EXPECT_EQ(cursor.Next, line.data() + 2);
}

TEST(CommandLine, NullTextWithZeroLengthHasNoArguments) {
  CommandLineCursor cursor = CommandLineStart(nullptr, 0);
  CommandLineArg arg;
  EXPECT_FALSE(CommandLineNext(&cursor, nullptr, &arg));
}

TEST(StatusText, MatchesTheShellsForm) {
  const struct {
    EFI_STATUS Status;
    const char16_t* Text;
  } cases[] = {
      {0, u"0x0"},
      {0xF, u"0xF"},
      {0x15, u"0x15"},
      {EFI_INVALID_PARAMETER, u"0x8000000000000002"},
      {EFI_ABORTED, u"0x8000000000000015"},
      {0xFFFFFFFFFFFFFFFFull, u"0xFFFFFFFFFFFFFFFF"},
      {0x123456789ull, u"0x123456789"},
  };
  for (const auto& c : cases) {
    char16_t text[kStatusTextSize];
    StatusToText(c.Status, text);
    EXPECT_EQ(std::u16string(text), std::u16string(c.Text)) << std::hex << c.Status;
  }
}

}  // namespace
