// Host tests of the version-2 shell environment that a UEFI 2.x shell answers
// (start-up under such a shell, and shellbridge.efi), on a small pool that
// records every live block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "UefiShellEnvironment.h"
#include "Guids.h"

namespace {

// The pool behind the boot services that the environment uses.
struct Pool {
  std::set<void*> Live;
  int FailAfter = -1;  // allocations that still succeed; -1 = all
  int Frees = 0;
};
Pool* gPool;

EFI_STATUS EFIAPI FakeAllocatePool(EFI_MEMORY_TYPE, UINTN Size, VOID** Buffer) {
  if (gPool->FailAfter == 0) return EFI_OUT_OF_RESOURCES;
  if (gPool->FailAfter > 0) --gPool->FailAfter;
  *Buffer = std::malloc(Size);
  gPool->Live.insert(*Buffer);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeFreePool(VOID* Buffer) {
  EXPECT_EQ(gPool->Live.erase(Buffer), 1u) << "free of a block that is not live";
  std::free(Buffer);
  ++gPool->Frees;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeSetMem(VOID* Buffer, UINTN Size, UINT8 Value) {
  std::memset(Buffer, Value, Size);
  return EFI_SUCCESS;
}

// The UEFI shell's name mapping: names starting with "fsx:" cannot be mapped,
// every other name becomes one file-path node in a new pool block.
int gMapCalls;
EFI_DEVICE_PATH_PROTOCOL* EFIAPI FakeGetDevicePathFromFilePath(const CHAR16* Path) {
  ++gMapCalls;
  std::u16string name(Path);
  if (name.rfind(u"fsx:", 0) == 0) return nullptr;
  const UINTN nodeSize = 4 + (name.size() + 1) * sizeof(CHAR16);
  VOID* block = nullptr;
  if (EFI_ERROR(FakeAllocatePool(EfiBootServicesData, nodeSize + 4, &block))) return nullptr;
  UINT8* bytes = static_cast<UINT8*>(block);
  bytes[0] = MEDIA_DEVICE_PATH;
  bytes[1] = MEDIA_FILEPATH_DP;
  bytes[2] = static_cast<UINT8>(nodeSize);
  bytes[3] = static_cast<UINT8>(nodeSize >> 8);
  std::memcpy(bytes + 4, name.c_str(), (name.size() + 1) * sizeof(CHAR16));
  const UINT8 end[4] = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0};
  std::memcpy(bytes + nodeSize, end, 4);
  return static_cast<EFI_DEVICE_PATH_PROTOCOL*>(block);
}

std::u16string FileNodeText(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  return reinterpret_cast<const FILEPATH_DEVICE_PATH*>(Path)->PathName;
}

class UefiShellEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gPool = &pool_;
    gMapCalls = 0;
    bootServices_.AllocatePool = FakeAllocatePool;
    bootServices_.FreePool = FakeFreePool;
    bootServices_.SetMem = FakeSetMem;
    shell_.GetDevicePathFromFilePath = FakeGetDevicePathFromFilePath;
    std::memset(&env_, 0xAF, sizeof(env_));
    UefiShellEnvironmentInit(&env_, &shell_, &bootServices_);
  }
  void TearDown() override {
    UefiShellEnvironmentRelease();
    EXPECT_TRUE(pool_.Live.empty()) << pool_.Live.size() << " pool blocks left";
    gPool = nullptr;
  }

  Pool pool_;
  EFI_BOOT_SERVICES bootServices_ = {};
  EFI_SHELL_PROTOCOL shell_ = {};
  EFI_SHELL_ENVIRONMENT2 env_;
};

TEST_F(UefiShellEnvironmentTest, IsVersion2WithOnlyItsOwnSlotsFilled) {
  EXPECT_EQ(std::memcmp(&env_.SESGuid, &gEfiShellEnvironment2SignatureGuid, sizeof(EFI_GUID)), 0);
  EXPECT_EQ(env_.MajorVersion, 1u);
  EXPECT_EQ(env_.Execute, nullptr);
  EXPECT_EQ(env_.GetEnv, nullptr);
  for (VOID* slot : env_.Reserved) EXPECT_EQ(slot, nullptr);
  EXPECT_NE(env_.GetProt, nullptr);
  EXPECT_NE(env_.NameToPath, nullptr);
  env_.EnablePageBreak(0, TRUE);
  env_.DisablePageBreak();
  EXPECT_EQ(env_.GetPageBreak(), FALSE);
}

TEST_F(UefiShellEnvironmentTest, KeyFilterIsKeptAndStartsAgainOnInit) {
  EXPECT_EQ(env_.GetKeyFilter(), 0x7u);
  env_.SetKeyFilter(env_.GetKeyFilter() & ~EFI_OUTPUT_PAUSE);
  EXPECT_EQ(env_.GetKeyFilter(), 0x5u);
  env_.SetKeyFilter(0xFFFFFFFF);
  EXPECT_EQ(env_.GetKeyFilter(), 0xFFFFFFFFu);
  UefiShellEnvironmentInit(&env_, &shell_, &bootServices_);
  EXPECT_EQ(env_.GetKeyFilter(), 0x7u);
}

TEST_F(UefiShellEnvironmentTest, NamesWellKnownGuidsOnly) {
  EXPECT_EQ(std::u16string(env_.GetProt(&gEfiShellInterfaceGuid, FALSE)), u"ShellInt");
  EXPECT_EQ(std::u16string(env_.GetProt(&gEfiLoadedImageProtocolGuid, TRUE)), u"Image");
  const EFI_GUID unknown = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(env_.GetProt(&unknown, TRUE), nullptr);
  EXPECT_EQ(env_.GetProt(nullptr, FALSE), nullptr);
}

TEST_F(UefiShellEnvironmentTest, MappedPathsLiveUntilReleased) {
  EFI_DEVICE_PATH_PROTOCOL* dump = env_.NameToPath(u"d8.txt");
  EFI_DEVICE_PATH_PROTOCOL* vkf = env_.NameToPath(u"o.vkf");
  ASSERT_NE(dump, nullptr);
  ASSERT_NE(vkf, nullptr);
  EXPECT_EQ(FileNodeText(dump), u"d8.txt");
  EXPECT_EQ(FileNodeText(vkf), u"o.vkf");
  EXPECT_TRUE(pool_.Live.count(dump));
  EXPECT_TRUE(pool_.Live.count(vkf));
  UefiShellEnvironmentRelease();
  EXPECT_TRUE(pool_.Live.empty());
  UefiShellEnvironmentRelease();  // nothing left: frees nothing twice
  EXPECT_EQ(pool_.Frees, 4);      // two paths, two records
}

TEST_F(UefiShellEnvironmentTest, UnmappableNameGivesNull) {
  EXPECT_EQ(env_.NameToPath(u"fsx:\\a"), nullptr);
  EXPECT_EQ(gMapCalls, 1);
  EXPECT_EQ(env_.NameToPath(nullptr), nullptr);
  EXPECT_EQ(gMapCalls, 1);
}

TEST_F(UefiShellEnvironmentTest, PathWithoutRoomForItsRecordIsFreedAndRefused) {
  pool_.FailAfter = 1;  // the mapping's own block, then no more
  EXPECT_EQ(env_.NameToPath(u"d8.txt"), nullptr);
  EXPECT_TRUE(pool_.Live.empty());
  pool_.FailAfter = -1;
  EXPECT_NE(env_.NameToPath(u"d8.txt"), nullptr);
}

}  // namespace
