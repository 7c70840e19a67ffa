// Memory and VKF text formatting of the core, bound to the C runtime.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "binding.h"

void* alloc_zeroed(size_t size) { return calloc(1, size); }

void release_memory(void* block) { free(block); }

void clear_memory(void* block, size_t size) { memset(block, 0, size); }

size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key,
                       const char* value) {
  if (size == 0) return 0;
  int length = section == nullptr
                   ? snprintf(buffer, size, "%s = %s\r\n", key, value)
                   : snprintf(buffer, size, "[%s]\r\n%s = %s\r\n", section, key, value);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size - 1;
}
