// Telling whether the VKF name reaches the open dump, as the shell
// application asks before it deletes an existing VKF file. The answer comes
// from the file system; the fake FAT answers as OVMF's driver does.
#include <string>
#include <vector>

#include "FakeConsole.h"
#include "FileIO.h"
#include "Init.h"
#include "SameFile.h"
#include "ShellDiskTest.h"

namespace {

using fake::Narrow;

class SameFileTest : public fake::ShellDiskTest {
 protected:
  void SetUp() override {
    ShellDiskTest::SetUp();
    shell.InstallOnImage();
    LibShellEnvironment = &shell.Environment();
    for (const char16_t* name :
         {u"d.txt", u"d.txt.vkf", u"longdumpname.txt", u"longdumpnote.txt", u"sub\\d.txt", u"sub\\deeper\\x.txt",
          u"xa.txt", u"xz.txt", u"x@.txt", u"x`.txt", u"x[.txt", u"x{.txt"}) {
      fs0.WriteFile(name, Narrow(name));
    }
    fs1.WriteFile(u"d.txt", "other volume");
  }

  // Opens both names as the application does.
  void Open(const std::u16string& Dump, const std::u16string& Vkf) {
    EXPECT_EQ(FileOpenByName(Dump.c_str(), &dump, kOpenForReading, 0), EFI_SUCCESS) << Narrow(Dump);
    EXPECT_EQ(FileOpenByName(Vkf.c_str(), &vkf, kOpenForWriting, 0), EFI_SUCCESS) << Narrow(Vkf);
    dumpName = Dump;
    vkfName = Vkf;
  }

  // The answer for the open pair, or "error" when none could be had.
  std::string Decide() {
    BOOLEAN same = 2;
    EFI_STATUS status = OpenFilesAreSame(dumpName.c_str(), dump, vkfName.c_str(), vkf, &same);
    EXPECT_EQ(fs.OpenHandleCount(), 2u) << "the walk must close what it opens";
    if (EFI_ERROR(status)) {
      EXPECT_EQ(same, 2) << "an undecided answer is not written";
      return "error";
    }
    return same == TRUE ? "same" : same == FALSE ? "different" : "garbage";
  }

  void Close() {
    if (dump != nullptr) FileClose(dump);
    if (vkf != nullptr) FileClose(vkf);
    dump = vkf = nullptr;
  }

  std::string Compare(const std::u16string& Dump, const std::u16string& Vkf) {
    Open(Dump, Vkf);
    std::string answer = dump != nullptr && vkf != nullptr ? Decide() : "not opened";
    Close();
    return answer;
  }

  std::u16string dumpName, vkfName;
  EFI_FILE_PROTOCOL* dump = nullptr;
  EFI_FILE_PROTOCOL* vkf = nullptr;
};

// The spellings that emptied a dump on OVMF when names were compared as
// text, and look-alikes that are other files.
TEST_F(SameFileTest, AnySpellingOfTheDumpIsTheDumpAndOtherFilesAreNot) {
  const std::pair<std::u16string, std::u16string> same[] = {
      {u"d.txt", u"d.txt"},
      {u"d.txt", u"D.TXT"},
      {u"d.txt", u"d.txt."},
      {u"d.txt", u"d.txt "},
      {u"d.txt", u"d.txt.."},
      {u"d.txt", u".\\d.txt. ."},
      {u"d.txt", u"fs0:\\d.txt"},
      {u"d.txt", u"d.txt\\."},
      {u"d.txt", u"sub\\..\\d.txt"},
      {u"longdumpname.txt", u"LONGDU~1.TXT"},
      {u"LONGDU~2.TXT", u"longdumpnote.txt"},
      {u"sub\\d.txt", u"sub\\..\\sub\\.\\d.txt."},
      {u"sub\\d.txt", u"sub\\deeper\\..\\D.TXT"},
      // The letters at both ends of the range that case folding joins.
      {u"xa.txt", u"XA.TXT"},
      {u"XZ.txt", u"xz.TXT"},
  };
  for (const auto& c : same) EXPECT_EQ(Compare(c.first, c.second), "same") << Narrow(c.first + u" " + c.second);
  const std::pair<std::u16string, std::u16string> different[] = {
      {u"d.txt", u"d.txt.vkf"},
      {u"longdumpname.txt", u"LONGDU~2.TXT"},
      {u"d.txt", u"sub\\d.txt"},
      {u"d.txt", u"fs1:\\d.txt"},
      // Just outside that range: '@' and '`' are not a letter pair, nor are '[' and '{'.
      {u"x@.txt", u"x`.txt"},
      {u"x[.txt", u"x{.txt"},
  };
  for (const auto& c : different) {
    EXPECT_EQ(Compare(c.first, c.second), "different") << Narrow(c.first + u" " + c.second);
  }
}

TEST_F(SameFileTest, ComparisonThatCannotBeMadeIsAnError) {
  fs.GetInfoFailure = EFI_DEVICE_ERROR;
  EXPECT_EQ(Compare(u"d.txt", u"d.txt"), "error");
  fs.GetInfoFailure = EFI_SUCCESS;
  std::u16string deep;
  for (UINTN i = 0; i <= kDeepestFilePath; ++i) deep += u"n\\";
  fs0.WriteFile(deep + u"f.txt", "deep");
  EXPECT_EQ(Compare(deep + u"f.txt", deep + u"F.TXT"), "error");
}

// Whatever allocation fails, the answer is right or an error, and nothing
// is left behind.
TEST_F(SameFileTest, NoPoolGivesTheRightAnswerOrAnError) {
  for (bool alike : {true, false}) {
    Open(u"sub\\d.txt", alike ? u"SUB\\D.TXT" : u"d.txt");
    size_t reached = fake::FailEachAllocation(fw, [&](size_t) {
      std::string answer = Decide();
      EXPECT_TRUE(answer == "error" || answer == (alike ? "same" : "different")) << answer;
    });
    EXPECT_GE(reached, alike ? 6u : 2u);
    Close();
  }
}

}  // namespace
