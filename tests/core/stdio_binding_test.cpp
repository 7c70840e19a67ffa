// The stdio binding counts positions itself, serves reads from its own
// read-ahead window and gathers writes in it; these tests hold it to what a
// plain stream would do.
#include "stdio_binding.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "line_reader.h"
#include "reference_lines.h"
#include "run_state.h"
#include "test_binding.h"

namespace {

class StdioBindingTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_run_state(); }
  void TearDown() override {
    if (file != nullptr) fclose(file);
  }

  CoreStream open_with(const std::string& bytes) {
    file = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    return make_stdio_stream(&stdio, file);
  }

  FILE* file = nullptr;
  StdioFile stdio;
};

// Random lines of 0 to 600 bytes (some with NUL bytes) over several
// read-ahead windows: the core's line reader, through windows smaller than
// the binding's and as large as the run's, must find the reference lines.
std::string random_dump(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    size_t length = random() % 600;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>(random() % 7 == 0 ? 0 : 32 + random() % 90);
    text += random() % 2 ? "\r\n" : "\n";
  }
  return text;
}

TEST_F(StdioBindingTest, LinesMatchTheReference) {
  static uint8_t window[kReadWindowSize];
  for (bool eight_bit : {true, false}) {
    text_is_8bit = eight_bit;
    std::string bytes = random_dump(3 * kReadAheadSize + 1000, eight_bit ? 1 : 2);
    const std::vector<std::string> expected = reference_lines(bytes, eight_bit);
    for (size_t window_size : {kSmallestReadWindow, kReadWindowSize}) {
      SCOPED_TRACE(testing::Message() << (eight_bit ? "8-bit" : "UTF-16LE") << ", window " << window_size);
      CoreStream actual = open_with(bytes);
      LineReader reader;
      start_line_reader(&reader, &actual, window, window_size);
      char buffer[kLineBufferSize];
      for (size_t number = 0;; ++number) {
        uint64_t status = 1;
        const DumpLine line = next_line(&reader, buffer, &status);
        ASSERT_EQ(status, kStreamSuccess);
        if (number == expected.size()) {
          ASSERT_EQ(line.characters, 0u);
          break;
        }
        ASSERT_EQ(std::string(line.text, line.characters), expected[number]) << "line " << number;
      }
      fclose(file);
      file = nullptr;
    }
  }
}

TEST_F(StdioBindingTest, SeeksOutsideTheWindowReachTheFile) {
  std::string bytes;
  for (size_t i = 0; i < 3 * kReadAheadSize; ++i) bytes += static_cast<char>('a' + i % 26);
  CoreStream stream = open_with(bytes);
  char buffer[4];
  for (uint64_t target : {uint64_t(2 * kReadAheadSize + 5), uint64_t(3), uint64_t(kReadAheadSize), uint64_t(0),
                          uint64_t(3 * kReadAheadSize - 2)}) {
    SCOPED_TRACE(target);
    ASSERT_EQ(stream.ops->set_position(stream.handle, target), kStreamSuccess);
    size_t size = sizeof(buffer);
    ASSERT_EQ(stream.ops->read(stream.handle, buffer, &size), kStreamSuccess);
    size_t expected = std::min<size_t>(sizeof(buffer), bytes.size() - target);
    ASSERT_EQ(size, expected);
    EXPECT_EQ(std::string(buffer, size), bytes.substr(target, size));
  }
  size_t size = sizeof(buffer);
  EXPECT_EQ(stream.ops->read(stream.handle, buffer, &size), kStreamSuccess);
  EXPECT_EQ(size, 0u);
}

// Small reads come from the window, reads of half a window or more straight
// from the file; mixed with moves they must all give the file's bytes and
// positions.
TEST_F(StdioBindingTest, ReadsOfEverySizeAndMovesMatchTheFile) {
  std::mt19937 random(11);
  std::string bytes;
  for (size_t i = 0; i < 5 * kReadAheadSize; ++i) bytes += static_cast<char>(random());
  CoreStream stream = open_with(bytes);
  std::vector<char> buffer(2 * kReadAheadSize);
  uint64_t position = 0;
  for (int step = 0; step < 300; ++step) {
    SCOPED_TRACE(step);
    if (random() % 5 == 0) {
      position = random() % (bytes.size() + 1);
      ASSERT_EQ(stream.ops->set_position(stream.handle, position), kStreamSuccess);
    }
    const size_t sizes[] = {1, 80, kReadAheadSize / 2 - 1, kReadAheadSize / 2, kReadAheadSize + 7};
    size_t size = sizes[random() % 5];
    ASSERT_EQ(stream.ops->read(stream.handle, buffer.data(), &size), kStreamSuccess);
    ASSERT_EQ(std::string(buffer.data(), size), bytes.substr(position, size));
    position += size;
  }
}

