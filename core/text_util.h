// Small 8-bit string routines of the core. The core cannot use the C
// library, so it carries the few it needs; names differ from libc's on purpose.
#ifndef QORVEX_CORE_TEXT_UTIL_H
#define QORVEX_CORE_TEXT_UTIL_H

#include <stddef.h>
#include <stdint.h>

// Number of characters before the terminating NUL.
size_t text_length(const char* text);

// True when both strings are equal, folding only the letters A to Z.
bool text_equal_ignoring_case(const char* left, const char* right);

// Index of the first / last `wanted` among the `length` characters at
// `text` (NUL characters included), or `length` when there is none.
size_t find_char(const char* text, size_t length, char wanted);
size_t find_last_char(const char* text, size_t length, char wanted);

// Copies at most `count` characters of `source` into `target`, stopping
// early at a NUL. Does not terminate `target`: callers pass zeroed buffers.
void copy_text(char* target, const char* source, size_t count);

// A newly allocated, zero-filled copy of `text`, or null when out of memory.
char* duplicate_text(const char* text);

// Word-at-a-time scanning: a 64-bit word holds eight 8-bit or four 16-bit
// (UTF-16LE) characters, loaded in memory order (every target of the core
// is little-endian), so that ordinary text is passed over a word at a time.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "a 16-bit lane of a word must be one UTF-16LE character");

inline uint64_t load_word(const uint8_t* bytes) {
  uint64_t word;
  // A copy of fixed size compiles to one load, also freestanding.
  __builtin_memcpy(&word, bytes, sizeof(word));
  return word;
}

// `character` in every `width`-byte lane of a word.
constexpr uint64_t repeated_character(uint16_t character, size_t width) {
  return (width == 1 ? 0x0101010101010101ull : 0x0001000100010001ull) * character;
}

// The top bit of every zero `width`-byte lane of `word`, and possibly of
// lanes above one: only a zero lane borrows in the subtraction while its own
// top bit is clear, and its borrow may spill into the lanes above it. So the
// mask is 0 exactly when no lane is zero, and its lowest bit marks the first
// zero lane. To find a character c, look for zero in word ^ repeated_character(c, width).
constexpr uint64_t zero_lanes(uint64_t word, size_t width) {
  const uint64_t ones = repeated_character(1, width);
  return (word - ones) & ~word & (ones << (8 * width - 1));
}

// Index of the lane of the lowest bit of a non-zero zero_lanes() mask.
inline size_t first_lane(uint64_t mask, size_t width) {
  return static_cast<size_t>(__builtin_ctzll(mask)) / (8 * width);
}

#endif  // QORVEX_CORE_TEXT_UTIL_H
