// One conversion of a dump stream into a VKF stream.
#ifndef QORVEX_CORE_CONVERSION_RUN_H
#define QORVEX_CORE_CONVERSION_RUN_H

#include <stdint.h>

#include "binding.h"

enum RunOutcome {
  RunCompleted,     // Every line was read; see write_status for the VKF side.
  RunDumpTooShort,  // The dump holds fewer than 2 bytes; nothing was printed.
  RunReadError,     // The first read failed; read_status holds its status.
};

struct RunResult {
  RunOutcome outcome;
  uint64_t read_status;   // Status of the failed read for RunReadError, else 0.
  uint64_t write_status;  // Status of the first failed VKF write, 0 when all succeeded.
};

// Converts `dump` into `vkf`. Both streams are positioned to 0 first; the
// dump's first two bytes choose UTF-16LE (bytes FF FE, consumed) or 8-bit
// text. `line_buffer` is the caller's buffer of kLineBufferSize bytes. Unless
// `quiet`, the console gets the progress message, one trace per record and
// the done message. A record whose write fails does not stop the run: the
// remaining records are still written, and the first failure is returned.
RunResult run_conversion(CoreStream* dump, CoreStream* vkf, char* line_buffer, bool quiet,
                         const ConsoleOps* console);

#endif  // QORVEX_CORE_CONVERSION_RUN_H
