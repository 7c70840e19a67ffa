// Reads the dump one text line at a time, as 8-bit text whatever the
// dump's encoding (the run state's text_is_8bit selects 8-bit or UTF-16LE).
//
// Where a line ends: the characters of a line are looked at in steps of at
// most 80 characters from its start. The line ends after the first line
// feed of a step unless a NUL character comes before it in that step, in
// which case the whole step belongs to the line. A line also ends
// after 255 characters (a longer one comes back in pieces) and at the end
// of the stream. Of a UTF-16LE character only the low byte is kept, and an
// odd trailing byte is dropped.
#ifndef QORVEX_CORE_LINE_READER_H
#define QORVEX_CORE_LINE_READER_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"

// Characters of one line the run reads at most (plus the terminating NUL).
constexpr size_t kLineBufferSize = 256;

// Bytes of the dump the run reads at once. So large a window is no stack
// variable (in a UEFI application, frames of a page or more would need stack
// probes that the image does not have): the run keeps it in static storage.
constexpr size_t kReadWindowSize = 32 * 1024;

// The smallest window a LineReader works with: the longest UTF-16LE line.
constexpr size_t kSmallestReadWindow = 2 * (kLineBufferSize - 1);

// Reads a dump line by line through a window of its bytes: one stream read
// fills the window for many lines.
struct LineReader {
  CoreStream* stream;
  uint8_t* window;     // The caller's buffer, window_size bytes.
  size_t window_size;  // At least kSmallestReadWindow.
  size_t begin;        // Window offset of the next line.
  size_t end;          // Bytes of the window that hold data.
  bool at_end;         // A read has found the end of the stream.
};

// Sets `reader` up to read `stream` from where the stream stands, through
// `window` of `window_size` bytes (at least kSmallestReadWindow).
void start_line_reader(LineReader* reader, CoreStream* stream, uint8_t* window, size_t window_size);

// A line handed out by next_line.
struct DumpLine {
  // Its characters: where they lie in the reader's window for 8-bit text,
  // narrowed into the caller's buffer for UTF-16LE. Not NUL-terminated in
  // the window; valid until the next call.
  const char* text;
  // How many there are; 0 when there are no more lines or a read failed.
  size_t characters;
  // How many come before the first NUL byte, all of them when there is
  // none: the line's length as a C string.
  size_t text_length;
};

// The next line, of at most kLineBufferSize - 1 characters (a longer one
// comes back in pieces), including its CR and LF. `buffer` (kLineBufferSize
// bytes) receives the narrowed characters of a UTF-16LE line,
// NUL-terminated. The stream is read ahead of the lines handed out, so its
// position is not that of the next line. `stream_status` receives
// kStreamSuccess or the status of the read that failed; a line returned
// together with a failure may be incomplete.
DumpLine next_line(LineReader* reader, char* buffer, uint64_t* stream_status);

#endif  // QORVEX_CORE_LINE_READER_H
