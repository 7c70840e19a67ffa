// Pool and memory routines on the fake firmware.
#include <cstring>
#include <vector>

#include "FirmwareTest.h"
#include "Init.h"
#include "Mem.h"

namespace {

using fake::FirmwareTest;

class MemTest : public FirmwareTest {};

TEST_F(MemTest, AllocatePoolUsesTheLibraryPoolType) {
  LibPoolType = EfiLoaderData;
  void* block = AllocatePool(24);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(fw.FindBlock(block)->Type, EfiLoaderData);
  EXPECT_EQ(fw.FindBlock(block)->Size, 24u);
  EXPECT_EQ(ReleasePool(block), EFI_SUCCESS);
}

TEST_F(MemTest, FailedAllocationReportsOnceAndReturnsNull) {
  fw.FailAllocation(1);
  EXPECT_EQ(AllocatePool(16), nullptr);
  // The report goes to standard error; the format starts with this text
  // whatever the formatted-output engine makes of its directive.
  EXPECT_EQ(fw.StdErr().Ascii().rfind("AllocatePool: out of pool  ", 0), 0u) << fw.StdErr().Ascii();
  EXPECT_EQ(fw.ConOut().Ascii(), "");
}

TEST_F(MemTest, FailedAllocationIsSilentWhenTheDebugMaskExcludesErrors) {
  fw.SetVariable(u"EFIDebug", gEfiDebugMaskVariableGuid, {0x40, 0, 0, 0, 0, 0, 0, 0});
  fw.FailAllocation(1);
  EXPECT_EQ(AllocatePool(16), nullptr);
  EXPECT_EQ(fw.StdErr().Ascii(), "");
}

TEST_F(MemTest, PoolExhaustedForGoodStillReturnsNull) {
  // The report of the failure needs pool itself; it must not recurse.
  fw.FailAllocationsFrom(1);
  EXPECT_EQ(AllocatePool(16), nullptr);
  EXPECT_EQ(AllocateZeroedPool(16), nullptr);
}

TEST_F(MemTest, AllocateZeroedPoolClearsTheBlock) {
  auto* block = static_cast<UINT8*>(AllocateZeroedPool(33));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::vector<UINT8>(block, block + 33), std::vector<UINT8>(33, 0));
  ReleasePool(block);
  fw.FailAllocation(1);
  EXPECT_EQ(AllocateZeroedPool(8), nullptr);
}

TEST_F(MemTest, ReleasePoolOfNullIsReportedAndNotPassedOn) {
  EXPECT_TRUE(EFI_ERROR(ReleasePool(nullptr)));
  EXPECT_EQ(fw.ServiceCallCount("FreePool"), 0u);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0].Condition, "Buffer");
  EXPECT_EQ(asserts[0].File, "Shell/Library/Mem");
}

// An old block of 10 bytes 0..9, resized.
struct ResizeCase {
  UINTN NewSize;
  bool FailAllocation;
  UINTN KeptBytes;  // leading bytes of the old block found in the new one
};

void PrintTo(const ResizeCase& c, std::ostream* os) {
  *os << "to " << c.NewSize << (c.FailAllocation ? ", allocation fails" : "");
}

class ResizePoolTest : public FirmwareTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(ResizePoolTest, KeepsTheLeadingBytesAndAlwaysFreesTheOldBlock) {
  const ResizeCase& c = GetParam();
  auto* old = static_cast<UINT8*>(AllocatePool(10));
  for (UINT8 i = 0; i < 10; ++i) old[i] = i;
  if (c.FailAllocation) fw.FailAllocation(1);
  auto* resized = static_cast<UINT8*>(ResizePool(old, 10, c.NewSize));
  EXPECT_FALSE(fw.IsLiveBlock(old));
  if (c.NewSize == 0 || c.FailAllocation) {
    EXPECT_EQ(resized, nullptr);
    return;
  }
  ASSERT_NE(resized, nullptr);
  EXPECT_EQ(fw.FindBlock(resized)->Size, c.NewSize);
  for (UINT8 i = 0; i < c.KeptBytes; ++i) EXPECT_EQ(resized[i], i);
  ReleasePool(resized);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResizePoolTest,
                         ::testing::Values(ResizeCase{4, false, 4}, ResizeCase{16, false, 10},
                                           ResizeCase{10, false, 10}, ResizeCase{0, false, 0}, ResizeCase{4, true, 0}));

