// qorvexw formats VKF records without snprintf; it must give exactly what
// snprintf gives with the record formats, and nothing at all (0 and an empty
// text) where snprintf would cut the record.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "binding.h"

namespace {

std::string reference(size_t size, const char* section, const char* key, const char* value) {
  std::string buffer(size, '\x7f');
  if (section == nullptr) {
    snprintf(&buffer[0], size, "%s = %s\r\n", key, value);
  } else {
    snprintf(&buffer[0], size, "[%s]\r\n%s = %s\r\n", section, key, value);
  }
  return buffer.substr(0, buffer.find('\0') + 1);
}

TEST(RuntimeBindingTest, FormatsLikeSnprintfAtEveryBufferSize) {
  const std::string long_value(300, 'v');
  const char* sections[] = {nullptr, "BaseBoard"};
  const char* values[] = {"", "Maker \"X\" %s", long_value.c_str()};
  for (const char* section : sections) {
    for (const char* value : values) {
      for (size_t size = 1; size <= 340; ++size) {
        SCOPED_TRACE(testing::Message() << "size " << size << (section ? " with" : " without")
                                        << " section, value length " << strlen(value));
        std::string expected = reference(size, section, "LocInChassis", value);
        const std::string whole = reference(4096, section, "LocInChassis", value);
        if (expected != whole) expected = std::string(1, '\0');
        std::string buffer(size, '\x7f');
        size_t length = format_vkf_text(&buffer[0], size, section, "LocInChassis", value);
        ASSERT_EQ(length, expected.size() - 1);
        ASSERT_EQ(buffer.substr(0, length + 1), expected);
      }
    }
  }
}

}  // namespace
