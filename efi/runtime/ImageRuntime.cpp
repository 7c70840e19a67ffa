// The few C library routines that the compiler may call on its own inside a
// UEFI image (structure copies and initialisations, idiomatic loops).
//
// Only image builds compile this file: on the host these names belong to the
// C library. -ffreestanding keeps the compiler from turning the loops below
// back into calls to themselves.
#include <stddef.h>

extern "C" {

void* memset(void* destination, int value, size_t size) {
  unsigned char* bytes = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(value);
  return destination;
}

void* memcpy(void* destination, const void* source, size_t size) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < size; ++i) to[i] = from[i];
  return destination;
}

void* memmove(void* destination, const void* source, size_t size) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  if (to > from && to < from + size) {
    while (size != 0) {
      --size;
      to[size] = from[size];
    }
    return destination;
  }
  for (size_t i = 0; i < size; ++i) to[i] = from[i];
  return destination;
}

int memcmp(const void* left, const void* right, size_t size) {
  const unsigned char* a = static_cast<const unsigned char*>(left);
  const unsigned char* b = static_cast<const unsigned char*>(right);
  for (size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return a[i] - b[i];
  }
  return 0;
}

}  // extern "C"
