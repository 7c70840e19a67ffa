// The fake firmware as the fuzz targets use it: a fresh instance for every
// input, and the fakes' own complaints (a handle used after it was closed,
// a pool block freed twice, a handle left open) turned into findings: this
// library's LLVMFuzzerInitialize makes every failure that the fakes report
// through gtest abort the run.
#ifndef QORVEX_TESTS_FUZZ_FUZZ_FIRMWARE_H
#define QORVEX_TESTS_FUZZ_FUZZ_FIRMWARE_H

#include <string>

#include "FakeFirmware.h"

namespace fuzz {

// Puts the library's and the application's globals back to their load-time
// values and attaches the library to Firmware, as the host tests do before
// each case.
void StartOnFirmware(fake::FakeFirmware& Firmware);

// Ends an input: checks that no pool block is left and no unexpected
// assertion was reported (unless Failing, when an allocation was made to
// fail and the library reports that), then detaches the globals.
void EndOnFirmware(fake::FakeFirmware& Firmware, bool Failing, const std::string& Context);

// UCS-2 from 8-bit text, each byte one unit.
std::u16string Widened(const std::string& Text);

}  // namespace fuzz

#endif  // QORVEX_TESTS_FUZZ_FUZZ_FIRMWARE_H
