// Command-line flag checking: sorting arguments into flags and plain
// arguments, the result codes and what the package holds afterwards.
#include <algorithm>
#include <string>
#include <vector>

#include "FakeConsole.h"
#include "FakeShell.h"
#include "FirmwareTest.h"
#include "Init.h"
#include "Mem.h"
#include "VarCheck.h"

namespace {

using fake::FirmwareTest;
using fake::Narrow;

// Every kind of flag, a shadowed item, a conflict pair and a flag that
// excludes itself.
const FlagCheckItem kTable[] = {
    {u"/q", 0x01, 0, KindSwitch},    {u"-o", 0x02, 0, KindNextValue}, {u"-b", 0x04, 0, KindJoinedValue},
    {u"-bx", 0x08, 0, KindSwitch},    // never reached: "-b" comes first
    {u"/a", 0x10, 0x20, KindSwitch},  // refused after /b
    {u"/b", 0x20, 0, KindSwitch},    {u"/s", 0x40, 0x40, KindSwitch}, {nullptr, 0, 0, KindSwitch},
};

// The application's table: one switch.
const FlagCheckItem kAppTable[] = {
    {u"/q", 0x1, 0, KindSwitch},
    {nullptr, 0, 0, KindSwitch},
};

// One list as text: "name=value@index" per node; "-" for a null string.
std::string DescribeList(const ArgNode* Node) {
  std::string text;
  for (; Node != nullptr; Node = Node->Next) {
    if (!text.empty()) text += ' ';
    if (Node->Name != nullptr) text += Narrow(Node->Name);
    if (Node->Value != nullptr) text += (Node->Name != nullptr ? "=" : "") + Narrow(Node->Value);
    if (Node->Name == nullptr && Node->Value == nullptr) text += "-";
    text += "@" + std::to_string(Node->ArgIndex);
  }
  return text;
}

class VarCheckTest : public FirmwareTest {
 protected:
  void TearDown() override {
    LibFreeCheckPackage(&package);
    FirmwareTest::TearDown();
  }

  // Checks "cmd Args..." against Table.
  FlagCheckResult Check(const std::vector<std::u16string>& Args, const FlagCheckItem* Table = kTable,
                        const std::vector<UINT32>& ArgInfo = {}) {
    std::vector<std::u16string> argv = {u"cmd"};
    argv.insert(argv.end(), Args.begin(), Args.end());
    std::vector<UINT32> info;
    if (!ArgInfo.empty()) {
      info = {0};
      info.insert(info.end(), ArgInfo.begin(), ArgInfo.end());
    }
    shell.SetArguments(argv, info);
    return LibCheckFlags(&shell.Interface(), Table, &package, &useful);
  }

  std::string Flags() const { return DescribeList(package.Flags); }
  std::string Plain() const { return DescribeList(package.PlainArgs); }
  std::string Useful() const { return useful != nullptr ? Narrow(useful) : "(not written)"; }

  fake::FakeShell shell{fw};
  CheckPackage package = {};
  const CHAR16* useful = nullptr;
};

struct CheckCase {
  std::vector<std::u16string> Args;
  FlagCheckResult Result;
  std::string Useful;  // "(not written)" when untouched
  std::string Flags;
  std::string Plain;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
  *os << "cmd";
  for (const auto& arg : c.Args) *os << " " << Narrow(arg);
}

class CheckFlagsTest : public VarCheckTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckFlagsTest, SortsArgumentsAndStopsAtTheFirstError) {
  const CheckCase& c = GetParam();
  EXPECT_EQ(Check(c.Args), c.Result);
  EXPECT_EQ(Useful(), c.Useful);
  EXPECT_EQ(Flags(), c.Flags);
  EXPECT_EQ(Plain(), c.Plain);
  // The counts are those of the accepted nodes; a flag left without value is not one.
  size_t halfFilled = c.Result == FlagCheckNoValue ? 1 : 0;
  EXPECT_EQ(package.FlagCount, size_t(std::count(c.Flags.begin(), c.Flags.end(), '@')) - halfFilled);
  EXPECT_EQ(package.ArgCount, size_t(std::count(c.Plain.begin(), c.Plain.end(), '@')));
}

