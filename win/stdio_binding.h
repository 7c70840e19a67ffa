// Binds the conversion core's streams to the C runtime's FILE functions and
// its console messages to printf. (Memory and VKF text formatting are bound
// in runtime_binding.cpp.)
#ifndef QORVEX_WIN_STDIO_BINDING_H
#define QORVEX_WIN_STDIO_BINDING_H

#include <stdint.h>
#include <stdio.h>

#include "binding.h"

// An open FILE together with its byte position and a read-ahead window.
//
// The dump is read 80 characters at a time and stepped back to just after
// each line feed. Asked of the runtime, that costs a position query and a
// seek (each a system call) per line, which dominated the run time. So the
// binding reads ahead in large blocks, counts the position itself and moves
// inside the block it holds; only a move outside it reaches the runtime.
// Every read, write and seek goes through the binding, so the count is exact.
constexpr size_t kReadAheadSize = 32 * 1024;

struct StdioFile {
  FILE* file;
  uint64_t window_start;  // Position of read_ahead[0]; the FILE stands at its end.
  size_t window_length;   // Valid bytes in read_ahead.
  size_t window_offset;   // Current position inside the window.
  uint8_t read_ahead[kReadAheadSize];
};

// Sets `stream` up for `file`, which must be positioned at byte 0 (freshly
// opened), and returns the core's view of it.
CoreStream make_stdio_stream(StdioFile* stream, FILE* file);

// Console callbacks that print the run's messages to standard output.
ConsoleOps make_stdio_console();

#endif  // QORVEX_WIN_STDIO_BINDING_H
