// The grow-and-retry step and variable reads.
#include <string>
#include <vector>

#include "FirmwareTest.h"
#include "Mem.h"
#include "Misc.h"

namespace {

using fake::FirmwareTest;

const EFI_GUID kVendor = {0xFEEDF00D, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};

class VariableTest : public FirmwareTest {
 protected:
  std::vector<UINT8> Bytes(size_t Size) {
    std::vector<UINT8> data(Size);
    for (size_t i = 0; i < Size; ++i) data[i] = UINT8(i * 7 + 1);
    return data;
  }
};

struct ReadCase {
  size_t Size;
  size_t GetVariableCalls;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.Size << " bytes"; }

class ReadVariableTest : public VariableTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadVariableTest, ReturnsThePoolCopyAndItsSize) {
  fw.SetVariable(u"Thing", kVendor, Bytes(GetParam().Size));
  UINTN size = 12345;
  auto* data = static_cast<UINT8*>(LibReadVariable(u"Thing", &kVendor, &size));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, GetParam().Size);
  EXPECT_EQ(std::vector<UINT8>(data, data + size), Bytes(GetParam().Size));
  EXPECT_EQ(fw.GetVariableCalls(u"Thing"), GetParam().GetVariableCalls);
  // The first guess is 100 bytes; a larger variable gets a block of its exact size.
  EXPECT_EQ(fw.FindBlock(data)->Size, GetParam().Size > 100 ? GetParam().Size : 100u);
  ReleasePool(data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadVariableTest,
                         ::testing::Values(ReadCase{1, 1}, ReadCase{100, 1}, ReadCase{101, 2}, ReadCase{4000, 2}));

TEST_F(VariableTest, MissingVariableGivesNullAndSizeZero) {
  UINTN size = 12345;
  EXPECT_EQ(LibReadVariable(u"Thing", &kVendor, &size), nullptr);
  EXPECT_EQ(size, 0u);
  fw.SetVariable(u"Thing", gEfiGlobalVariableGuid, Bytes(4));  // same name, other vendor
  EXPECT_EQ(LibReadVariable(u"Thing", &kVendor), nullptr);
}

TEST_F(VariableTest, ReadVariableLeaksNothingWhenAnAllocationFails) {
  fw.SetVariable(u"Thing", kVendor, Bytes(150));
  size_t runs = fake::FailEachAllocation(fw, [&](size_t) {
    UINTN size = 12345;
    void* data = LibReadVariable(u"Thing", &kVendor, &size);
    if (data == nullptr) {
      EXPECT_EQ(size, 0u);
    } else {
      ReleasePool(data);
    }
  });
  EXPECT_EQ(runs, 2u);
}

TEST_F(VariableTest, ReadVariableReportsANullSizePointer) {
  EXPECT_EQ(LibReadVariable(u"Thing", &kVendor, nullptr), nullptr);
  EXPECT_EQ(fw.TakeAssertConditions(), std::vector<std::string>{"VarSize != ((void *) 0)"});
}

TEST_F(VariableTest, BufferRetryWithoutBufferOrSizeDoesNotCall) {
  EFI_STATUS status = EFI_SUCCESS;
  VOID* buffer = nullptr;
  EXPECT_FALSE(LibBufferRetry(&status, &buffer, 0));
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(fw.AllocationCalls(), 0u);
}

TEST_F(VariableTest, BufferRetryFreesTheBufferOnAnyOtherError) {
  EFI_STATUS status = EFI_SUCCESS;
  VOID* buffer = nullptr;
  ASSERT_TRUE(LibBufferRetry(&status, &buffer, 16));
  EXPECT_EQ(status, EFI_BUFFER_TOO_SMALL);
  status = EFI_DEVICE_ERROR;
  EXPECT_FALSE(LibBufferRetry(&status, &buffer, 16));
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(status, EFI_DEVICE_ERROR);
}

TEST_F(VariableTest, BufferRetryReplacesATooSmallBufferWithAZeroedOne) {
  EFI_STATUS status = EFI_SUCCESS;
  VOID* buffer = nullptr;
  ASSERT_TRUE(LibBufferRetry(&status, &buffer, 4));
  void* first = buffer;
  status = EFI_BUFFER_TOO_SMALL;
  ASSERT_TRUE(LibBufferRetry(&status, &buffer, 32));
  EXPECT_FALSE(fw.IsLiveBlock(first));
  EXPECT_EQ(fw.FindBlock(buffer)->Size, 32u);
  EXPECT_EQ(std::vector<UINT8>(static_cast<UINT8*>(buffer), static_cast<UINT8*>(buffer) + 32),
            std::vector<UINT8>(32, 0));
  status = EFI_SUCCESS;
  EXPECT_FALSE(LibBufferRetry(&status, &buffer, 32));
  ReleasePool(buffer);
}

TEST_F(VariableTest, BufferRetryReportsNullPointers) {
  EFI_STATUS status = EFI_SUCCESS;
  VOID* buffer = nullptr;
  EXPECT_FALSE(LibBufferRetry(nullptr, &buffer, 4));
  EXPECT_FALSE(LibBufferRetry(&status, nullptr, 4));
  EXPECT_EQ(fw.TakeAssertConditions(), (std::vector<std::string>{"Status != ((void *) 0)", "Buffer != ((void *) 0)"}));
}

}  // namespace
