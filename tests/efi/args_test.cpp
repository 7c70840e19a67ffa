// Removal of empty arguments from the shell's argument list.
#include <string>
#include <vector>

#include "FakeShell.h"
#include "FirmwareTest.h"
#include "Init.h"

namespace {

using fake::FakeShell;
using fake::FirmwareTest;

class DropEmptyArgsTest : public FirmwareTest {
 protected:
  void SetUp() override {
    FirmwareTest::SetUp();
    LibShellInterface = &shell.Interface();
  }
  FakeShell shell{fw};
};

TEST_F(DropEmptyArgsTest, KeepsTheOtherArgumentsWithTheirInfoWords) {
  shell.SetArguments({u"qorvex", u"", u"a.txt", u""}, {0x0, 0x1, 0x9, 0x4});
  std::vector<const void*> old = fw.LiveBlocks();
  EXPECT_EQ(LibDropEmptyArgs(), EFI_SUCCESS);
  EXPECT_EQ(shell.Arguments(), (std::vector<std::u16string>{u"qorvex", u"a.txt"}));
  EXPECT_EQ(shell.ArgInfoWords(), (std::vector<UINT32>{0x0, 0x9}));
  // Every old block (strings, both arrays) was released; the new ones are the library's.
  for (const void* block : old) EXPECT_FALSE(fw.IsLiveBlock(block));
  EXPECT_EQ(fw.FindBlock(shell.Interface().Argv)->Type, LibPoolType);
}

TEST_F(DropEmptyArgsTest, RebuildsTheListEvenWithoutEmptyArguments) {
  shell.SetArguments({u"qorvex", u"/q"}, {0, 0});
  CHAR16** oldArgv = shell.Interface().Argv;
  EXPECT_EQ(LibDropEmptyArgs(), EFI_SUCCESS);
  EXPECT_NE(shell.Interface().Argv, oldArgv);
  EXPECT_EQ(shell.Arguments(), (std::vector<std::u16string>{u"qorvex", u"/q"}));
}

TEST_F(DropEmptyArgsTest, MissingInfoWordsCountAsZero) {
  shell.SetArguments({u"qorvex", u"", u"x"});
  EXPECT_EQ(LibDropEmptyArgs(), EFI_SUCCESS);
  EXPECT_EQ(shell.Arguments(), (std::vector<std::u16string>{u"qorvex", u"x"}));
  EXPECT_EQ(shell.ArgInfoWords(), (std::vector<UINT32>{0, 0}));
}

TEST_F(DropEmptyArgsTest, FailedAllocationLeavesTheShellListUnchanged) {
  shell.SetArguments({u"qorvex", u"", u"a.txt", u"b.vkf"}, {0, 1, 0, 8});
  const CHAR16* const* argv = shell.Interface().Argv;
  size_t runs = fake::FailEachAllocation(fw, [&](size_t failing) {
    EFI_STATUS status = LibDropEmptyArgs();
    if (shell.Interface().Argv != argv) return;  // the clean run: checked below
    EXPECT_EQ(status, EFI_OUT_OF_RESOURCES) << "allocation " << failing;
    EXPECT_EQ(shell.Arguments(), (std::vector<std::u16string>{u"qorvex", u"", u"a.txt", u"b.vkf"}));
    EXPECT_EQ(shell.ArgInfoWords(), (std::vector<UINT32>{0, 1, 0, 8}));
  });
  EXPECT_EQ(runs, 5u);  // two arrays and three copies
  EXPECT_EQ(shell.Arguments(), (std::vector<std::u16string>{u"qorvex", u"a.txt", u"b.vkf"}));
}

}  // namespace
