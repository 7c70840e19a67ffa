// The wildcard matcher of the fallback collation.
#include <fnmatch.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "FirmwareTest.h"
#include "Init.h"
#include "Str.h"

namespace {

using fake::FirmwareTest;

// "\3" in the patterns below is the escape mark.
struct MatchCase {
  std::u16string String, Pattern;
  bool Matches;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  std::string pattern = fake::Narrow(c.Pattern);
  for (char& unit : pattern) {
    if (unit == 3) unit = '^';
  }
  *os << '"' << fake::Narrow(c.String) << "\" against \"" << pattern << '"';
}

class MatchPatternTest : public FirmwareTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MatchPatternTest, MatchesTheWholeString) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(MatchPattern(c.String.c_str(), c.Pattern.c_str()), c.Matches ? TRUE : FALSE);
  EXPECT_EQ(FallbackMetaiMatch(&FallbackCollation, c.String.c_str(), c.Pattern.c_str()), c.Matches ? TRUE : FALSE);
}

INSTANTIATE_TEST_SUITE_P(Stars, MatchPatternTest,
                         ::testing::Values(MatchCase{u"FILE.TXT", u"*.txt", true}, MatchCase{u"a", u"a*", true},
                                           MatchCase{u"", u"*", true}, MatchCase{u"", u"?", false},
                                           MatchCase{u"abcabd", u"*abd", true}, MatchCase{u"abc", u"*b", false},
                                           MatchCase{u"abc", u"a**c", true}, MatchCase{u"abc", u"*?*?*?*", true},
                                           MatchCase{u"ab", u"*?*?*?*", false}));

INSTANTIATE_TEST_SUITE_P(Units, MatchPatternTest,
                         ::testing::Values(MatchCase{u"ABC", u"abc", true}, MatchCase{u"abc", u"a?c", true},
                                           MatchCase{u"ac", u"a?c", false}, MatchCase{u"abc", u"ab", false},
                                           MatchCase{u"ab", u"abc", false}, MatchCase{u"a", u"a\3", true},
                                           MatchCase{u"ab", u"a\3", false}, MatchCase{u"*", u"\3*", true},
                                           MatchCase{u"a", u"\3*", false}, MatchCase{u"?", u"\3?", true},
                                           MatchCase{u"x", u"\3?", false}, MatchCase{u"A", u"\3a", true}));

INSTANTIATE_TEST_SUITE_P(Sets, MatchPatternTest,
                         ::testing::Values(MatchCase{u"b", u"[a-c]", true}, MatchCase{u"b", u"[A-C]", true},
                                           MatchCase{u"B", u"[a-c]", true}, MatchCase{u"d", u"[a-c]", false},
                                           MatchCase{u"c", u"[f-a]", false}, MatchCase{u"b", u"[abc]", true},
                                           MatchCase{u"B", u"[abc]", false}, MatchCase{u"x", u"[]", false},
                                           MatchCase{u"", u"[a]", false}, MatchCase{u"[", u"[", true},
                                           MatchCase{u"[x", u"[x", true}, MatchCase{u"a", u"[", false},
                                           MatchCase{u"-", u"[a\3-c]", true}, MatchCase{u"b", u"[a\3-c]", false},
                                           MatchCase{u"]", u"[\3]]", true}, MatchCase{u"-", u"[-]", true},
                                           MatchCase{u"ab1", u"[a-b][a-b][0-9]", true},
                                           MatchCase{u"x.c", u"*[.]c", true}));

// Patterns of '*', '?' and letters against the C library's fnmatch with case
// folding: a reference written independently of ours.
class MatchPatternReference : public FirmwareTest {};

TEST_F(MatchPatternReference, AgreesWithFnmatchOnStarsAndQuestionMarks) {
  std::mt19937 random(20261207);
  const char patternUnits[] = "abAB*?";
  const char stringUnits[] = "abAB";
  for (int round = 0; round < 20000; ++round) {
    std::string pattern, text;
    for (int i = random() % 6; i > 0; --i) pattern += patternUnits[random() % 6];
    for (int i = random() % 6; i > 0; --i) text += stringUnits[random() % 4];
    bool expected = fnmatch(pattern.c_str(), text.c_str(), FNM_CASEFOLD) == 0;
    bool actual = MatchPattern(fake::Widen(text).c_str(), fake::Widen(pattern).c_str()) == TRUE;
    ASSERT_EQ(actual, expected) << "string \"" << text << "\", pattern \"" << pattern << "\"";
  }
}

// Many stars against a long string that the pattern does not match: trying
// every split of the string between the stars would take hours. The match
// runs in a child process, so that a matcher that does not end fails the
// test instead of hanging it.
TEST_F(MatchPatternReference, ManyStarsAgainstALongStringAnswerAtOnce) {
  const std::u16string text(200, u'a');
  std::u16string pattern;
  for (int i = 0; i < 12; ++i) pattern += u"*a";
  pattern += u"*b";
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) _exit(MatchPattern(text.c_str(), pattern.c_str()) == FALSE ? 0 : 1);
  int status = 0;
  pid_t ended = 0;
  for (int waited = 0; waited < 500 && (ended = waitpid(child, &status, WNOHANG)) == 0; ++waited) usleep(10000);
  if (ended != child) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the match did not end within 5 s";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "matched a string without 'b'";
}

}  // namespace