// A FILE over bytes in memory (glibc's fopencookie) whose reads fail after
// `readable` bytes and whose writes fail once `writable` bytes are stored,
// each with its own errno: a disk that fails in the middle.
struct FailingFile {
  std::string data;
  size_t position = 0;
  size_t readable = SIZE_MAX;
  int read_errno = EIO;
  bool read_fails_once = false;  // A passing fault: the reads after it succeed.
  size_t writable = SIZE_MAX;
  int write_errno = ENOSPC;

  static ssize_t read(void* cookie, char* buffer, size_t size) {
    FailingFile* file = static_cast<FailingFile*>(cookie);
    if (file->position >= file->readable) {
      if (file->read_fails_once) file->readable = SIZE_MAX;
      errno = file->read_errno;
      return -1;
    }
    size = std::min({size, file->readable - file->position, file->data.size() - file->position});
    memcpy(buffer, file->data.data() + file->position, size);
    file->position += size;
    return static_cast<ssize_t>(size);
  }
  static ssize_t write(void* cookie, const char* buffer, size_t size) {
    FailingFile* file = static_cast<FailingFile*>(cookie);
    const size_t room = file->writable > file->data.size() ? file->writable - file->data.size() : 0;
    file->data.append(buffer, std::min(size, room));
    if (size <= room) return static_cast<ssize_t>(size);
    // A short write, or none: a cookie reports its failure by storing less.
    errno = file->write_errno;
    return static_cast<ssize_t>(room);
  }
  FILE* open(const char* mode) {
    FILE* file = fopencookie(this, mode, cookie_io_functions_t{read, write, nullptr, nullptr});
    setvbuf(file, nullptr, _IONBF, 0);
    return file;
  }
};

// A read that fails is not the end of the file: the bytes before it arrive,
// then every read fails with the system's errno, whatever the read sizes,
// also when the file could be read again after it (a gap would follow).
TEST_F(StdioBindingTest, ReadErrorIsToldFromTheEnd) {
  const struct {
    size_t readable;
    size_t read_size;
    bool once;
  } rows[] = {{0, 80, false},
              {10, 80, false},
              {10, 80, true},
              {kReadAheadSize + 5, 80, false},
              {kReadAheadSize + 5, 80, true},
              {kReadAheadSize, 2 * kReadAheadSize, true},
              {3 * kReadAheadSize, kReadAheadSize / 2, false},
              {SIZE_MAX, 80, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.readable << " bytes readable, reads of " << row.read_size
                                    << (row.once ? ", fails once" : ""));
    FailingFile disk;
    disk.data = std::string(4 * kReadAheadSize, 'd');
    disk.readable = row.readable;
    disk.read_fails_once = row.once;
    FILE* failing = disk.open("rb");
    CoreStream stream = make_stdio_stream(&stdio, failing);
    std::vector<char> buffer(row.read_size);
    size_t total = 0;
    uint64_t status = kStreamSuccess;
    for (size_t size = 1; status == kStreamSuccess && size != 0; total += size) {
      size = buffer.size();
      status = stream.ops->read(stream.handle, buffer.data(), &size);
    }
    EXPECT_EQ(total, std::min(row.readable, disk.data.size()));
    const uint64_t expected = row.readable == SIZE_MAX ? kStreamSuccess : uint64_t(EIO);
    EXPECT_EQ(status, expected);
    size_t size = buffer.size();
    EXPECT_EQ(stream.ops->read(stream.handle, buffer.data(), &size), expected) << "again";
    EXPECT_EQ(size, 0u);
    fclose(failing);
  }
}

// A write that fails reports the system's errno, whether it fails whole or
// stores part of a window, in the write that hands the window on or in the
// flush of the last one; the bytes stored are the ones written before.
TEST_F(StdioBindingTest, FailedWritesReportTheirErrno) {
  const struct {
    size_t writable;
    int error;
  } rows[] = {{0, ENOSPC}, {100, EIO}, {kReadAheadSize + 50, EROFS}, {2 * kReadAheadSize, EDQUOT}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.writable << " bytes writable, errno " << row.error);
    FailingFile disk;
    disk.writable = row.writable;
    disk.write_errno = row.error;
    FILE* failing = disk.open("wb");
    StdioFile target;
    CoreStream stream = make_stdio_stream(&target, failing);
    const std::string record(100, 'r');
    uint64_t status = kStreamSuccess;
    size_t written = 0;
    while (status == kStreamSuccess && written < 3 * kReadAheadSize) {
      size_t size = record.size();
      status = stream.ops->write(stream.handle, record.data(), &size);
      written += size;
    }
    if (status == kStreamSuccess) status = flush_stdio_stream(&target);
    EXPECT_EQ(status, uint64_t(row.error));
    EXPECT_EQ(disk.data, std::string(row.writable, 'r'));
    fclose(failing);
  }
}

// A write moves the position past its bytes: a read right after it finds
// the end of the file.
TEST_F(StdioBindingTest, WritesMoveThePosition) {
  CoreStream stream = open_with("");
  size_t size = 5;
  ASSERT_EQ(stream.ops->write(stream.handle, "hello", &size), kStreamSuccess);
  EXPECT_EQ(size, 5u);
  char buffer[8];
  size = sizeof(buffer);
  ASSERT_EQ(stream.ops->read(stream.handle, buffer, &size), kStreamSuccess);
  EXPECT_EQ(size, 0u);
}

