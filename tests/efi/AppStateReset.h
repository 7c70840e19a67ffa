// Puts the application's globals (run state, boot services, HII handle) and
// the HII support's lookup state back to their load-time values, so that
// the application's entry can run again in the same process: between host
// test cases, and between the inputs of a fuzz target.
#ifndef QORVEX_TESTS_EFI_APP_STATE_RESET_H
#define QORVEX_TESTS_EFI_APP_STATE_RESET_H

#include "HiiSupport.h"
#include "Messages.h"
#include "UefiBinding.h"
#include "run_state.h"

inline void ResetAppState() {
  reset_run_state();
  AppBootServices = nullptr;
  AppHiiHandle = nullptr;
  LibHiiDatabase = nullptr;
  LibHiiString = nullptr;
  LibHiiProtocolsFound = FALSE;
  LibAppStringsRegistered = FALSE;
  LibAppStringsHandle = nullptr;
}

#endif  // QORVEX_TESTS_EFI_APP_STATE_RESET_H
