#include "FuzzFirmware.h"

#include <gtest/gtest.h>

#include "AppStateReset.h"
#include "FirmwareTest.h"
#include "FuzzCheck.h"

namespace fuzz {

namespace {

class AbortOnFailure : public ::testing::EmptyTestEventListener {
  void OnTestPartResult(const ::testing::TestPartResult& Result) override {
    if (Result.failed()) Fail("the fake firmware reported a failure", Result.summary());
  }
};

}  // namespace

void StartOnFirmware(fake::FakeFirmware& Firmware) {
  fake::ResetLibraryGlobals();
  ResetAppState();
  fake::AttachLibrary(Firmware);
}

void EndOnFirmware(fake::FakeFirmware& Firmware, bool Failing, const std::string& Context) {
  Firmware.RunTestEndHooks();
  FUZZ_CHECK(Firmware.UnownedLiveBlockCount() == 0, Context + "\npool blocks left:\n" + Firmware.DescribeLiveBlocks());
  std::vector<fake::AssertRecord> asserts = Firmware.TakeAsserts();
  FUZZ_CHECK(Failing || asserts.empty(), Context + "\nassertion report: " + asserts.front().File + ":" +
                                             std::to_string(asserts.front().Line) + ": " + asserts.front().Condition);
  fake::ResetLibraryGlobals();
  ResetAppState();
}

std::u16string Widened(const std::string& Text) {
  std::u16string units;
  for (unsigned char c : Text) units.push_back(c);
  return units;
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::testing::UnitTest::GetInstance()->listeners().Append(new fuzz::AbortOnFailure);
  return 0;
}
