#include "stream_switch_check.h"

#include <stdio.h>
#include <string.h>

#include "stdio_binding.h"

namespace {

// One step on the stream: move to `seek` (unless negative), then read
// `read` bytes or write `write`.
struct Step {
  long seek;
  size_t read;
  const char* write;
  const char* expected;  // What the read gives.
};

// Each row starts from a file holding "abcdefghij". After the steps the
// file must hold `after`.
struct Row {
  const char* name;
  Step steps[3];
  const char* after;
};

constexpr Row kRows[] = {
    {"write after a read", {{-1, 2, nullptr, "ab"}, {-1, 0, "XY", nullptr}, {-1, 2, nullptr, "ef"}}, "abXYefghij"},
    {"read after a write", {{-1, 0, "XY", nullptr}, {-1, 3, nullptr, "cde"}, {-1, 0, "Z", nullptr}}, "XYcdeZghij"},
    {"read after a write and a seek",
     {{-1, 0, "hello", nullptr}, {3, 4, nullptr, "lofg"}, {9, 1, nullptr, "j"}},
     "hellofghij"},
    {"write at the end", {{10, 0, "kl", nullptr}, {8, 4, nullptr, "ijkl"}, {-1, 0, "m", nullptr}}, "abcdefghijklm"},
};

bool run_step(CoreStream* stream, const Step& step) {
  if (step.seek >= 0 && stream->ops->set_position(stream->handle, static_cast<uint64_t>(step.seek)) != kStreamSuccess) {
    return false;
  }
  if (step.write != nullptr) {
    size_t size = strlen(step.write);
    return stream->ops->write(stream->handle, step.write, &size) == kStreamSuccess && size == strlen(step.write);
  }
  if (step.read == 0) return true;
  char buffer[16] = {};
  size_t size = step.read;
  return stream->ops->read(stream->handle, buffer, &size) == kStreamSuccess && size == step.read &&
         memcmp(buffer, step.expected, step.read) == 0;
}

// The file's bytes as a fresh FILE reads them.
bool holds(const char* path, const char* expected) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[64] = {};
  const size_t got = fread(buffer, 1, sizeof(buffer) - 1, file);
  fclose(file);
  return got == strlen(expected) && memcmp(buffer, expected, got) == 0;
}

bool check_row(const char* path, const Row& row) {
  static StdioFile stdio;
  FILE* file = fopen(path, "wb+");
  if (file == nullptr) return false;
  fputs("abcdefghij", file);
  rewind(file);
  setvbuf(file, nullptr, _IONBF, 0);
  CoreStream stream = make_stdio_stream(&stdio, file);
  bool good = true;
  for (const Step& step : row.steps) good = good && run_step(&stream, step);
  good = good && flush_stdio_stream(&stdio) == kStreamSuccess;
  good = fclose(file) == 0 && good;
  return good && holds(path, row.after);
}

}  // namespace

int check_stream_switch(const char* path) {
  for (const Row& row : kRows) {
    if (!check_row(path, row)) {
      printf("stream switch failed: %s\n", row.name);
      return 1;
    }
  }
  remove(path);
  printf("ok\n");
  return 0;
}
