// Reads the dump one text line at a time, as 8-bit text whatever the
// dump's encoding (the run state's text_is_8bit selects 8-bit or UTF-16LE).
#ifndef QORVEX_CORE_LINE_READER_H
#define QORVEX_CORE_LINE_READER_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"

// Characters of one line the run reads at most (plus the terminating NUL).
constexpr size_t kLineBufferSize = 256;

// Stores the next line of `stream` in `buffer`, including its CR and LF when
// they fit, and NUL-terminates it. A line longer than capacity - 1
// characters comes back in pieces. Of a UTF-16LE character only the low byte
// is kept. Reads at most 80 characters per request and leaves the stream
// positioned just after the returned line's line feed, so it never consumes
// more of the dump than the line it returns.
//
// Returns the number of characters stored; 0 means no more lines, a missing
// argument, a capacity below 2, or a failed stream operation. A read that
// fails in the middle of a line ends the line with what was read so far.
// When `stream_status` is given it receives kStreamSuccess, or the status
// of the stream operation that failed: a line returned together with a
// failure may be incomplete, and the lines after it may start in the wrong
// place, so a caller that must not cut records stops there.
size_t read_line(char* buffer, size_t capacity, CoreStream* stream,
                 uint64_t* stream_status = nullptr);

#endif  // QORVEX_CORE_LINE_READER_H
