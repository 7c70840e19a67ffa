// Small 8-bit string routines of the core. The core cannot use the C
// library, so it carries the few it needs; names differ from libc's on purpose.
#ifndef QORVEX_CORE_TEXT_UTIL_H
#define QORVEX_CORE_TEXT_UTIL_H

#include <stddef.h>
#include <stdint.h>

// Number of characters before the terminating NUL (also at compile time).
constexpr size_t text_length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

// `c` with the letters a to z folded to A to Z; every other byte as it is.
constexpr char fold_ascii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when both strings are equal, folding only the letters A to Z.
bool text_equal_ignoring_case(const char* left, const char* right);

// Index of the first / last `wanted` among the `length` characters at
// `text` (NUL characters included), or `length` when there is none.
size_t find_char(const char* text, size_t length, char wanted);
size_t find_last_char(const char* text, size_t length, char wanted);

// A newly allocated, zero-filled copy of the `length` characters at `text`
// with a NUL after them, or null when out of memory.
char* duplicate_text(const char* text, size_t length);

// The value of the character at `index` of characters of kWidth bytes:
// 8-bit text (1) or UTF-16LE (2).
template <size_t kWidth>
uint16_t character_at(const uint8_t* bytes, size_t index) {
  if (kWidth == 1) return bytes[index];
  return static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Sixteen bytes as one vector of characters, compared all at once (a GCC and
// Clang extension: SSE2 on x86-64, plain integer code where there is none).
// A lane of a vector loaded from memory is a UTF-16LE character only on a
// little-endian machine, which every target of the core is.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a 16-bit lane of a vector must be one UTF-16LE character");
constexpr size_t kVectorBytes = 16;
template <size_t kWidth>
struct VectorOf;
template <>
struct VectorOf<1> {
  typedef uint8_t Lane;
  typedef Lane Type __attribute__((vector_size(kVectorBytes)));
};
template <>
struct VectorOf<2> {
  typedef uint16_t Lane;
  typedef Lane Type __attribute__((vector_size(kVectorBytes)));
};

// Index of the first of the 16 / kWidth characters at `bytes` that is `a`
// or `b`, or 16 / kWidth when none is.
template <size_t kWidth>
size_t find_either_in_vector(const uint8_t* bytes, uint16_t a, uint16_t b) {
  using Lane = typename VectorOf<kWidth>::Lane;
  typename VectorOf<kWidth>::Type lanes;
  __builtin_memcpy(&lanes, bytes, sizeof(lanes));
  // Each lane is all ones where it matches, all zeros elsewhere.
  const auto matches = (lanes == static_cast<Lane>(a)) | (lanes == static_cast<Lane>(b));
  uint64_t halves[2];
  __builtin_memcpy(halves, &matches, sizeof(halves));
  if (halves[0] != 0) return static_cast<size_t>(__builtin_ctzll(halves[0])) / (8 * kWidth);
  if (halves[1] != 0) return (64 + static_cast<size_t>(__builtin_ctzll(halves[1]))) / (8 * kWidth);
  return kVectorBytes / kWidth;
}

// Index of the first of the `count` characters of kWidth bytes at `bytes`
// that is `a` or `b`, or `count` when none is: a vector at a time, and the
// last characters, less than a vector, one by one.
template <size_t kWidth>
size_t find_either(const uint8_t* bytes, size_t count, uint16_t a, uint16_t b) {
  constexpr size_t kPerVector = kVectorBytes / kWidth;
  size_t i = 0;
  for (; i + kPerVector <= count; i += kPerVector) {
    const size_t found = find_either_in_vector<kWidth>(bytes + i * kWidth, a, b);
    if (found != kPerVector) return i + found;
  }
  for (; i < count; ++i) {
    const uint16_t c = character_at<kWidth>(bytes, i);
    if (c == a || c == b) return i;
  }
  return count;
}

#endif  // QORVEX_CORE_TEXT_UTIL_H
