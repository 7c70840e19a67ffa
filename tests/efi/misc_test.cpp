// GUID comparison and the 64-bit arithmetic.
#include <cstring>

#include "FirmwareTest.h"
#include "Misc.h"
#include "ipf/math.h"

namespace {

using fake::FirmwareTest;

class GuidCompareTest : public FirmwareTest {};

TEST_F(GuidCompareTest, IsZeroOnlyForEqualGuids) {
  EFI_GUID guid = gEfiShellEnvironment2SignatureGuid;
  EXPECT_EQ(LibGuidCompare(&guid, &gEfiShellEnvironment2SignatureGuid), 0);
  EXPECT_EQ(LibGuidCompare(&guid, &guid), 0);
  // A difference in any single byte, in either direction, is found.
  for (size_t byte = 0; byte < sizeof guid; ++byte) {
    for (UINT8 delta : {UINT8(1), UINT8(0xFF), UINT8(0x80)}) {
      EFI_GUID other = guid;
      reinterpret_cast<UINT8*>(&other)[byte] += delta;
      EXPECT_NE(LibGuidCompare(&guid, &other), 0) << "byte " << byte;
      EXPECT_NE(LibGuidCompare(&other, &guid), 0) << "byte " << byte;
    }
  }
}

TEST_F(GuidCompareTest, NullGuidsAreReported) {
  LibGuidCompare(nullptr, &gEfiGlobalVariableGuid);
  LibGuidCompare(&gEfiGlobalVariableGuid, nullptr);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[0].Condition, "Guid1 != ((void *) 0)");
  EXPECT_EQ(asserts[1].Condition, "Guid2 != ((void *) 0)");
  EXPECT_EQ(asserts[0].File, "Shell/Library/Misc");
}

struct DivideCase {
  UINT64 Dividend, Divisor, Quotient, Remainder;
};

void PrintTo(const DivideCase& c, std::ostream* os) { *os << c.Dividend << " / " << c.Divisor; }

class DivideTest : public FirmwareTest, public ::testing::WithParamInterface<DivideCase> {};

TEST_P(DivideTest, GivesQuotientAndRemainder) {
  const DivideCase& c = GetParam();
  UINT64 remainder = 12345;
  EXPECT_EQ(DivideU64(c.Dividend, c.Divisor, &remainder), c.Quotient);
  EXPECT_EQ(remainder, c.Remainder);
  EXPECT_EQ(DivideU64(c.Dividend, c.Divisor, nullptr), c.Quotient);
}

INSTANTIATE_TEST_SUITE_P(Cases, DivideTest,
                         ::testing::Values(DivideCase{0, 10, 0, 0}, DivideCase{9, 10, 0, 9},
                                           DivideCase{1234567, 10, 123456, 7},
                                           DivideCase{~0ULL, 10, 1844674407370955161ULL, 5},
                                           DivideCase{0x8000000000000000ULL, 10, 922337203685477580ULL, 8}));

TEST_F(DivideTest, ZeroDivisorIsReported) {
  DivideU64(5, 0, nullptr);
  EXPECT_EQ(fw.TakeAssertConditions(), std::vector<std::string>{"Divisor != 0"});
}

TEST(ShiftRight64, IsALogicalShift) {
  EXPECT_EQ(ShiftRight64(0xF000000000000000ULL, 4), 0x0F00000000000000ULL);
  EXPECT_EQ(ShiftRight64(0x1F, 4), 0x1u);
  EXPECT_EQ(ShiftRight64(0x1234, 0), 0x1234u);
  EXPECT_EQ(ShiftRight64(~0ULL, 63), 1u);
}

}  // namespace
