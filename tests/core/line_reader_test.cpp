#include "line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "reference_lines.h"
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

  // Reads every line through the smallest window, so that lines cross
  // window ends, and checks that each read succeeds.
  std::vector<std::string> read_all(MemoryStream& file) {
    std::vector<std::string> lines;
    CoreStream stream = file.stream();
    uint8_t window[kSmallestReadWindow];
    LineReader reader;
    start_line_reader(&reader, &stream, window, sizeof(window));
    char buffer[kLineBufferSize];
    for (;;) {
      uint64_t status = 1;
      const DumpLine line = next_line(&reader, buffer, &status);
      EXPECT_EQ(status, kStreamSuccess) << "after line " << lines.size();
      if (line.characters == 0) break;
      lines.emplace_back(line.text, line.characters);
    }
    return lines;
  }
};

TEST_F(LineReaderTest, EightBitLinesKeepTheirEndsAndTheLastNeedsNone) {
  MemoryStream file("ab\r\n\ncd\nlast");
  EXPECT_EQ(read_all(file), (std::vector<std::string>{"ab\r\n", "\n", "cd\n", "last"}));
}

// Lines around the 80-character step and the 255-character limit, in both
// encodings: each comes back whole and the next starts right after its line
// feed.
TEST_F(LineReaderTest, LinesOfEveryLengthUpToTheLimitInBothEncodings) {
  std::string text;
  std::vector<std::string> expected;
  for (size_t length : {1, 78, 79, 80, 81, 159, 160, 161, 200, 253}) {
    std::string line = std::string(length, static_cast<char>('a' + length % 26)) + "\r\n";
    text += line;
    expected.push_back(line);
  }
  MemoryStream eight(text);
  EXPECT_EQ(read_all(eight), expected);

  text_is_8bit = false;
  MemoryStream wide(utf16(text));
  EXPECT_EQ(read_all(wide), expected);
}

TEST_F(LineReaderTest, LongLinesComeBackInPiecesOf255) {
  std::string full(255, 'x');
  std::string longer = std::string(255, 'y') + std::string(300, 'z') + "\n";
  MemoryStream file(full + "\r\n" + longer + "end\n");
  std::vector<std::string> expected = {
      full, "\r\n", std::string(255, 'y'), std::string(255, 'z'), std::string(45, 'z') + "\n", "end\n"};
  EXPECT_EQ(read_all(file), expected);
}

TEST_F(LineReaderTest, Utf16KeepsTheLowByteAndOnlyUnitTenEndsALine) {
  text_is_8bit = false;
  // U+0141 narrows to 'A'; U+010A narrows to a line feed byte but is no line end.
  MemoryStream file(std::string("\x41\x01\x0A\x01z\0\n\0q\0", 10));
  EXPECT_EQ(read_all(file), (std::vector<std::string>{"A\nz\n", "q"}));
}

TEST_F(LineReaderTest, Utf16DropsAnOddTrailingByte) {
  text_is_8bit = false;
  MemoryStream file(std::string("a\0b\0c", 5));
  EXPECT_EQ(read_all(file), (std::vector<std::string>{"ab"}));
}

// The line-feed search of a step stops at a NUL character: the step is
// then taken whole, and the line goes on with the next step. Its length as a
// C string ends at the NUL.
TEST_F(LineReaderTest, NulCharacterHidesALineFeedOfTheSameStep) {
  std::string text("ab\0cd\nxy\n", 9);
  MemoryStream file(text + std::string(100, 'q') + "\nrest\n");
  CoreStream stream = file.stream();
  uint8_t window[kSmallestReadWindow];
  LineReader reader;
  start_line_reader(&reader, &stream, window, sizeof(window));
  char buffer[kLineBufferSize] = {};
  uint64_t status = 1;
  DumpLine line = next_line(&reader, buffer, &status);
  ASSERT_EQ(line.characters, 110u);
  EXPECT_EQ(line.text_length, 2u);
  EXPECT_EQ(std::string(line.text + 3, 6), "cd\nxy\n");
  line = next_line(&reader, buffer, &status);
  EXPECT_EQ(std::string(line.text, line.characters), "rest\n");
}

