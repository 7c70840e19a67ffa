#include "stdio_binding.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

// errno of the failed call, or EIO when the runtime set none.
uint64_t failure_status() { return errno != 0 ? static_cast<uint64_t>(errno) : EIO; }

uint64_t current_position(const StdioFile* stream) {
  return stream->window_start + stream->window_offset + stream->unwritten;
}

// Moves the FILE by `distance` bytes from where it stands, in steps that fit
// the runtime's long offsets (32 bits on Windows). Seeks at least once, since
// the runtime needs a seek between reading and writing a FILE.
uint64_t seek_relative(FILE* file, int64_t distance) {
  do {
    long step = distance > LONG_MAX ? LONG_MAX : distance < LONG_MIN ? LONG_MIN : static_cast<long>(distance);
    errno = 0;
    if (fseek(file, step, SEEK_CUR) != 0) return failure_status();
    distance -= step;
  } while (distance != 0);
  return kStreamSuccess;
}

// Reads at most `size` bytes at the FILE's position into `target` and
// moves the exhausted window to them; `got` receives how many arrived, also
// when the read failed after some.
uint64_t read_file(StdioFile* stream, uint8_t* target, size_t size, size_t* got) {
  stream->window_start += stream->window_length;
  stream->window_length = 0;
  stream->window_offset = 0;
  stream->read_last = true;
  *got = 0;
  errno = 0;
  // The C runtime may not read a FILE right after writing it without a flush
  // or a seek between; the Windows one holds to that.
  if (stream->written_last && fflush(stream->file) != 0) return failure_status();
  stream->written_last = false;
  *got = fread(target, 1, size, stream->file);
  return ferror(stream->file) ? failure_status() : kStreamSuccess;
}

// Replaces the exhausted window by the next block of the file.
uint64_t refill_window(StdioFile* stream) {
  size_t got = 0;
  uint64_t status = read_file(stream, stream->read_ahead, kReadAheadSize, &got);
  stream->window_length = got;
  return status;
}

// Moves the FILE to `position` and empties the window, which holds no
// written bytes.
uint64_t move_file(StdioFile* stream, uint64_t position) {
  uint64_t file_position = stream->window_start + stream->window_length;
  uint64_t status = kStreamSuccess;
  if (position == 0) {
    rewind(stream->file);
  } else {
    status = seek_relative(stream->file, static_cast<int64_t>(position - file_position));
  }
  if (status != kStreamSuccess) return status;
  stream->window_start = position;
  stream->window_length = 0;
  stream->window_offset = 0;
  stream->read_last = false;
  stream->written_last = false;
  return kStreamSuccess;
}

uint64_t stdio_read(void* handle, void* buffer, size_t* size) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  if (stream->read_failure != kStreamSuccess) {
    *size = 0;
    return stream->read_failure;
  }
  uint8_t* target = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  uint64_t status = flush_stdio_stream(stream);
  while (status == kStreamSuccess && done < *size) {
    if (stream->window_offset == stream->window_length && *size - done >= kReadAheadSize / 2) {
      // A large read goes straight to the caller: through the window its
      // bytes would only be copied once more.
      size_t got = 0;
      status = read_file(stream, target + done, *size - done, &got);
      stream->window_start += got;
      done += got;
      if (got == 0) break;
      continue;
    }
    if (stream->window_offset == stream->window_length) {
      status = refill_window(stream);
      if (stream->window_length == 0) break;
    }
    size_t available = stream->window_length - stream->window_offset;
    size_t take = *size - done < available ? *size - done : available;
    memcpy(target + done, stream->read_ahead + stream->window_offset, take);
    stream->window_offset += take;
    done += take;
  }
  *size = done;
  if (status == kStreamSuccess || done == 0) return status;
  // Bytes that arrived before an error are handed on; the error comes with
  // the next read, which gets nothing.
  stream->read_failure = status;
  return kStreamSuccess;
}

uint64_t stdio_set_position(void* handle, uint64_t position) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  uint64_t status = flush_stdio_stream(stream);
  if (status != kStreamSuccess) return status;
  if (position >= stream->window_start && position - stream->window_start <= stream->window_length) {
    stream->window_offset = static_cast<size_t>(position - stream->window_start);
    return kStreamSuccess;
  }
  return move_file(stream, position);
}

uint64_t stdio_write(void* handle, const void* buffer, size_t* size) {
  StdioFile* stream = static_cast<StdioFile*>(handle);
  const size_t count = *size;
  *size = 0;
  // The FILE stands where the last read left it, beyond the position when
  // bytes were read ahead: it goes to the position first.
  uint64_t status = stream->read_last ? move_file(stream, current_position(stream)) : kStreamSuccess;
  if (status == kStreamSuccess && stream->unwritten + count > kReadAheadSize) {
    status = flush_stdio_stream(stream);
  }
  if (status != kStreamSuccess) return status;
  if (count >= kReadAheadSize) {
    // Too large for the window: straight to the FILE.
    errno = 0;
    stream->written_last = true;
    if (fwrite(buffer, count, 1, stream->file) != 1) return failure_status();
    stream->window_start += count;
  } else {
    memcpy(stream->read_ahead + stream->unwritten, buffer, count);
    stream->unwritten += count;
  }
  *size = count;
  return kStreamSuccess;
}

constexpr StreamOps kStdioStreamOps = {stdio_read, stdio_set_position, stdio_write};

void print_progress(void*) { printf("Converting dump file of AMIDE to VKF file...\r\n"); }

void print_trace(void*, uint8_t type, const char* section, const char* code, const char* key, const char* value) {
  printf("Type: (%d)%s, Field: (%s)%s, Value: %s\r\n", type, section, code, key, value);
}

void print_done(void*) { printf("Done!\r\n"); }

}  // namespace

CoreStream make_stdio_stream(StdioFile* stream, FILE* file) {
  stream->file = file;
  stream->window_start = 0;
  stream->window_length = 0;
  stream->window_offset = 0;
  stream->unwritten = 0;
  stream->read_last = false;
  stream->written_last = false;
  stream->read_failure = kStreamSuccess;
  return CoreStream{&kStdioStreamOps, stream};
}

uint64_t flush_stdio_stream(StdioFile* stream) {
  const size_t count = stream->unwritten;
  if (count == 0) return kStreamSuccess;
  // The bytes count as written whatever the outcome: a failure is reported,
  // and where a failed write leaves the FILE is up to the runtime.
  stream->unwritten = 0;
  stream->window_start += count;
  errno = 0;
  stream->written_last = true;
  if (fwrite(stream->read_ahead, count, 1, stream->file) != 1) return failure_status();
  return kStreamSuccess;
}

ConsoleOps make_stdio_console() { return ConsoleOps{print_progress, print_trace, print_done, nullptr}; }
