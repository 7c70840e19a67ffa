#include "line_reader.h"

#include <gtest/gtest.h>

#include <random>
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
  file.failing_reads = {{2, MemoryStream::kDeviceError}};
  CoreStream stream = file.stream();
  char buffer[kLineBufferSize] = {};
  uint64_t status = kStreamSuccess;
  EXPECT_EQ(read_line(buffer, sizeof(buffer), &stream, &status), 80u);
  EXPECT_EQ(status, MemoryStream::kDeviceError);
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

// Text that tries the reading rules: lines of 0 to 600 characters, NUL
// characters, carriage returns, and in UTF-16LE characters whose low byte is
// a line feed or NUL without being one.
std::string random_text(size_t size, unsigned seed, bool wide) {
  std::mt19937 random(seed);
  const char16_t pieces[] = {u'a', u'"', u' ', u'\r', u'\0', u'\u010a', u'\u0100', u'\u0141'};
  std::string text;
  while (text.size() < size) {
    const size_t length = random() % 600;
    for (size_t i = 0; i < length; ++i) {
      const char16_t c = random() % 4 != 0 ? u'x' : pieces[random() % (wide ? 8 : 5)];
      text += static_cast<char>(c & 0xFF);
      if (wide) text += static_cast<char>(c >> 8);
    }
    text += wide ? std::string("\n\0", 2) : "\n";
  }
  // Sometimes a last line without line feed, in UTF-16LE with an odd byte.
  if (seed % 2 == 0) text += wide ? "q" : "tail";
  return text;
}

// The run's reader goes through a window of the dump, read_line request by
// request: both must give the same lines, also where lines cross windows.
TEST_F(LineReaderTest, WindowReaderGivesTheLinesOfReadLine) {
  for (unsigned seed = 0; seed < 8; ++seed) {
    const bool wide = seed % 4 >= 2;
    SCOPED_TRACE(testing::Message() << "seed " << seed << (wide ? " UTF-16LE" : " 8-bit"));
    text_is_8bit = !wide;
    const std::string text = random_text(40 * kSmallestReadWindow, seed, wide);
    MemoryStream expected_file(text), actual_file(text);
    CoreStream expected = expected_file.stream();
    CoreStream actual = actual_file.stream();
    // The smallest window, so that many lines cross window ends.
    uint8_t window[kSmallestReadWindow];
    LineReader reader;
    start_line_reader(&reader, &actual, window, sizeof(window));
    char want[kLineBufferSize], buffer[kLineBufferSize];
    for (size_t number = 0;; ++number) {
      SCOPED_TRACE(testing::Message() << "line " << number);
      memset(want, 0, sizeof(want));
      memset(buffer, '#', sizeof(buffer));
      uint64_t status = 1;
      const size_t count = read_line(want, sizeof(want), &expected);
      const DumpLine line = next_line(&reader, buffer, &status);
      ASSERT_EQ(line.characters, count);
      ASSERT_EQ(status, kStreamSuccess);
      if (count == 0) break;
      ASSERT_EQ(std::string(line.text, line.characters), std::string(want, count));
      ASSERT_EQ(line.text_length, strlen(want));
      // A narrowed line is NUL-terminated, and nothing after it is touched.
      if (wide) {
        ASSERT_EQ(buffer[count], '\0');
        const size_t rest = sizeof(buffer) - count - 1;
        ASSERT_EQ(std::string(buffer + count + 1, rest), std::string(rest, '#'));
      }
    }
    EXPECT_LE(actual_file.reads, text.size() / (kSmallestReadWindow / 4) + 2);
  }
}

// A stream may deliver less than asked, even an odd number of bytes of
// UTF-16LE text: for every read size both readers keep what arrived and give
// the lines of a stream that delivers all it is asked for.
TEST_F(LineReaderTest, ShortReadsOfEverySizeGiveTheSameLines) {
  for (bool wide : {false, true}) {
    text_is_8bit = !wide;
    const std::string text = random_text(3 * kSmallestReadWindow, 3, wide);
    for (size_t limit = 1; limit <= 48; ++limit) {
      SCOPED_TRACE(testing::Message() << (wide ? "UTF-16LE" : "8-bit") << ", reads of " << limit);
      MemoryStream whole(text), pieces(text), window_pieces(text);
      pieces.read_limit = limit;
      window_pieces.read_limit = limit;
      CoreStream expected = whole.stream();
      CoreStream actual = pieces.stream();
      CoreStream windowed = window_pieces.stream();
      uint8_t window[kSmallestReadWindow];
      LineReader reader;
      start_line_reader(&reader, &windowed, window, sizeof(window));
      char want[kLineBufferSize], got[kLineBufferSize], buffer[kLineBufferSize];
      for (size_t number = 0;; ++number) {
        SCOPED_TRACE(testing::Message() << "line " << number);
        memset(want, 0, sizeof(want));
        memset(got, 0, sizeof(got));
        uint64_t status = 1;
        const size_t count = read_line(want, sizeof(want), &expected);
        ASSERT_EQ(read_line(got, sizeof(got), &actual), count);
        ASSERT_EQ(memcmp(want, got, sizeof(want)), 0);
        const DumpLine line = next_line(&reader, buffer, &status);
        ASSERT_EQ(status, kStreamSuccess);
        ASSERT_EQ(line.characters, count);
        if (count == 0) break;
        ASSERT_EQ(std::string(line.text, line.characters), std::string(want, count));
      }
    }
  }
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
