#include "runtime_binding.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Block sizes kept for reuse; a request takes the smallest that holds it.
constexpr size_t kKeptSizes[] = {16, 32, 64, 128, kLargestKeptBlock};
constexpr size_t kKeptSizeCount = sizeof(kKeptSizes) / sizeof(kKeptSizes[0]);
constexpr size_t kNotKept = kKeptSizeCount;

// Stands before every block handed out, aligned as malloc aligns, so that
// the block behind it is aligned as well.
struct alignas(alignof(max_align_t)) BlockHeader {
  size_t kept_size;        // Index into kKeptSizes, or kNotKept.
  BlockHeader* next_kept;  // The next released block of the same size.
};

BlockHeader* kept_blocks[kKeptSizeCount] = {};

size_t kept_size_of(size_t size) {
  for (size_t i = 0; i < kKeptSizeCount; ++i) {
    if (size <= kKeptSizes[i]) return i;
  }
  return kNotKept;
}

// Zero-fills at least `size` bytes of a kept block. The two smallest sizes,
// which serve nearly every request of the core, are cleared whole: a copy
// of constant size is a store or two instead of a call.
void zero_kept_block(void* block, size_t kept_size, size_t size) {
  static_assert(kKeptSizes[0] == 16 && kKeptSizes[1] == 32, "the cases below follow kKeptSizes");
  if (kept_size == 0) {
    memset(block, 0, 16);
  } else if (kept_size == 1) {
    memset(block, 0, 32);
  } else {
    memset(block, 0, size);
  }
}

// Appends `length` bytes of `text` at `*end`.
void append(char** end, const char* text, size_t length) {
  memcpy(*end, text, length);
  *end += length;
}

}  // namespace

void* alloc_zeroed(size_t size) {
  const size_t kept_size = kept_size_of(size);
  if (kept_size != kNotKept && kept_blocks[kept_size] != nullptr) {
    BlockHeader* block = kept_blocks[kept_size];
    kept_blocks[kept_size] = block->next_kept;
    zero_kept_block(block + 1, kept_size, size);
    return block + 1;
  }
  const size_t capacity = kept_size != kNotKept ? kKeptSizes[kept_size] : size;
  if (capacity > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  BlockHeader* block = static_cast<BlockHeader*>(calloc(1, sizeof(BlockHeader) + capacity));
  if (block == nullptr) return nullptr;
  block->kept_size = kept_size;
  return block + 1;
}

void release_memory(void* memory) {
  if (memory == nullptr) return;
  BlockHeader* block = static_cast<BlockHeader*>(memory) - 1;
  if (block->kept_size == kNotKept) {
    free(block);
    return;
  }
  block->next_kept = kept_blocks[block->kept_size];
  kept_blocks[block->kept_size] = block;
}

void release_kept_blocks() {
  for (BlockHeader*& list : kept_blocks) {
    while (list != nullptr) {
      BlockHeader* next = list->next_kept;
      free(list);
      list = next;
    }
  }
}

// Produces exactly what snprintf does with "[%s]\r\n%s = %s\r\n" (or
// "%s = %s\r\n" without a section) without the cost of parsing the format
// for every record; a text that does not fit gives 0 and an empty buffer.
size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key, const char* value) {
  if (size == 0) return 0;
  const size_t section_length = section != nullptr ? strlen(section) : 0;
  const size_t key_length = strlen(key);
  const size_t value_length = strlen(value);
  const size_t header_length = section != nullptr ? section_length + 4 : 0;  // "[" "]\r\n"
  const size_t length = header_length + key_length + 3 + value_length + 2;   // " = " "\r\n"
  if (length >= size) {
    buffer[0] = '\0';
    return 0;
  }
  char* end = buffer;
  if (section != nullptr) {
    append(&end, "[", 1);
    append(&end, section, section_length);
    append(&end, "]\r\n", 3);
  }
  append(&end, key, key_length);
  append(&end, " = ", 3);
  append(&end, value, value_length);
  append(&end, "\r\n", 2);
  *end = '\0';
  return length;
}
