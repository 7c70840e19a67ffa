#include "FirmwareTest.h"

#include <vector>

#include "IO.h"
#include "Init.h"

namespace fake {

static std::vector<StateReset>& StateResets() {
  static std::vector<StateReset> resets;
  return resets;
}

bool RegisterStateReset(StateReset Reset) {
  StateResets().push_back(Reset);
  return true;
}

void ResetLibraryGlobals() {
  LibResetGlobals();
  for (StateReset reset : StateResets()) reset();
}

void AttachLibrary(FakeFirmware& Firmware) {
  LibSystemTable = Firmware.SystemTable();
  LibBootServices = Firmware.BootServices();
  LibRuntimeServices = Firmware.RuntimeServices();
  LibDebugAssert = Firmware.DebugAssert();
  LibPoolFailureHook = LibDebugReportPoolFailure;
}

size_t FailEachAllocation(FakeFirmware& Firmware, const std::function<void(size_t Failing)>& Run) {
  for (size_t failing = 1;; ++failing) {
    size_t callsBefore = Firmware.AllocationCalls();
    std::vector<const void*> blocksBefore = Firmware.LiveBlocks();
    Firmware.FailAllocation(failing);
    Run(failing);
    Firmware.StopFailingAllocations();
    if (Firmware.AllocationCalls() - callsBefore < failing) return failing - 1;
    EXPECT_EQ(Firmware.LiveBlocks(), blocksBefore) << "with allocation " << failing << " failing:\n"
                                                   << Firmware.DescribeLiveBlocks();
  }
}

void FirmwareTest::SetUp() {
  ResetLibraryGlobals();
  AttachLibrary(fw);
}

void FirmwareTest::TearDown() {
  fw.RunTestEndHooks();
  EXPECT_EQ(fw.UnownedLiveBlockCount(), 0u) << "pool blocks left at the end of the test:\n" << fw.DescribeLiveBlocks();
  for (const AssertRecord& record : fw.Asserts()) {
    ADD_FAILURE() << "unexpected assertion report: " << record.File << ":" << record.Line << ": " << record.Condition;
  }
}

}  // namespace fake
