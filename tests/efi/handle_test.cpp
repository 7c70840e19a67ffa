// Handle search and protocol lookup.
#include <deque>
#include <vector>

#include "FirmwareTest.h"
#include "Handle.h"
#include "Mem.h"

namespace {

using fake::FirmwareTest;

const EFI_GUID kWidgetGuid = {0x0BADCAFE, 0x1111, 0x2222, {3, 3, 4, 4, 5, 5, 6, 6}};

class HandleTest : public FirmwareTest {
 protected:
  void AddWidgets(size_t Count) {
    for (size_t i = 0; i < Count; ++i) fw.InstallProtocol(kWidgetGuid, &widgets_.emplace_back(int(i)));
  }
  std::deque<int> widgets_;
};

struct SearchCase {
  size_t Handles;
  size_t LocateHandleCalls;
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.Handles << " handles"; }

class FindHandlesTest : public HandleTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(FindHandlesTest, GrowsTheBufferToTheSizeTheFirmwareAsksFor) {
  AddWidgets(GetParam().Handles);
  UINTN count = 99;
  EFI_HANDLE* handles = nullptr;
  ASSERT_EQ(LibFindHandles(ByProtocol, &kWidgetGuid, nullptr, &count, &handles), EFI_SUCCESS);
  EXPECT_EQ(count, GetParam().Handles);
  EXPECT_EQ(std::vector<EFI_HANDLE>(handles, handles + count), fw.HandlesWith(kWidgetGuid));
  EXPECT_EQ(fw.ServiceCallCount("LocateHandle"), GetParam().LocateHandleCalls);
  // The first guess holds 50 handles; a larger answer is allocated exactly.
  EXPECT_EQ(fw.FindBlock(handles)->Size, GetParam().Handles > 50 ? GetParam().Handles * 8 : 400u);
  ReleasePool(handles);
}

INSTANTIATE_TEST_SUITE_P(Counts, FindHandlesTest,
                         ::testing::Values(SearchCase{1, 1}, SearchCase{50, 1}, SearchCase{51, 2}, SearchCase{60, 2}));

TEST_F(HandleTest, FindHandlesOfAnAbsentProtocolLeavesNoBuffer) {
  UINTN count = 99;
  EFI_HANDLE* handles = reinterpret_cast<EFI_HANDLE*>(&count);
  EXPECT_EQ(LibFindHandles(ByProtocol, &kWidgetGuid, nullptr, &count, &handles), EFI_NOT_FOUND);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(handles, nullptr);
}

TEST_F(HandleTest, FindHandlesLeaksNothingWhenAnAllocationFails) {
  AddWidgets(60);
  size_t runs = fake::FailEachAllocation(fw, [&](size_t failing) {
    UINTN count = 99;
    EFI_HANDLE* handles = nullptr;
    EFI_STATUS status = LibFindHandles(ByProtocol, &kWidgetGuid, nullptr, &count, &handles);
    if (failing <= 2) {
      EXPECT_EQ(status, EFI_OUT_OF_RESOURCES);
      EXPECT_EQ(count, 0u);
      EXPECT_EQ(handles, nullptr);
    }
    if (handles != nullptr) ReleasePool(handles);
  });
  EXPECT_GE(runs, 2u);
}

TEST_F(HandleTest, FindHandlesReportsNullOutPointers) {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  LibFindHandles(ByProtocol, &kWidgetGuid, nullptr, nullptr, &handles);
  LibFindHandles(ByProtocol, &kWidgetGuid, nullptr, &count, nullptr);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[0].Condition, "NoHandles != ((void *) 0)");
  EXPECT_EQ(asserts[1].Condition, "Buffer != ((void *) 0)");
  EXPECT_EQ(asserts[0].File, "Shell/Library/Handle");
}

TEST_F(HandleTest, LocateProtocolTakesTheFirstHandleThatAnswers) {
  AddWidgets(3);
  fw.FailProtocolLookup(fw.HandlesWith(kWidgetGuid)[0], kWidgetGuid, EFI_ACCESS_DENIED);
  VOID* interface = nullptr;
  EXPECT_EQ(LibLocateProtocol(&kWidgetGuid, &interface), EFI_SUCCESS);
  EXPECT_EQ(interface, &widgets_[1]);
}

TEST_F(HandleTest, LocateProtocolOfAnAbsentProtocolGivesTheSearchStatus) {
  VOID* interface = &widgets_;
  EXPECT_EQ(LibLocateProtocol(&kWidgetGuid, &interface), EFI_NOT_FOUND);
  EXPECT_EQ(interface, nullptr);
  EXPECT_EQ(fw.StdErr().Ascii(), "");  // an information report, not shown by default
}

TEST_F(HandleTest, LocateProtocolWhenNoHandleAnswersKeepsTheInterfaceNull) {
  AddWidgets(2);
  for (EFI_HANDLE handle : fw.HandlesWith(kWidgetGuid)) fw.FailProtocolLookup(handle, kWidgetGuid, EFI_ACCESS_DENIED);
  VOID* interface = &widgets_;
  EXPECT_EQ(LibLocateProtocol(&kWidgetGuid, &interface), EFI_ACCESS_DENIED);
  EXPECT_EQ(interface, nullptr);
}

TEST_F(HandleTest, LocateProtocolLeaksNothingWhenAnAllocationFails) {
  AddWidgets(1);
  fake::FailEachAllocation(fw, [&](size_t failing) {
    VOID* interface = nullptr;
    EFI_STATUS status = LibLocateProtocol(&kWidgetGuid, &interface);
    if (failing == 1) {
      EXPECT_EQ(status, EFI_OUT_OF_RESOURCES);
      EXPECT_EQ(interface, nullptr);
    }
  });
}

}  // namespace
