// Debug reports: the "EFIDebug" mask, the target and the report's attribute.
#include <string>
#include <vector>

#include "FirmwareTest.h"
#include "IO.h"
#include "Init.h"

namespace {

class DebugReportTest : public fake::FirmwareTest {
 protected:
  void SetMask(std::vector<UINT8> Bytes) { fw.SetVariable(u"EFIDebug", gEfiDebugMaskVariableGuid, Bytes); }
  std::vector<UINTN> AttributeCalls() {
    std::vector<UINTN> values;
    for (const auto& call : fw.StdErr().Calls()) {
      if (call.Kind == fake::FakeConsole::CallKind::SetAttribute) values.push_back(call.Attribute);
    }
    return values;
  }
};

TEST_F(DebugReportTest, TheVariableDecidesAtEveryReport) {
  EXPECT_EQ(LibDebugReport(kDebugInfo, "LibLocateProtocol: Handle not found\n"), 0u);
  EXPECT_EQ(LibDebugReport(kDebugError, "AllocatePool: out of pool  %x\n", EFI_OUT_OF_RESOURCES), 0u);
  SetMask({0x40, 0, 0, 0, 0, 0, 0, 0});
  LibDebugReport(kDebugInfo, "info\n");
  LibDebugReport(kDebugError, "hidden\n");
  SetMask({0x40});  // a short value is zero-extended
  LibDebugReport(kDebugInfo, "short\n");
  fw.DeleteVariable(u"EFIDebug", gEfiDebugMaskVariableGuid);
  LibDebugReport(kDebugError, "error\n");
  EXPECT_EQ(fw.StdErr().Ascii(), "AllocatePool: out of pool  8000000000000009\r\ninfo\r\nshort\r\nerror\r\n");
  EXPECT_EQ(fw.GetVariableCalls(u"EFIDebug"), 6u);
  EXPECT_EQ(fw.ConOut().Calls().size(), 0u);
}

TEST_F(DebugReportTest, AttributeFollowsTheMaskAndIsRestored) {
  struct Case {
    INT32 Console;
    UINTN Mask;
    const CHAR8* Format;
    std::vector<UINTN> Attributes;  // every SetAttribute call, the restore last
  };
  const Case cases[] = {
      {0x07, kDebugError, "r", {0x0E, 0x07}}, {0x07, 0x2, "r", {0x0F, 0x07}},
      {0x1F, kDebugError, "r", {0x1E, 0x1F}}, {0x1F, kDebugInfo, "r", {0x17, 0x1F}},  // light grey on any background
      {0x70, kDebugInfo, "r", {0x77, 0x70}},  {0x07, kDebugError, "a%Hb %hs c\n", {0x0E, 0x0F, 0x0F, 0x0F, 0x07}},
  };
  SetMask({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  for (const Case& c : cases) {
    fw.StdErr().Clear();
    fw.StdErr().SetModeAttribute(c.Console);
    LibDebugReport(c.Mask, c.Format, u"x");
    EXPECT_EQ(AttributeCalls(), c.Attributes) << c.Format << " on " << c.Console;
    EXPECT_EQ(fw.StdErr().Runs().front().Attribute, c.Attributes.front());
  }
}

TEST_F(DebugReportTest, TargetIsStandardErrorElseConsoleOutput) {
  fw.DetachStdErr();
  LibDebugReport(kDebugError, "to %a\n", "ConOut");
  EXPECT_EQ(fw.ConOut().Ascii(), "to ConOut\r\n");
  EXPECT_EQ(fw.ConOut().ModeAttribute(), 0x07);
  fw.SystemTable()->ConOut = nullptr;
  EXPECT_EQ(LibDebugReport(kDebugError, "nowhere"), 0u);
  LibSystemTable = nullptr;  // before start-up
  EXPECT_EQ(LibDebugReport(kDebugError, "early"), 0u);
  EXPECT_EQ(fw.ConOut().Calls().size(), 3u);
}

// The allocator reports its failures here, and a report allocates too: a
// report whose blocks cannot be allocated must not start another one.
TEST_F(DebugReportTest, ReportWhoseBlocksCannotBeAllocatedStartsNoOther) {
  for (size_t failing : {1, 2, 3}) {  // the variable read, the scratch, the chunk buffer
    fw.StdErr().Clear();
    fw.FailAllocation(failing);
    EXPECT_EQ(LibDebugReport(kDebugError, "lost %d\n", 1), 0u);
    // Without the variable's value the default mask still lets errors through.
    EXPECT_EQ(fw.StdErr().Ascii(), failing == 1 ? "lost 1\r\n" : "") << failing;
    EXPECT_EQ(fw.StdErr().ModeAttribute(), 0x07);
    EXPECT_EQ(fw.LiveBlockCount(), 0u);
  }
  fw.StdErr().Clear();
  LibDebugReport(kDebugError, "back\n");
  EXPECT_EQ(fw.StdErr().Ascii(), "back\r\n");
}

}  // namespace
