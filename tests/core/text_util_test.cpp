// The searches of the core look at a vector of characters at a time; they
// must find what a search character by character finds, wherever the
// character lies against the vectors, in both character widths.
#include "text_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// `count` characters of `width` bytes, all 'x' (or U+0178 in UTF-16LE,
// whose low byte is 'x' and high byte is not 0), with `c` at the given places.
std::vector<uint8_t> text_with(size_t count, size_t width, uint16_t c, const std::vector<size_t>& places) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    uint16_t value = width == 1 ? 'x' : 0x0178;
    for (size_t place : places) {
      if (place == i) value = c;
    }
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    if (width == 2) bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  bytes.resize(bytes.size() + 1);  // A valid address also for count 0.
  return bytes;
}

template <size_t kWidth>
void check_every_place(uint16_t a, uint16_t b) {
  for (size_t count = 0; count <= 3 * kVectorBytes + 3; ++count) {
    EXPECT_EQ(find_either<kWidth>(text_with(count, kWidth, a, {}).data(), count, a, b), count)
        << "nothing in " << count;
    for (size_t place = 0; place < count; ++place) {
      for (uint16_t c : {a, b}) {
        // A second match further on must not win over the first.
        const std::vector<uint8_t> bytes = text_with(count, kWidth, c, {place, count - 1});
        ASSERT_EQ(find_either<kWidth>(bytes.data(), count, a, b), place)
            << "width " << kWidth << ", " << count << " characters, match at " << place;
      }
    }
  }
}

TEST(TextUtilTest, FindEitherFindsTheFirstMatchAtEveryPlace) {
  check_every_place<1>('\n', '\0');
  check_every_place<1>('"', '"');
  check_every_place<2>('\n', '\0');
  check_every_place<2>(0x010A, 0x0100);
}

// In UTF-16LE the whole character counts, not its low byte.
TEST(TextUtilTest, FindEitherComparesWholeUtf16Characters) {
  const std::vector<uint8_t> bytes = text_with(20, 2, 0x010A, {3});
  EXPECT_EQ(find_either<2>(bytes.data(), 20, '\n', '\0'), 20u);
  EXPECT_EQ(find_either<1>(bytes.data(), 40, '\n', '\0'), 6u);
}

TEST(TextUtilTest, FindCharAndFindLastChar) {
  const std::string text = "(/SM)Maker \"a \"quoted\" value\" end";
  EXPECT_EQ(find_char(text.data(), text.size(), '"'), text.find('"'));
  EXPECT_EQ(find_last_char(text.data(), text.size(), '"'), text.rfind('"'));
  EXPECT_EQ(find_char(text.data(), text.size(), '#'), text.size());
  EXPECT_EQ(find_last_char(text.data(), text.size(), '#'), text.size());
  EXPECT_EQ(find_char(text.data(), 4, ')'), 4u) << "only the first 4 characters count";
  const std::string with_nul("ab\0cd", 5);
  EXPECT_EQ(find_char(with_nul.data(), with_nul.size(), '\0'), 2u);
}

}  // namespace
