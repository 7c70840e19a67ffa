// Binds the conversion core's streams to the C runtime's FILE functions and
// its console messages to printf. (Memory and VKF text formatting are bound
// in runtime_binding.cpp.)
#ifndef QORVEX_WIN_STDIO_BINDING_H
#define QORVEX_WIN_STDIO_BINDING_H

#include <stdint.h>
#include <stdio.h>

#include "binding.h"

// An open FILE together with its byte position and a window of its bytes.
//
// Read: the core reads the dump in large blocks through a window of its own
// and moves only back to the start of a file (after looking for the byte
// order mark, for one). Asked of the runtime, seeks are system calls, so the
// binding reads ahead in large blocks, counts the position itself (a write
// goes to it, not to where the read-ahead left the FILE) and moves inside
// the block it holds; only a move outside it reaches the runtime. A read of
// half a window or more, with nothing read ahead, goes straight into the
// caller's buffer. Every read, write and seek goes through the binding, so
// the count is exact. A read that fails is told
// apart from the end of the file (ferror, not feof): the bytes that arrived
// before it are handed on, and every read after it fails with its status.
//
// Write: the core writes one record at a time. The binding gathers the
// records in the window and hands the runtime a whole window at once, which
// saves a runtime call per record and makes the system calls few and large.
// A failure of the runtime shows up in the write that hands the window on,
// or in flush_stdio_stream.
constexpr size_t kReadAheadSize = 32 * 1024;

struct StdioFile {
  FILE* file;
  uint64_t window_start;  // Position of read_ahead[0]; the FILE stands at its end.
  size_t window_length;   // Valid bytes read ahead into the window.
  size_t window_offset;   // Current position inside the bytes read ahead.
  size_t unwritten;       // Bytes written into the window, not yet handed to the FILE.
  bool read_last;         // The FILE was read last: a write must seek first.
  bool written_last;      // The FILE was written last: a read must flush first.
  uint64_t read_failure;  // A failed read whose bytes were handed on; the next read gets it.
  uint8_t read_ahead[kReadAheadSize];
};

// Sets `stream` up for `file`, which must be positioned at byte 0 (freshly
// opened), and returns the core's view of it.
CoreStream make_stdio_stream(StdioFile* stream, FILE* file);

// Hands the bytes written into the window to the FILE (which still buffers
// them: fflush follows). Returns kStreamSuccess or the runtime's failure.
uint64_t flush_stdio_stream(StdioFile* stream);

// Console callbacks that print the run's messages to standard output.
ConsoleOps make_stdio_console();

#endif  // QORVEX_WIN_STDIO_BINDING_H
