// The gtest fixture for library tests on the fake firmware, and the reset of
// library state between tests.
//
//   class MyTest : public fake::FirmwareTest {};
//   TEST_F(MyTest, Something) { ... fw ... }
//
// SetUp resets the library globals to their load-time values and then
// attaches the library to the fake firmware as start-up would (system table,
// boot and runtime services, debug-assert protocol). A test of start-up
// itself calls fake::ResetLibraryGlobals() again to begin from load time.
//
// TearDown runs the firmware's test-end hooks and then fails the test when
// pool blocks are still live that the test did not MarkOwned, or when
// assertion reports arrived that the test did not take (TakeAsserts).
#ifndef QORVEX_TESTS_FAKE_FIRMWARE_TEST_H
#define QORVEX_TESTS_FAKE_FIRMWARE_TEST_H

#include <gtest/gtest.h>

#include "FakeFirmware.h"

namespace fake {

// Sets every library global to its load-time value (LibResetGlobals) and
// runs the registered state resets.
void ResetLibraryGlobals();

// Sets the library globals as a completed start-up would on Firmware (the
// collation stays the fallback, no shell interfaces).
void AttachLibrary(FakeFirmware& Firmware);

// State of the code under test beyond the library (the application's own
// globals) is reset by a function registered here, from the test file that
// needs it:
//   QORVEX_FAKE_STATE_RESET(ResetAppState);
using StateReset = void (*)();
bool RegisterStateReset(StateReset Reset);

#define QORVEX_FAKE_STATE_RESET_CAT2(a, b) a##b
#define QORVEX_FAKE_STATE_RESET_CAT(a, b) QORVEX_FAKE_STATE_RESET_CAT2(a, b)
#define QORVEX_FAKE_STATE_RESET(Function) \
  static const bool QORVEX_FAKE_STATE_RESET_CAT(qorvexFakeStateReset, __LINE__) = ::fake::RegisterStateReset(Function)

// Runs Run once for each pool allocation it makes, with that allocation
// failing: N = 1, 2, ... until a run makes fewer than N allocations (that
// last run is a clean one, left to the test to check). After every run that
// reached its failure, the live pool blocks must be exactly those of before
// the run, so Run must release whatever its routine returned. Returns the
// number of runs in which the failure was reached.
size_t FailEachAllocation(FakeFirmware& Firmware, const std::function<void(size_t Failing)>& Run);

class FirmwareTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  FakeFirmware fw;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FIRMWARE_TEST_H
