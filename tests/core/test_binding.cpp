#include "test_binding.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

namespace {

std::set<void*>& live() {
  static std::set<void*> blocks;
  return blocks;
}
size_t fail_countdown = 0;
size_t format_fail_countdown = 0;

// The status injected for operation `number`, or success.
uint64_t injected(const std::vector<MemoryStream::Failure>& failures, size_t number) {
  for (const MemoryStream::Failure& failure : failures) {
    if (failure.number == number) return failure.status;
  }
  return kStreamSuccess;
}

uint64_t memory_read(void* handle, void* buffer, size_t* size) {
  MemoryStream* s = static_cast<MemoryStream*>(handle);
  s->largest_read = std::max(s->largest_read, *size);
  const uint64_t failure = injected(s->failing_reads, ++s->reads);
  if (failure != kStreamSuccess) {
    *size = 0;
    return failure;
  }
  size_t left = s->position < s->data.size() ? s->data.size() - s->position : 0;
  *size = std::min(*size, left);
  if (s->read_limit != 0) *size = std::min(*size, s->read_limit);
  memcpy(buffer, s->data.data() + s->position, *size);
  s->position += *size;
  return kStreamSuccess;
}

uint64_t memory_set_position(void* handle, uint64_t position) {
  MemoryStream* s = static_cast<MemoryStream*>(handle);
  if (s->set_position_fails) return 1;
  s->position = position;
  return kStreamSuccess;
}

uint64_t memory_write(void* handle, const void* buffer, size_t* size) {
  MemoryStream* s = static_cast<MemoryStream*>(handle);
  const uint64_t failure = injected(s->failing_writes, ++s->writes);
  if (failure != kStreamSuccess) {
    *size = 0;
    return failure;
  }
  if (std::find(s->short_writes.begin(), s->short_writes.end(), s->writes) != s->short_writes.end()) {
    *size /= 2;
  }
  if (s->data.size() < s->position) s->data.resize(s->position);
  s->data.replace(s->position, std::min(*size, s->data.size() - s->position), static_cast<const char*>(buffer), *size);
  s->position += *size;
  return kStreamSuccess;
}

}  // namespace

const StreamOps MemoryStream::kOps = {memory_read, memory_set_position, memory_write};

namespace test_memory {

size_t live_blocks() { return live().size(); }

void fail_allocation(size_t n) { fail_countdown = n; }

void fail_formatting(size_t n) { format_fail_countdown = n; }

void reset() {
  fail_countdown = 0;
  format_fail_countdown = 0;
}

}  // namespace test_memory

void* alloc_zeroed(size_t size) {
  if (fail_countdown != 0 && --fail_countdown == 0) return nullptr;
  void* block = calloc(1, size == 0 ? 1 : size);
  live().insert(block);
  return block;
}

void release_memory(void* block) {
  if (block == nullptr) return;
  if (live().erase(block) != 1) abort();  // Double or foreign release.
  free(block);
}

size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key, const char* value) {
  if (format_fail_countdown != 0 && --format_fail_countdown == 0) {
    buffer[0] = '\0';
    return 0;
  }
  int length = section == nullptr ? snprintf(buffer, size, "%s = %s\r\n", key, value)
                                  : snprintf(buffer, size, "[%s]\r\n%s = %s\r\n", section, key, value);
  return length < 0 || static_cast<size_t>(length) >= size ? 0 : static_cast<size_t>(length);
}
