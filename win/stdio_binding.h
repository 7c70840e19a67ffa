// Binds the conversion core to the C runtime's standard input/output:
// streams on FILE, memory on malloc/free, VKF text on snprintf and the run's
// console messages on printf.
#ifndef QORVEX_WIN_STDIO_BINDING_H
#define QORVEX_WIN_STDIO_BINDING_H

#include <stdint.h>
#include <stdio.h>

#include "binding.h"

// An open FILE together with its byte position. The binding counts the
// position itself instead of asking the runtime for it on every line: a
// position query costs a system call per line, and the count is exact
// because every read, write and seek goes through the binding.
struct StdioFile {
  FILE* file;
  uint64_t position;
};

// Wraps `file`, which must be positioned at byte 0 (freshly opened).
CoreStream make_stdio_stream(StdioFile* file);

// Console callbacks that print the run's messages to standard output.
ConsoleOps make_stdio_console();

#endif  // QORVEX_WIN_STDIO_BINDING_H
