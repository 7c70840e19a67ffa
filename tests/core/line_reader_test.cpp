#include "line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_state.h"
#include "test_binding.h"

namespace {

std::string utf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

class LineReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_run_state();
    test_memory::reset();
  }
  void TearDown() override { EXPECT_EQ(test_memory::live_blocks(), 0u); }

  // Reads every line as the run does (capacity 256, cleared buffer) and
  // checks after each that nothing beyond the line was consumed.
  std::vector<std::string> read_all(MemoryStream& file, size_t width) {
    std::vector<std::string> lines;
    CoreStream stream = file.stream();
    uint64_t consumed = file.position;
    char buffer[kLineBufferSize];
    for (;;) {
      memset(buffer, 0, sizeof(buffer));
      size_t count = read_line(buffer, sizeof(buffer), &stream);
      if (count == 0) break;
      lines.emplace_back(buffer, count);
      consumed += count * width;
      EXPECT_EQ(file.position, consumed) << "after line " << lines.size();
    }
    return lines;
  }
};

TEST_F(LineReaderTest, EightBitLinesKeepTheirEndsAndTheLastNeedsNone) {
  MemoryStream file("ab\r\n\ncd\nlast");
  EXPECT_EQ(read_all(file, 1), (std::vector<std::string>{"ab\r\n", "\n", "cd\n", "last"}));
}

// Lines around the 80-character request size and the 255-character limit,
// in both encodings: each comes back whole and the next starts right after
// its line feed.
TEST_F(LineReaderTest, LinesOfEveryLengthUpToTheLimitInBothEncodings) {
  std::string text;
  std::vector<std::string> expected;
  for (size_t length : {1, 78, 79, 80, 81, 159, 160, 161, 200, 253}) {
    std::string line = std::string(length, static_cast<char>('a' + length % 26)) + "\r\n";
    text += line;
    expected.push_back(line);
  }
  MemoryStream eight(text);
  EXPECT_EQ(read_all(eight, 1), expected);
  EXPECT_LE(eight.largest_read, 80u);

  text_is_8bit = false;
  MemoryStream wide(utf16(text));
  EXPECT_EQ(read_all(wide, 2), expected);
  EXPECT_LE(wide.largest_read, 160u);
}

TEST_F(LineReaderTest, LongLinesComeBackInPiecesOf255) {
  std::string full(255, 'x');
  std::string longer = std::string(255, 'y') + std::string(300, 'z') + "\n";
  MemoryStream file(full + "\r\n" + longer + "end\n");
  std::vector<std::string> expected = {full, "\r\n", std::string(255, 'y'),
                                       std::string(255, 'z'), std::string(45, 'z') + "\n",
                                       "end\n"};
  EXPECT_EQ(read_all(file, 1), expected);
}

TEST_F(LineReaderTest, Utf16KeepsTheLowByteAndOnlyUnitTenEndsALine) {
  text_is_8bit = false;
  // U+0141 narrows to 'A'; U+010A narrows to a line feed byte but is no line end.
  MemoryStream file(std::string("\x41\x01\x0A\x01z\0\n\0q\0", 10));
  EXPECT_EQ(read_all(file, 2), (std::vector<std::string>{"A\nz\n", "q"}));
}

TEST_F(LineReaderTest, Utf16DropsAnOddTrailingByte) {
  text_is_8bit = false;
  MemoryStream file(std::string("a\0b\0c", 5));
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream), 2u);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream), 0u);
}

// The line-feed search of a request stops at a NUL character: the request
// is then taken whole, and the line goes on with the next request.
TEST_F(LineReaderTest, NulCharacterHidesALineFeedOfTheSameRequest) {
  std::string text("ab\0cd\nxy\n", 9);
  MemoryStream file(text + std::string(100, 'q') + "\nrest\n");
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  ASSERT_EQ(read_line(buffer, sizeof(buffer), &stream), 110u);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(std::string(buffer + 3, 6), "cd\nxy\n");
  memset(buffer, 0, sizeof(buffer));
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream), 5u);
  EXPECT_STREQ(buffer, "rest\n");
}

TEST_F(LineReaderTest, ReadErrorEndsTheLineWithWhatWasReadAndIsReported) {
  MemoryStream file(std::string(100, 'a') + "\n");
  file.failing_read = 2;
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  uint64_t status = kStreamSuccess;
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream, &status), 80u);
  EXPECT_EQ(status, file.read_error);
}

// After a failed step back the next line would start in the wrong place.
TEST_F(LineReaderTest, FailedStepBackIsReported) {
  MemoryStream file("ab\ncd\n");
  file.set_position_fails = true;
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  uint64_t status = kStreamSuccess;
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream, &status), 3u);
  EXPECT_NE(status, kStreamSuccess);
  file.set_position_fails = false;
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream, &status), 0u) << "the file is at its end";
  EXPECT_EQ(status, kStreamSuccess);
}

TEST_F(LineReaderTest, RefusesWhatItCannotUse) {
  MemoryStream file("line\n");
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  EXPECT_EQ(read_line(nullptr, 256, &stream), 0u);
  EXPECT_EQ(read_line(buffer, 256, nullptr), 0u);
  EXPECT_EQ(read_line(buffer, 1, &stream), 0u);
  file.position_fails = true;
  uint64_t status = kStreamSuccess;
  EXPECT_EQ(read_line(buffer, 256, &stream, &status), 0u);
  EXPECT_NE(status, kStreamSuccess);
  EXPECT_EQ(file.reads, 0u);
}

TEST_F(LineReaderTest, SmallCapacityReadsSmallPieces) {
  MemoryStream file("abcdef\n");
  CoreStream stream = file.stream();
  char buffer[4] = {};
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(file.largest_read, 3u);
}

}  // namespace
