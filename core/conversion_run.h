// One conversion of a dump stream into a VKF stream.
#ifndef QORVEX_CORE_CONVERSION_RUN_H
#define QORVEX_CORE_CONVERSION_RUN_H

#include <stdint.h>

#include "binding.h"

enum RunOutcome {
  RunCompleted,     // Every line was read; see write_status and records_lost for the VKF side.
  RunDumpTooShort,  // The dump holds fewer than 2 bytes; nothing was printed.
  RunReadError,     // Reading the dump failed; read_status holds the stream's status.
};

struct RunResult {
  RunOutcome outcome;
  uint64_t read_status;   // Status of the failed dump operation for RunReadError, else 0.
  uint64_t write_status;  // Status of the first failed VKF write, 0 when all succeeded.
  bool records_lost;      // A field line could not be converted for lack of memory.
};

// Converts `dump` into `vkf`. Both streams are positioned to 0 first; the
// dump's first two bytes choose UTF-16LE (bytes FF FE, consumed) or 8-bit
// text. `line_buffer` is the caller's buffer of kLineBufferSize bytes. Unless
// `quiet`, the console gets the progress message, one trace per record and
// the done message.
//
// A record that cannot be written or converted does not stop the run: the
// remaining records are still written, and the result says what was lost, so
// that a VKF file with a gap never passes for a complete one. A dump that
// cannot be read to its end stops the run at once (RunReadError, nothing
// more is written and the done message is not printed), since a line read
// in part would give a cut record.
RunResult run_conversion(CoreStream* dump, CoreStream* vkf, char* line_buffer, bool quiet,
                         const ConsoleOps* console);

#endif  // QORVEX_CORE_CONVERSION_RUN_H
