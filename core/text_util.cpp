#include "text_util.h"

#include "binding.h"

bool text_equal_ignoring_case(const char* left, const char* right) {
  for (; *left != '\0' || *right != '\0'; ++left, ++right) {
    if (fold_ascii(*left) != fold_ascii(*right)) return false;
  }
  return true;
}

size_t find_char(const char* text, size_t length, char wanted) {
  const uint8_t c = static_cast<uint8_t>(wanted);
  return find_either<1>(reinterpret_cast<const uint8_t*>(text), length, c, c);
}

size_t find_last_char(const char* text, size_t length, char wanted) {
  for (size_t i = length; i > 0; --i) {
    if (text[i - 1] == wanted) return i - 1;
  }
  return length;
}

char* duplicate_text(const char* text, size_t length) {
  char* copy = static_cast<char*>(alloc_zeroed(length + 1));
  if (copy == nullptr) return nullptr;
  __builtin_memcpy(copy, text, length);
  return copy;
}
