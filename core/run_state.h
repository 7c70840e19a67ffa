// Process-wide state of the one conversion run a process performs.
#ifndef QORVEX_CORE_RUN_STATE_H
#define QORVEX_CORE_RUN_STATE_H

#include <stdint.h>

// Structure type that no field has; marks "no section header written yet".
constexpr uint8_t kNoSectionType = 255;

// True while the dump is read as 8-bit text, false for UTF-16LE. Set by the
// run from the dump's first two bytes, read by the line reader.
extern bool text_is_8bit;
// Type of the last section header written to the VKF file.
extern uint8_t last_written_type;

// Puts the two values back to their state before a run. Production code
// never calls it (one run per process); tests do between cases.
void reset_run_state();

#endif  // QORVEX_CORE_RUN_STATE_H