const char kNone[] = "(not written)";

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckFlagsTest,
    ::testing::Values(
        CheckCase{{}, FlagCheckOk, kNone, "", ""},
        CheckCase{{u"a", u"/q", u"b"}, FlagCheckOk, kNone, "/q@2", "a@1 b@3"},
        CheckCase{{u"/Q"}, FlagCheckOk, kNone, "/Q@1", ""},
        CheckCase{{u"/q", u"/Q"}, FlagCheckDuplicate, "/Q", "/q@1", ""},
        CheckCase{{u"a", u"-q", u"b"}, FlagCheckUnknown, "-q", "", "a@1"},
        CheckCase{{u"/x"}, FlagCheckUnknown, "/x", "", ""}, CheckCase{{u"+"}, FlagCheckUnknown, "+", "", ""},
        CheckCase{{u"/"}, FlagCheckUnknown, "/", "", ""},
        // A value-taking flag at the end keeps its half-filled node.
        CheckCase{{u"a", u"-o"}, FlagCheckNoValue, "-o", "-@2", "a@1"},
        // The value is taken whatever it looks like, and never examined.
        CheckCase{{u"-o", u"-x", u"b"}, FlagCheckOk, kNone, "-o=-x@1", "b@3"},
        CheckCase{{u"-O", u"/q"}, FlagCheckOk, kNone, "-O=/q@1", ""},
        CheckCase{{u"-b9600"}, FlagCheckOk, kNone, "-b=9600@1", ""},
        CheckCase{{u"-b"}, FlagCheckOk, kNone, "-b=@1", ""}, CheckCase{{u"-B9600"}, FlagCheckUnknown, "-B9600", "", ""},
        CheckCase{{u"-b1", u"-b2"}, FlagCheckDuplicate, "-b", "-b=1@1", ""},
        CheckCase{{u"-bx"}, FlagCheckOk, kNone, "-b=x@1", ""},
        // Conflicts look only to the left.
        CheckCase{{u"/b", u"/a"}, FlagCheckConflict, "/a", "/b@1", ""},
        CheckCase{{u"/a", u"/b"}, FlagCheckOk, kNone, "/a@1 /b@2", ""},
        // The conflict test comes before the duplicate test.
        CheckCase{{u"/s", u"/S"}, FlagCheckConflict, "/S", "/s@1", ""},
        CheckCase{{u"x", u"/q", u"-o", u"v", u"-b7", u"y"}, FlagCheckOk, kNone, "/q@2 -o=v@3 -b=7@5", "x@1 y@6"}));

// The package holds pointers into the arguments and the table, never copies.
TEST_F(VarCheckTest, NamesAndValuesPointIntoTheArgumentsAndTheTable) {
  ASSERT_EQ(Check({u"/Q", u"-o", u"v", u"-b12", u"p"}), FlagCheckOk);
  CHAR16** argv = shell.Interface().Argv;
  const ArgNode* node = package.Flags;
  EXPECT_EQ(node->Name, argv[1]);
  node = node->Next;
  EXPECT_EQ(node->Name, argv[2]);
  EXPECT_EQ(node->Value, argv[3]);
  node = node->Next;
  EXPECT_EQ(node->Name, kTable[2].FlagText);
  EXPECT_EQ(node->Value, argv[4] + 2);
  EXPECT_EQ(package.PlainArgs->Value, argv[5]);
}

// How the shell saw "/q" typed decides whether it is a flag: only a word
// that is unmarked, or partly quoted without its first part, is judged by
// its first character.
TEST_F(VarCheckTest, ArgInfoBitsMakeAFlagLookingArgumentPlain) {
  for (UINT32 bits = 0; bits < 16; ++bits) {
    SCOPED_TRACE("ArgInfo " + std::to_string(bits));
    bool flag = bits == 0 || bits == ARG_PARTIALLY_QUOTED || bits == (ARG_IS_QUOTED | ARG_PARTIALLY_QUOTED);
    ASSERT_EQ(Check({u"/q"}, kAppTable, {bits}), FlagCheckOk);
    EXPECT_EQ(Flags(), flag ? "/q@1" : "");
    EXPECT_EQ(Plain(), flag ? "" : "/q@1");
    LibFreeCheckPackage(&package);
  }
}

TEST_F(VarCheckTest, ArgInfoWordsGoWithTheirOwnArgument) {
  ASSERT_EQ(Check({u"/q", u"/q", u"-x"}, kAppTable, {ARG_IS_QUOTED, 0, ARG_FIRST_CHAR_IS_ESC}), FlagCheckOk);
  EXPECT_EQ(Flags(), "/q@2");
  EXPECT_EQ(Plain(), "/q@1 -x@3");
}

TEST_F(VarCheckTest, FindFlagIgnoresCaseAndSearchesOnlyFlags) {
  ASSERT_EQ(Check({u"/Q", u"-b", u"-o", u"v", u"x"}), FlagCheckOk);
  EXPECT_EQ(LibFindFlag(&package, u"/q"), package.Flags);
  EXPECT_EQ(LibFindFlag(&package, u"-b"), package.Flags->Next);
  EXPECT_EQ(LibFindFlag(&package, u"-O"), package.Flags->Next->Next);
  EXPECT_EQ(LibFindFlag(&package, u"x"), nullptr);
  EXPECT_EQ(LibFindFlag(&package, u"/"), nullptr);
}

