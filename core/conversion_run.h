// One conversion of a dump stream into a VKF stream.
#ifndef QORVEX_CORE_CONVERSION_RUN_H
#define QORVEX_CORE_CONVERSION_RUN_H

#include <stdint.h>

#include "binding.h"

enum RunOutcome {
  RunCompleted,     // Every line was read and every record written; at least one record.
  RunDumpTooShort,  // The dump holds fewer than 2 bytes; nothing was printed.
  RunReadError,     // Reading the dump failed; read_status holds the stream's status.
  RunWriteError,    // A VKF write failed; write_status holds its status.
  RunOutOfMemory,   // A field line could not be converted or formatted for lack of memory.
  RunNoFields,      // The dump was read to its end and held no field line.
};

struct RunResult {
  RunOutcome outcome;
  uint64_t read_status;    // Status of the failed dump operation for RunReadError, else 0.
  uint64_t write_status;   // Status of the failed VKF write for RunWriteError, else 0.
  size_t records_written;  // Records handed whole to the VKF stream.
};

// Converts `dump` into `vkf`. Both streams are positioned to 0 first; the
// dump's first two bytes choose UTF-16LE (bytes FF FE, consumed) or 8-bit
// text. `line_buffer` is the caller's buffer of kLineBufferSize bytes. Unless
// `quiet`, the console gets the progress message and one trace per record.
// The done message is not the run's to print: the front end prints it once
// the VKF file is complete and in place.
//
// The first failure ends the run at once: a dump that cannot be read to its
// end, a write that fails or stores less than it was given, a record that
// cannot be converted or formatted for lack of memory. Nothing more is
// written after it, so the front end can discard the file: a VKF file with
// a gap must never pass for a complete one. A dump without a single field
// line is a failure too (RunNoFields): it is not a dump of the DMI editor.
RunResult run_conversion(CoreStream* dump, CoreStream* vkf, char* line_buffer, bool quiet, const ConsoleOps* console);

#endif  // QORVEX_CORE_CONVERSION_RUN_H
