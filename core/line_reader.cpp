#include "line_reader.h"

#include <stdint.h>

#include "run_state.h"
#include "text_util.h"

namespace {

// Characters per read request, from the start of a line.
constexpr size_t kRequestCharacters = 80;
constexpr uint16_t kLineFeed = 10;

size_t smaller(size_t a, size_t b) { return a < b ? a : b; }

// The functions below are instantiated for characters of kWidth bytes: 1
// for 8-bit text, 2 for UTF-16LE.

template <size_t kWidth>
uint16_t character_at(const uint8_t* bytes, size_t index) {
  if (kWidth == 1) return bytes[index];
  return static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Index of the first line feed or NUL among `count` characters, or `count`.
template <size_t kWidth>
size_t find_line_stop(const uint8_t* bytes, size_t count) {
  constexpr uint64_t kLineFeeds = repeated_character(kLineFeed, kWidth);
  constexpr size_t kPerWord = 8 / kWidth;
  size_t i = 0;
  for (; i + kPerWord <= count; i += kPerWord) {
    const uint64_t word = load_word(bytes + i * kWidth);
    const uint64_t found = zero_lanes(word, kWidth) | zero_lanes(word ^ kLineFeeds, kWidth);
    if (found != 0) return i + first_lane(found, kWidth);
  }
  for (; i < count; ++i) {
    const uint16_t c = character_at<kWidth>(bytes, i);
    if (c == kLineFeed || c == 0) return i;
  }
  return count;
}

// How much of the characters at hand the line starting there takes.
struct LineExtent {
  size_t characters;  // Characters of the line among those at hand.
  size_t missing;     // Characters that must still be read to know where it ends; 0 when known.
  size_t first_nul;   // Index of the line's first NUL character; `characters` when it has none.
  bool line_fed;      // The line ends with its line feed.
};

// Finds the end of the line that starts at `bytes`, of which `available`
// characters are at hand, request by request (see line_reader.h). The first
// stop of the search that is no line feed is the line's first NUL: every
// request before it had neither.
template <size_t kWidth>
LineExtent find_line_extent(const uint8_t* bytes, size_t available, size_t limit) {
  LineExtent extent = {0, 0, available, false};
  while (extent.characters < limit) {
    const size_t count = extent.characters;
    const size_t request = smaller(kRequestCharacters, limit - count);
    const size_t present = smaller(request, available - count);
    const size_t stop = find_line_stop<kWidth>(bytes + count * kWidth, present);
    if (stop < present && character_at<kWidth>(bytes, count + stop) == kLineFeed) {
      extent.characters = count + stop + 1;
      extent.line_fed = true;
      break;
    }
    if (stop < present && extent.first_nul == available) extent.first_nul = count + stop;
    if (present < request) {
      extent.characters = count + present;
      extent.missing = request - present;
      break;
    }
    extent.characters = count + request;
  }
  extent.first_nul = smaller(extent.first_nul, extent.characters);
  return extent;
}

template <size_t kWidth>
void copy_characters(char* buffer, const uint8_t* bytes, size_t count) {
  if (kWidth == 1) {
    __builtin_memcpy(buffer, bytes, count);
    return;
  }
  for (size_t i = 0; i < count; ++i) buffer[i] = static_cast<char>(bytes[2 * i]);
}

// How a reader asks for more: a whole window at a time, or only what the
// line needs, a request at a time.
enum class ReadAhead { kWindow, kRequest };

// Keeps the unread bytes, moved to the front of the window, and appends at
// most `size` bytes of the stream.
uint64_t refill_window(LineReader* reader, size_t size) {
  const size_t kept = reader->end - reader->begin;
  if (reader->begin != 0) __builtin_memmove(reader->window, reader->window + reader->begin, kept);
  reader->begin = 0;
  reader->end = kept;
  size_t got = size;
  uint64_t status = reader->stream->ops->read(reader->stream->handle, reader->window + kept, &got);
  if (status != kStreamSuccess) return status;
  if (got == 0) reader->at_end = true;
  reader->end += got;
  return kStreamSuccess;
}

// A line handed out by take_line.
struct TakenLine {
  size_t characters;   // Characters stored; 0 for no more lines.
  size_t text_length;  // Characters before the first NUL byte stored.
  bool line_fed;       // The line ended with its line feed.
};

// Hands out the next line of at most `limit` characters, reading as
// `read_ahead` says until its end is known. After a failed read the line
// ends with the characters at hand.
template <size_t kWidth>
TakenLine take_line(LineReader* reader, char* buffer, size_t limit, ReadAhead read_ahead,
                    uint64_t* status) {
  *status = kStreamSuccess;
  for (;;) {
    const uint8_t* line = reader->window + reader->begin;
    const size_t available = (reader->end - reader->begin) / kWidth;
    const LineExtent extent = find_line_extent<kWidth>(line, available, limit);
    if (extent.missing == 0 || reader->at_end || *status != kStreamSuccess) {
      TakenLine taken = {extent.characters, extent.first_nul, extent.line_fed};
      if (taken.characters == 0) return taken;
      copy_characters<kWidth>(buffer, line, taken.characters);
      buffer[taken.characters] = '\0';
      // Only the low byte of a UTF-16LE character is kept: U+0100 gives a NUL too.
      if (kWidth != 1) taken.text_length = find_char(buffer, taken.characters, '\0');
      reader->begin += taken.characters * kWidth;
      return taken;
    }
    const size_t size = read_ahead == ReadAhead::kWindow
                            ? kReadWindowSize - (reader->end - reader->begin)
                            : extent.missing * kWidth;
    *status = refill_window(reader, size);
  }
}

// take_line for the encoding of the run.
TakenLine take_line(LineReader* reader, char* buffer, size_t limit, ReadAhead read_ahead,
                    uint64_t* status) {
  return text_is_8bit ? take_line<1>(reader, buffer, limit, read_ahead, status)
                      : take_line<2>(reader, buffer, limit, read_ahead, status);
}

}  // namespace

void start_line_reader(LineReader* reader, CoreStream* stream) {
  reader->stream = stream;
  reader->begin = 0;
  reader->end = 0;
  reader->at_end = false;
}

size_t next_line(LineReader* reader, char* buffer, size_t* text_length, uint64_t* stream_status) {
  const TakenLine line = take_line(reader, buffer, kLineBufferSize - 1, ReadAhead::kWindow, stream_status);
  *text_length = line.text_length;
  return line.characters;
}

size_t read_line(char* buffer, size_t capacity, CoreStream* stream, uint64_t* stream_status) {
  uint64_t ignored = kStreamSuccess;
  uint64_t& status = stream_status != nullptr ? *stream_status : ignored;
  status = kStreamSuccess;
  if (buffer == nullptr || stream == nullptr || stream->ops == nullptr || capacity < 2) return 0;

  uint64_t line_start = 0;
  status = stream->ops->get_position(stream->handle, &line_start);
  if (status != kStreamSuccess) return 0;

  LineReader reader;
  start_line_reader(&reader, stream);
  const size_t limit = smaller(capacity, kLineBufferSize) - 1;
  const TakenLine line = take_line(&reader, buffer, limit, ReadAhead::kRequest, &status);
  // The request that held the line feed may have read past it: step back.
  if (status == kStreamSuccess && line.line_fed && reader.begin != reader.end) {
    status = stream->ops->set_position(stream->handle, line_start + reader.begin);
  }
  return line.characters;
}
