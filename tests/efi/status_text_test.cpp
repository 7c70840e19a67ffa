// Status, GUID and time text, on their own and through %r, %g and %t.
#include <string>
#include <tuple>
#include <vector>

#include "FakeShell.h"
#include "FirmwareTest.h"
#include "IO.h"
#include "Init.h"
#include "Misc.h"

namespace {

using fake::Narrow;

class StatusTextTest : public fake::FirmwareTest {};

std::string GuidText(const EFI_GUID& Guid) {
  CHAR16 buffer[100];
  LibGuidText(buffer, &Guid);
  return Narrow(buffer);
}

TEST_F(StatusTextTest, StatusNamesAndNumbers) {
  const std::pair<EFI_STATUS, const char*> cases[] = {
      {EFI_SUCCESS, "Success"},
      {EFI_WARN_RETURN_FROM_LONG_JUMP, "Warning Return From Long Jump"},
      {6, "00000006"},
      {EFI_LOAD_ERROR, "Load Error"},
      {EFI_TIMEOUT, "Time Out"},
      {EFI_CRC_ERROR, "CRC Error"},
      {EfiErrorCode(0x1C), "800000000000001C"},
      {EFI_ERROR_BIT, "8000000000000000"},
      {EFI_UNLOAD_IMAGE, "Unload Image"},
      {0xC000000000000002ULL, "C000000000000002"},
  };
  for (const auto& c : cases) {
    CHAR16 buffer[40];
    LibStatusText(buffer, c.first);
    EXPECT_EQ(Narrow(buffer), c.second) << std::hex << c.first;
  }
}

TEST_F(StatusTextTest, TimeText) {
  // hour, minute, year -> text
  const std::tuple<UINT8, UINT8, UINT16, const char*> cases[] = {
      {8, 24, 2026, "12/06/26  08:24a"}, {14, 5, 2026, "12/06/26  02:05p"}, {0, 30, 2000, "12/06/00  12:30a"},
      {11, 0, 1999, "12/06/99  11:00a"}, {12, 0, 2026, "12/06/26  12:00p"}, {23, 59, 2026, "12/06/26  11:59p"},
  };
  for (const auto& c : cases) {
    EFI_TIME time = fake::TimeOf(std::get<2>(c), 12, 6, std::get<0>(c), std::get<1>(c));
    CHAR16 buffer[40];
    LibTimeText(buffer, &time);
    EXPECT_EQ(Narrow(buffer), std::get<3>(c));
  }
}

TEST_F(StatusTextTest, GuidNumberFormWhileNoShellNamesIt) {
  EXPECT_EQ(GuidText(EFI_GUID{}), "00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(GuidText(gEfiDebugMaskVariableGuid), "59D1C24F-50F1-401A-B101-F33E0DAED443");
  EXPECT_EQ(fw.ServiceCallCount("LocateHandle"), 2u);  // a failed lookup is tried again

  fake::FakeShell shell(fw);
  shell.InstallOnImage();
  static CHAR16 name[] = u"ShellEnv";
  std::vector<BOOLEAN> genIds;
  shell.GetProt = [&](const EFI_GUID* Guid, BOOLEAN GenId) -> CHAR16* {
    genIds.push_back(GenId);
    return fake::SameGuid(*Guid, gEfiShellEnvironmentGuid) ? name : nullptr;
  };
  EXPECT_EQ(GuidText(gEfiShellEnvironmentGuid), "ShellEnv");
  EXPECT_EQ(GuidText(gEfiGlobalVariableGuid), "8BE4DF61-93CA-11D2-AA0D-00E098032B8C");
  EXPECT_EQ(genIds, (std::vector<BOOLEAN>{FALSE, FALSE}));
  EXPECT_EQ(LibGuidNamer, &shell.Environment());
  EXPECT_EQ(fw.ServiceCallCount("LocateHandle"), 3u);  // found once, then kept

  // A name longer than the field scratch is cut there.
  static std::u16string longName(150, u'n');
  shell.GetProt = [&](const EFI_GUID*, BOOLEAN) -> CHAR16* { return longName.data(); };
  CHAR16 buffer[200];
  EXPECT_EQ(LibFormatToBuffer(buffer, sizeof(buffer), u"[%g]", &gEfiGlobalVariableGuid), 101u);
  EXPECT_EQ(std::u16string(buffer), u"[" + longName.substr(0, 99) + u"]");
}

TEST_F(StatusTextTest, NestedRunsThroughTheDirectives) {
  EFI_TIME time = fake::TimeOf(2026, 12, 6, 8, 24);
  UINTN count =
      LibPrintConsole(u"%d %hr|%-20g|%.8t|%r\n", 7, EFI_NOT_FOUND, &gEfiShellEnvironmentGuid, &time, EFI_SUCCESS);
  EXPECT_EQ(fw.ConOut().Ascii(), "7 Not Found|47C7B221-C42A-11D2-8E57-00A0C969723B|12/06/26|Success\r\n");
  EXPECT_EQ(count, 67u);
  EXPECT_EQ(Narrow(fw.ConOut().Runs().at(1).Text), "Not Found");
  EXPECT_EQ(fw.ConOut().Runs().at(1).Attribute, 0x0Fu);

  // The nested run of %r (allocations 3 and 4) cannot have its chunk buffer:
  // the field stays empty rather than showing the previous field's text.
  fw.FailAllocation(4);
  CHAR16 buffer[64];
  EXPECT_EQ(LibFormatToBuffer(buffer, sizeof(buffer), u"%d[%r]", 12345, EFI_STATUS(6)), 7u);
  EXPECT_EQ(Narrow(buffer), "12345[]");
}

TEST_F(StatusTextTest, MissingArgumentsAreReported) {
  CHAR16 buffer[40];
  LibStatusText(nullptr, EFI_SUCCESS);
  LibGuidText(buffer, nullptr);
  LibTimeText(nullptr, nullptr);
  EXPECT_EQ(fw.TakeAssertConditions(),
            (std::vector<std::string>{"Buffer != ((void *) 0)", "Guid != ((void *) 0)", "Buffer != ((void *) 0)"}));
}

}  // namespace