TEST_F(MemTest, ResizePoolOfNullOnlyAllocates) {
  void* block = ResizePool(nullptr, 0, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(fw.FreeCalls(), 0u);
  ReleasePool(block);
  EXPECT_EQ(ResizePool(nullptr, 0, 0), nullptr);
}

// Source at offset 8 of a 32-byte area; the destination at Offset.
struct MoveCase {
  size_t Offset;
  size_t Length;
};

void PrintTo(const MoveCase& c, std::ostream* os) { *os << "to offset " << c.Offset << ", " << c.Length << " bytes"; }

class MoveMemTest : public FirmwareTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveMemTest, CopiesWhatTheSourceHeldBeforeTheCopy) {
  const MoveCase& c = GetParam();
  UINT8 area[32];
  for (UINT8 i = 0; i < 32; ++i) area[i] = UINT8(0x40 + i);
  UINT8 expected[32];
  std::memcpy(expected, area, sizeof area);
  std::memmove(expected + c.Offset, expected + 8, c.Length);
  MoveMem(area + c.Offset, area + 8, c.Length);
  EXPECT_EQ(std::vector<UINT8>(area, area + 32), std::vector<UINT8>(expected, expected + 32));
}

// One byte after the source, at the source's last byte, before it, far away,
// the same place, and nothing at all.
INSTANTIATE_TEST_SUITE_P(Overlaps, MoveMemTest,
                         ::testing::Values(MoveCase{9, 10}, MoveCase{17, 10}, MoveCase{7, 10}, MoveCase{0, 8},
                                           MoveCase{20, 10}, MoveCase{8, 10}, MoveCase{9, 0}));

TEST_F(MemTest, FillBytesWritesExactlyCountBytesAtAnyAlignment) {
  for (size_t count = 0; count < 11; ++count) {
    UINT8 area[16];
    std::memset(area, 0xEE, sizeof area);
    EXPECT_EQ(FillBytes(area + 1, 0x5A, count), area + 1);
    for (size_t i = 0; i < sizeof area; ++i) {
      bool inside = i >= 1 && i < 1 + count;
      EXPECT_EQ(area[i], inside ? 0x5A : 0xEE) << "count " << count << ", byte " << i;
    }
  }
}

TEST_F(MemTest, NullArgumentsAreReportedWithTheirConditionTexts) {
  UINT8 byte = 0;
  FillMem(nullptr, 4, 0);
  ClearMem(nullptr, 4);
  MoveMem(nullptr, &byte, 1);
  MoveMem(&byte, nullptr, 1);
  EXPECT_EQ(fw.TakeAssertConditions(), (std::vector<std::string>{"Buffer != ((void *) 0)", "Buffer != ((void *) 0)",
                                                                 "Dest != ((void *) 0)", "Src != ((void *) 0)"}));
}

TEST_F(MemTest, AppAllocZeroedTakesReservedMemoryAndClearsThroughSetMem) {
  void* block = AppAllocZeroed(fw.BootServices(), 256);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(fw.FindBlock(block)->Type, EfiReservedMemoryType);
  EXPECT_EQ(fw.SetMemCalls(), 1u);
  EXPECT_EQ(std::vector<UINT8>(static_cast<UINT8*>(block), static_cast<UINT8*>(block) + 256),
            std::vector<UINT8>(256, 0));
  fw.BootServices()->FreePool(block);
}

TEST_F(MemTest, AppAllocZeroedFailsSilently) {
  fw.FailAllocation(1);
  EXPECT_EQ(AppAllocZeroed(fw.BootServices(), 256), nullptr);
  EXPECT_EQ(fw.SetMemCalls(), 0u);
  EXPECT_EQ(fw.StdErr().Ascii(), "");
}

}  // namespace