// A read that fails before the line's end is known ends the line with the
// characters at hand and is reported with it.
TEST_F(LineReaderTest, ReadErrorEndsTheLineWithWhatWasReadAndIsReported) {
  MemoryStream file(std::string(100, 'a') + "\n");
  file.read_limit = 50;
  file.failing_reads = {{2, MemoryStream::kDeviceError}};
  CoreStream stream = file.stream();
  uint8_t window[kSmallestReadWindow];
  LineReader reader;
  start_line_reader(&reader, &stream, window, sizeof(window));
  char buffer[kLineBufferSize] = {};
  uint64_t status = kStreamSuccess;
  EXPECT_EQ(next_line(&reader, buffer, &status).characters, 50u);
  EXPECT_EQ(status, MemoryStream::kDeviceError);
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

// Lines checked against the reference, in windows of the smallest size so
// that many lines cross window ends. `read_limit` caps what one read of the
// stream delivers (0: no cap).
void expect_reference_lines(const std::string& text, bool wide, size_t read_limit) {
  MemoryStream file(text);
  file.read_limit = read_limit;
  CoreStream stream = file.stream();
  uint8_t window[kSmallestReadWindow];
  LineReader reader;
  start_line_reader(&reader, &stream, window, sizeof(window));
  const std::vector<std::string> expected = reference_lines(text, !wide);
  char buffer[kLineBufferSize];
  for (size_t number = 0;; ++number) {
    SCOPED_TRACE(testing::Message() << "line " << number);
    memset(buffer, '#', sizeof(buffer));
    uint64_t status = 1;
    const DumpLine line = next_line(&reader, buffer, &status);
    ASSERT_EQ(status, kStreamSuccess);
    if (number == expected.size()) {
      ASSERT_EQ(line.characters, 0u) << "a line beyond the text";
      break;
    }
    const std::string& want = expected[number];
    ASSERT_EQ(std::string(line.text, line.characters), want);
    ASSERT_EQ(line.text_length, std::min(want.find('\0'), want.size()));
    // A narrowed line is NUL-terminated, and nothing after it is touched.
    if (wide) {
      ASSERT_EQ(buffer[want.size()], '\0');
      const size_t rest = sizeof(buffer) - want.size() - 1;
      ASSERT_EQ(std::string(buffer + want.size() + 1, rest), std::string(rest, '#'));
    }
  }
  if (read_limit == 0) EXPECT_LE(file.reads, text.size() / (kSmallestReadWindow / 4) + 2);
}

TEST_F(LineReaderTest, WindowReaderGivesTheReferenceLines) {
  for (unsigned seed = 0; seed < 8; ++seed) {
    const bool wide = seed % 4 >= 2;
    SCOPED_TRACE(testing::Message() << "seed " << seed << (wide ? " UTF-16LE" : " 8-bit"));
    text_is_8bit = !wide;
    expect_reference_lines(random_text(40 * kSmallestReadWindow, seed, wide), wide, 0);
  }
}

// A stream may deliver less than asked, even an odd number of bytes of
// UTF-16LE text: for every read size the reader keeps what arrived and gives
// the lines of a stream that delivers all it is asked for.
TEST_F(LineReaderTest, ShortReadsOfEverySizeGiveTheSameLines) {
  for (bool wide : {false, true}) {
    text_is_8bit = !wide;
    const std::string text = random_text(3 * kSmallestReadWindow, 3, wide);
    for (size_t limit = 1; limit <= 48; ++limit) {
      SCOPED_TRACE(testing::Message() << (wide ? "UTF-16LE" : "8-bit") << ", reads of " << limit);
      expect_reference_lines(text, wide, limit);
    }
  }
}

}  // namespace