// Each node is one zero-filled pool block; a failing allocation stops the
// check with what it has gathered, all of which the free releases.
TEST_F(VarCheckTest, AllocationFailureAtEachNode) {
  shell.SetArguments({u"cmd", u"a", u"/q", u"-o", u"v", u"b", u"-b1"});
  // What is gathered when allocation N (1 to 5) fails; entry 0 is not used.
  const std::vector<std::string> flagsBefore = {"", "", "", "/q@2", "/q@2 -o=v@3", "/q@2 -o=v@3"};
  const std::vector<std::string> plainBefore = {"", "", "a@1", "a@1", "a@1", "a@1 b@5"};
  size_t blocks = fw.LiveBlockCount();
  for (size_t failing = 1; failing <= 5; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
    fw.FailAllocation(failing);
    EXPECT_EQ(LibCheckFlags(&shell.Interface(), kTable, &package, &useful), FlagCheckNoMemory);
    fw.StopFailingAllocations();
    EXPECT_EQ(Useful(), kNone);
    EXPECT_EQ(Flags(), flagsBefore[failing]);
    EXPECT_EQ(Plain(), plainBefore[failing]);
    LibFreeCheckPackage(&package);
    EXPECT_EQ(fw.LiveBlockCount(), blocks) << fw.DescribeLiveBlocks();
  }
  size_t callsBefore = fw.AllocationCalls();
  ASSERT_EQ(LibCheckFlags(&shell.Interface(), kTable, &package, &useful), FlagCheckOk);
  EXPECT_EQ(fw.AllocationCalls() - callsBefore, 5u);
  EXPECT_EQ(fw.LiveBlockCount(), blocks + 5);
}

TEST_F(VarCheckTest, ItemOfAnotherKindIsReportedAndRefused) {
  const FlagCheckItem table[] = {
      {u"/z", 0x1, 0, FlagKind(7)},
      {nullptr, 0, 0, KindSwitch},
  };
  EXPECT_EQ(Check({u"a", u"/Z"}, table), FlagCheckUnknown);
  EXPECT_EQ(Useful(), "/Z");
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0].File, "Shell/Library/VarCheck");
  EXPECT_EQ(asserts[0].Condition, "((BOOLEAN) (0 == 1))");
}

// Case is ignored through the collation in use, not by folding of our own.
INTN EFIAPI ExactStriColl(const EFI_UNICODE_COLLATION_PROTOCOL*, const CHAR16* s1, const CHAR16* s2) {
  return std::u16string(s1).compare(s2);
}

TEST_F(VarCheckTest, IgnoresCaseThroughTheSelectedCollation) {
  EFI_UNICODE_COLLATION_PROTOCOL exact = FallbackCollation;
  exact.StriColl = &ExactStriColl;
  LibCollation = &exact;
  EXPECT_EQ(Check({u"/Q"}, kAppTable), FlagCheckUnknown);
  LibFreeCheckPackage(&package);
  EXPECT_EQ(Check({u"/q"}, kAppTable), FlagCheckOk);
}

TEST_F(VarCheckTest, PrefixMatchIsExactOnUnits) {
  EXPECT_TRUE(LibFlagPrefixMatch(u"-b", u"-b9600"));
  EXPECT_TRUE(LibFlagPrefixMatch(u"", u"x"));
  EXPECT_FALSE(LibFlagPrefixMatch(u"-b", u"-"));
  EXPECT_FALSE(LibFlagPrefixMatch(u"\u00e9", u"\u00c9"));
}

TEST_F(VarCheckTest, NullParametersAreReported) {
  shell.SetArguments({u"cmd"});
  LibCheckFlags(nullptr, kTable, &package, &useful);
  LibCheckFlags(&shell.Interface(), nullptr, &package, &useful);
  LibCheckFlags(&shell.Interface(), kTable, nullptr, &useful);
  LibCheckFlags(&shell.Interface(), kTable, &package, nullptr);
  LibFindFlag(nullptr, u"/q");
  LibFindFlag(&package, nullptr);
  LibFlagPrefixMatch(nullptr, u"x");
  LibFlagPrefixMatch(u"x", nullptr);
  LibFreeCheckPackage(nullptr);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  std::vector<std::string> conditions;
  for (const auto& record : asserts) {
    conditions.push_back(record.Condition);
    EXPECT_EQ(record.File, "Shell/Library/VarCheck");
  }
  EXPECT_EQ(conditions, (std::vector<std::string>{"si != ((void *) 0)", "CheckList != ((void *) 0)",
                                                  "ChkPck != ((void *) 0)", "Useful != ((void *) 0)", "ChkPck",
                                                  "FlagStr", "FlagName", "CmdVar", "ChkPck != ((void *) 0)"}));
}

}  // namespace
