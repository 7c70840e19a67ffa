// Puts the application's own globals (run state, boot services, HII handle)
// back to their load-time values, so that the application's entry can run
// again in the same process: between host test cases, and between the
// inputs of a fuzz target. The library's globals have LibResetGlobals.
#ifndef QORVEX_TESTS_EFI_APP_STATE_RESET_H
#define QORVEX_TESTS_EFI_APP_STATE_RESET_H

#include "Messages.h"
#include "UefiBinding.h"
#include "run_state.h"

inline void ResetAppState() {
  reset_run_state();
  AppBootServices = nullptr;
  AppHiiHandle = nullptr;
}

#endif  // QORVEX_TESTS_EFI_APP_STATE_RESET_H
