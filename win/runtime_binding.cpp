// Memory and VKF text formatting of the core, bound to the C runtime.
#include <stdlib.h>
#include <string.h>

#include "binding.h"

void* alloc_zeroed(size_t size) { return calloc(1, size); }

void release_memory(void* block) { free(block); }

void clear_memory(void* block, size_t size) { memset(block, 0, size); }

namespace {

// Appends `text` to the `buffer` of `size` bytes at `*length`, keeping room
// for the terminating NUL. Returns false when `text` did not fit whole.
bool append(char* buffer, size_t size, size_t* length, const char* text) {
  for (; *text != '\0' && *length + 1 < size; ++text) buffer[(*length)++] = *text;
  return *text == '\0';
}

}  // namespace

// Produces exactly what snprintf does with "[%s]\r\n%s = %s\r\n" (or
// "%s = %s\r\n" without a section) without the cost of parsing the format
// for every record; a text that does not fit gives 0.
size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key,
                       const char* value) {
  if (size == 0) return 0;
  size_t length = 0;
  bool whole = true;
  if (section != nullptr) {
    whole = append(buffer, size, &length, "[") && append(buffer, size, &length, section) &&
            append(buffer, size, &length, "]\r\n");
  }
  whole = whole && append(buffer, size, &length, key) && append(buffer, size, &length, " = ") &&
          append(buffer, size, &length, value) && append(buffer, size, &length, "\r\n");
  if (!whole) length = 0;
  buffer[length] = '\0';
  return length;
}