TEST_F(StdioBindingTest, FullDeviceFailsTheWriteOrItsFlush) {
  FILE* full = fopen("/dev/full", "wb+");
  if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
  StdioFile target;
  CoreStream stream = make_stdio_stream(&target, full);
  std::string block(64 * 1024, 'x');
  size_t size = block.size();
  uint64_t status = stream.ops->write(stream.handle, block.data(), &size);
  EXPECT_NE(status, kStreamSuccess);
  EXPECT_EQ(size, 0u);
  fclose(full);
}

std::string file_contents(FILE* file) {
  fflush(file);
  rewind(file);
  std::string bytes;
  char block[4096];
  for (size_t got; (got = fread(block, 1, sizeof(block), file)) != 0;) bytes.append(block, got);
  return bytes;
}

// Writes of every size up to more than a window, and one larger than the
// window in the middle, reach the file whole and in order.
TEST_F(StdioBindingTest, WritesReachTheFileWholeAndInOrder) {
  CoreStream stream = open_with("");
  std::mt19937 random(7);
  std::string expected;
  while (expected.size() < 3 * kReadAheadSize) {
    const size_t length = expected.size() == kReadAheadSize ? kReadAheadSize + 10 : random() % 700;
    std::string piece(length, static_cast<char>('a' + expected.size() % 26));
    size_t size = piece.size();
    ASSERT_EQ(stream.ops->write(stream.handle, piece.data(), &size), kStreamSuccess);
    ASSERT_EQ(size, piece.size());
    expected += piece;
  }
  ASSERT_EQ(flush_stdio_stream(&stdio), kStreamSuccess);
  EXPECT_EQ(file_contents(file), expected);
}

// Reading or moving hands the written bytes on first, so none is lost.
TEST_F(StdioBindingTest, ReadAfterWriteSeesTheWrittenBytes) {
  CoreStream stream = open_with("");
  size_t size = 11;
  ASSERT_EQ(stream.ops->write(stream.handle, "hello world", &size), kStreamSuccess);
  ASSERT_EQ(stream.ops->set_position(stream.handle, 6), kStreamSuccess);
  char buffer[8] = {};
  size = 5;
  ASSERT_EQ(stream.ops->read(stream.handle, buffer, &size), kStreamSuccess);
  EXPECT_EQ(std::string(buffer, size), "world");
}

// The window holds bytes read ahead of the position; a write goes to the
// position, not to where the read-ahead left the FILE.
TEST_F(StdioBindingTest, WriteAfterReadGoesToThePosition) {
  CoreStream stream = open_with("abcdef");
  char buffer[2];
  size_t size = sizeof(buffer);
  ASSERT_EQ(stream.ops->read(stream.handle, buffer, &size), kStreamSuccess);
  size = 2;
  ASSERT_EQ(stream.ops->write(stream.handle, "XY", &size), kStreamSuccess);
  // The next write follows on.
  size = 1;
  ASSERT_EQ(stream.ops->write(stream.handle, "Z", &size), kStreamSuccess);
  ASSERT_EQ(flush_stdio_stream(&stdio), kStreamSuccess);
  EXPECT_EQ(file_contents(file), "abXYZf");
}

// A large read goes past the window straight into the caller's buffer; a
// write after it still lands at the position.
TEST_F(StdioBindingTest, WriteAfterALargeReadGoesToThePosition) {
  std::string bytes(3 * kReadAheadSize, 'r');
  CoreStream stream = open_with(bytes);
  // Not a whole number of the FILE's blocks: the FILE reads ahead itself.
  const size_t large = kReadAheadSize - 100;
  std::vector<char> buffer(large);
  size_t size = buffer.size();
  ASSERT_EQ(stream.ops->read(stream.handle, buffer.data(), &size), kStreamSuccess);
  ASSERT_EQ(size, large);
  size = 2;
  ASSERT_EQ(stream.ops->write(stream.handle, "XY", &size), kStreamSuccess);
  ASSERT_EQ(flush_stdio_stream(&stdio), kStreamSuccess);
  bytes.replace(large, 2, "XY");
  EXPECT_EQ(file_contents(file), bytes);
}

TEST_F(StdioBindingTest, FullDeviceFailsTheFlushOfSmallWrites) {
  FILE* full = fopen("/dev/full", "wb+");
  if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
  StdioFile target;
  CoreStream stream = make_stdio_stream(&target, full);
  size_t size = 5;
  EXPECT_EQ(stream.ops->write(stream.handle, "hello", &size), kStreamSuccess);
  // The FILE may buffer the bytes once more: then its own flush fails.
  EXPECT_TRUE(flush_stdio_stream(&target) != kStreamSuccess || fflush(full) != 0);
  fclose(full);
}

}  // namespace
