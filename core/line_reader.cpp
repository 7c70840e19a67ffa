#include "line_reader.h"

#include <stdint.h>

#include "run_state.h"

namespace {

// Characters per read request plus one, as the chunked reading is laid out.
constexpr size_t kChunkCharacters = 81;
constexpr uint16_t kLineFeed = 10;

// Value of the character at `index` of a chunk of `width`-byte characters.
uint16_t character_at(const uint8_t* bytes, size_t index, size_t width) {
  if (width == 1) return bytes[index];
  return static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Index of the first line feed among the `characters` of a chunk, or
// `characters` when there is none before the end or before a NUL character.
size_t find_line_feed(const uint8_t* bytes, size_t characters, size_t width) {
  for (size_t i = 0; i < characters; ++i) {
    uint16_t c = character_at(bytes, i, width);
    if (c == kLineFeed) return i;
    if (c == 0) break;
  }
  return characters;
}

}  // namespace

size_t read_line(char* buffer, size_t capacity, CoreStream* stream, uint64_t* stream_status) {
  const size_t width = text_is_8bit ? 1 : 2;
  uint64_t ignored = kStreamSuccess;
  uint64_t& status = stream_status != nullptr ? *stream_status : ignored;
  status = kStreamSuccess;
  if (buffer == nullptr || stream == nullptr || stream->ops == nullptr || capacity < 2) return 0;

  uint64_t line_start = 0;
  status = stream->ops->get_position(stream->handle, &line_start);
  if (status != kStreamSuccess) return 0;

  // The chunk never exceeds 81 characters of 2 bytes, so it can live on the stack.
  uint8_t chunk[kChunkCharacters * 2];
  const size_t chunk_characters = capacity < kChunkCharacters ? capacity : kChunkCharacters;
  const size_t limit = capacity - 1;
  size_t count = 0;
  bool line_feed_found = false;

  while (!line_feed_found && count < limit) {
    size_t wanted = chunk_characters - 1;
    if (limit - count < wanted) wanted = limit - count;
    size_t got = wanted * width;
    status = stream->ops->read(stream->handle, chunk, &got);
    if (status != kStreamSuccess || got == 0) break;

    size_t consumed = got;
    size_t line_feed = find_line_feed(chunk, got / width, width);
    if (line_feed < got / width) {
      line_feed_found = true;
      consumed = (line_feed + 1) * width;
      // Step back over what was read past the line feed.
      if (consumed != got) {
        status = stream->ops->set_position(stream->handle, line_start + count * width + consumed);
      }
    }
    for (size_t i = 0; i < consumed / width; ++i) buffer[count + i] = static_cast<char>(chunk[i * width]);
    count += consumed / width;
  }

  if (count == 0) return 0;
  buffer[count] = '\0';
  return count;
}
