// Small 8-bit string routines of the core. The core cannot use the C
// library, so it carries the few it needs; names differ from libc's on purpose.
#ifndef QORVEX_CORE_TEXT_UTIL_H
#define QORVEX_CORE_TEXT_UTIL_H

#include <stddef.h>

// Number of characters before the terminating NUL.
size_t text_length(const char* text);

// True when both strings are equal, folding only the letters A to Z.
bool text_equal_ignoring_case(const char* left, const char* right);

// First / last occurrence of `wanted` in `text`, or null.
char* find_first_char(char* text, char wanted);
char* find_last_char(char* text, char wanted);

// Copies at most `count` characters of `source` into `target`, stopping
// early at a NUL. Does not terminate `target`: callers pass zeroed buffers.
void copy_text(char* target, const char* source, size_t count);

// A newly allocated, zero-filled copy of `text`, or null when out of memory.
char* duplicate_text(const char* text);

#endif  // QORVEX_CORE_TEXT_UTIL_H
