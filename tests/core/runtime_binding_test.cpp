// qorvexw's memory and formatting bindings. The formatter works without
// snprintf; it must give exactly what snprintf gives with the record
// formats, and nothing at all (0 and an empty text) where snprintf would cut
// the record. The allocator keeps released blocks for reuse; every block must
// still come zero-filled and apart from every other live block.
#include "runtime_binding.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

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

const size_t kSizes[] = {0, 1, 15, 16, 17, 100, kLargestKeptBlock - 1, kLargestKeptBlock, kLargestKeptBlock + 1, 5000};

bool all_zero(const void* block, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// Blocks written to and released come back zero-filled; blocks live at the
// same time do not overlap.
TEST(RuntimeBindingTest, ReusedBlocksAreZeroFilledAndApart) {
  for (int round = 0; round < 3; ++round) {
    std::vector<void*> blocks;
    for (size_t size : kSizes) {
      for (int copy = 0; copy < 3; ++copy) {
        void* block = alloc_zeroed(size);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(all_zero(block, size)) << "size " << size << ", round " << round;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(max_align_t), 0u);
        memset(block, 0xA5, size);
        blocks.push_back(block);
      }
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
      const size_t size = kSizes[i / 3];
      EXPECT_TRUE(size == 0 || static_cast<unsigned char*>(blocks[i])[size - 1] == 0xA5)
          << "block " << i << " was overwritten";
    }
    for (void* block : blocks) release_memory(block);
  }
  release_memory(nullptr);
  release_kept_blocks();
}

// What makes the allocator cheap: a released small block serves the next
// request of its size instead of the C runtime.
TEST(RuntimeBindingTest, ReleasedSmallBlockIsReused) {
  void* first = alloc_zeroed(20);
  release_memory(first);
  EXPECT_EQ(alloc_zeroed(20), first);
  release_memory(first);
  release_kept_blocks();
}

TEST(RuntimeBindingTest, ImpossibleSizeGivesNull) {
  EXPECT_EQ(alloc_zeroed(SIZE_MAX), nullptr);
  EXPECT_EQ(alloc_zeroed(SIZE_MAX - 8), nullptr);
}

}  // namespace
