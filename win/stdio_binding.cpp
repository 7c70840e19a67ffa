#include "stdio_binding.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

// errno of the failed call, or EIO when the runtime set none.
uint64_t failure_status() { return errno != 0 ? static_cast<uint64_t>(errno) : EIO; }

uint64_t stdio_read(void* handle, void* buffer, size_t* size) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  errno = 0;
  size_t got = fread(buffer, 1, *size, stream->file);
  stream->position += got;
  *size = got;
  if (got == 0 && ferror(stream->file)) return failure_status();
  return kStreamSuccess;
}

uint64_t stdio_get_position(void* handle, uint64_t* position) {
  *position = static_cast<StdioFile*>(handle)->position;
  return kStreamSuccess;
}

// Moves by `distance` bytes from the current position, in steps that fit
// the runtime's long offsets (32 bits on Windows).
uint64_t seek_relative(FILE* file, int64_t distance) {
  while (distance != 0) {
    long step = distance > LONG_MAX ? LONG_MAX : distance < LONG_MIN ? LONG_MIN : static_cast<long>(distance);
    errno = 0;
    if (fseek(file, step, SEEK_CUR) != 0) return failure_status();
    distance -= step;
  }
  return kStreamSuccess;
}

uint64_t stdio_set_position(void* handle, uint64_t position) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  if (position == 0) {
    rewind(stream->file);
    stream->position = 0;
    return kStreamSuccess;
  }
  uint64_t status = seek_relative(stream->file, static_cast<int64_t>(position - stream->position));
  if (status == kStreamSuccess) stream->position = position;
  return status;
}

uint64_t stdio_write(void* handle, const void* buffer, size_t* size) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  errno = 0;
  if (*size != 0 && fwrite(buffer, *size, 1, stream->file) != 1) {
    *size = 0;
    return failure_status();
  }
  stream->position += *size;
  return kStreamSuccess;
}

constexpr StreamOps kStdioStreamOps = {stdio_read, stdio_get_position, stdio_set_position,
                                       stdio_write};

void print_progress(void*) { printf("Converting dump file of AMIDE to VKF file...\r\n"); }

void print_trace(void*, uint8_t type, const char* section, const char* code, const char* key,
                 const char* value) {
  printf("Type: (%d)%s, Field: (%s)%s, Value: %s\r\n", type, section, code, key, value);
}

void print_done(void*) { printf("Done!\r\n"); }

}  // namespace

CoreStream make_stdio_stream(StdioFile* file) { return CoreStream{&kStdioStreamOps, file}; }

ConsoleOps make_stdio_console() {
  return ConsoleOps{print_progress, print_trace, print_done, nullptr};
}

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
