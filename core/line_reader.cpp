#include "line_reader.h"

#include <stdint.h>

#include "run_state.h"
#include "text_util.h"

namespace {

// Characters of a line looked at in one step, from the start of the line.
constexpr size_t kStepCharacters = 80;
constexpr uint16_t kLineFeed = 10;

size_t smaller(size_t a, size_t b) { return a < b ? a : b; }

// The functions below are instantiated for characters of kWidth bytes: 1
// for 8-bit text, 2 for UTF-16LE.

// Index of the first line feed or NUL among `count` characters, or `count`.
template <size_t kWidth>
size_t find_line_stop(const uint8_t* bytes, size_t count) {
  return find_either<kWidth>(bytes, count, kLineFeed, 0);
}

// How much of the characters at hand the line starting there takes.
struct LineExtent {
  size_t characters;  // Characters of the line among those at hand.
  size_t missing;     // Characters that must still be read to know where it ends; 0 when known.
  size_t first_nul;   // Index of the line's first NUL character; `characters` when it has none.
};

// Finds the end of the line that starts at `bytes`, of which `available`
// characters are at hand, step by step (see line_reader.h). The first
// stop of the search that is no line feed is the line's first NUL: every
// step before it had neither.
template <size_t kWidth>
LineExtent find_line_extent(const uint8_t* bytes, size_t available, size_t limit) {
  size_t count = 0;
  size_t first_nul = limit;
  while (count < limit) {
    const size_t step = smaller(kStepCharacters, limit - count);
    const size_t present = smaller(step, available - count);
    const size_t stop = find_line_stop<kWidth>(bytes + count * kWidth, present);
    if (stop < present && character_at<kWidth>(bytes, count + stop) == kLineFeed) {
      return LineExtent{count + stop + 1, 0, smaller(first_nul, count + stop + 1)};
    }
    if (stop < present) first_nul = smaller(first_nul, count + stop);
    if (present < step) {
      return LineExtent{count + present, step - present, smaller(first_nul, count + present)};
    }
    count += step;
  }
  return LineExtent{count, 0, first_nul};
}

// Stores the low bytes of the eight UTF-16LE characters at `bytes` at
// `buffer`; returns the index of the first that is 0, or 8.
size_t narrow_eight(char* buffer, const uint8_t* bytes) {
  typedef uint8_t LowBytes __attribute__((vector_size(8)));
  VectorOf<2>::Type characters;
  __builtin_memcpy(&characters, bytes, sizeof(characters));
  const LowBytes low = __builtin_convertvector(characters, LowBytes);
  __builtin_memcpy(buffer, &low, sizeof(low));
  const auto zero = low == 0;
  uint64_t zero_bytes;
  __builtin_memcpy(&zero_bytes, &zero, sizeof(zero_bytes));
  return zero_bytes == 0 ? 8 : static_cast<size_t>(__builtin_ctzll(zero_bytes)) / 8;
}

// Stores the low byte of each of `count` UTF-16LE characters in `buffer`,
// eight at a time, and returns the index of the first that is 0 (as it is
// for U+0000 and also for U+0100), or `count`. The last group of eight ends
// with the last character and may overlap the one before, whose characters
// it stores again alike and which held no 0 unless one was found already.
size_t narrow_characters(char* buffer, const uint8_t* bytes, size_t count) {
  size_t first_nul = count;
  if (count < 8) {
    for (size_t i = 0; i < count; ++i) {
      buffer[i] = static_cast<char>(bytes[2 * i]);
      if (buffer[i] == '\0' && first_nul == count) first_nul = i;
    }
    return first_nul;
  }
  for (size_t i = 0; i < count; i += 8) {
    const size_t group = i + 8 <= count ? i : count - 8;
    const size_t zero = narrow_eight(buffer + group, bytes + 2 * group);
    if (zero != 8 && first_nul == count) first_nul = group + zero;
  }
  return first_nul;
}

// Keeps the unread bytes, moved to the front of the window, and appends as
// many bytes of the stream as fit.
uint64_t refill_window(LineReader* reader) {
  const size_t kept = reader->end - reader->begin;
  if (reader->begin != 0) __builtin_memmove(reader->window, reader->window + reader->begin, kept);
  reader->begin = 0;
  reader->end = kept;
  size_t got = reader->window_size - kept;
  uint64_t status = reader->stream->ops->read(reader->stream->handle, reader->window + kept, &got);
  if (status != kStreamSuccess) return status;
  if (got == 0) reader->at_end = true;
  reader->end += got;
  return kStreamSuccess;
}

// Finds the next line of at most `limit` characters, filling the window
// until its end is known, and takes it out of the window;
// `line` receives where it starts there and `extent` how far it reaches.
// After a failed read the line ends with the characters at hand.
template <size_t kWidth>
void take_from_window(LineReader* reader, size_t limit, const uint8_t** line, LineExtent* extent, uint64_t* status) {
  *status = kStreamSuccess;
  for (;;) {
    *line = reader->window + reader->begin;
    const size_t available = (reader->end - reader->begin) / kWidth;
    *extent = find_line_extent<kWidth>(*line, available, limit);
    if (extent->missing == 0 || reader->at_end || *status != kStreamSuccess) {
      reader->begin += extent->characters * kWidth;
      return;
    }
    *status = refill_window(reader);
  }
}

// Stores the line's characters in `buffer` as 8-bit text, NUL-terminated;
// returns its length as a C string.
template <size_t kWidth>
size_t store_line(char* buffer, const uint8_t* line, const LineExtent& extent) {
  buffer[extent.characters] = '\0';
  if (kWidth == 1) {
    __builtin_memcpy(buffer, line, extent.characters);
    return extent.first_nul;
  }
  return narrow_characters(buffer, line, extent.characters);
}

}  // namespace

void start_line_reader(LineReader* reader, CoreStream* stream, uint8_t* window, size_t window_size) {
  reader->stream = stream;
  reader->window = window;
  reader->window_size = window_size;
  reader->begin = 0;
  reader->end = 0;
  reader->at_end = false;
}

DumpLine next_line(LineReader* reader, char* buffer, uint64_t* stream_status) {
  constexpr size_t kLimit = kLineBufferSize - 1;
  const uint8_t* line = nullptr;
  LineExtent extent;
  if (text_is_8bit) {
    // 8-bit text is its own narrow copy: the line is used where it lies.
    take_from_window<1>(reader, kLimit, &line, &extent, stream_status);
    return DumpLine{reinterpret_cast<const char*>(line), extent.characters, extent.first_nul};
  }
  take_from_window<2>(reader, kLimit, &line, &extent, stream_status);
  return DumpLine{buffer, extent.characters, store_line<2>(buffer, line, extent)};
}
