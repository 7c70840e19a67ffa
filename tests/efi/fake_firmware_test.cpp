// The fake firmware's own behaviour that library tests rely on.
#include <gtest/gtest-spi.h>

#include <cstring>
#include <vector>

#include "FirmwareTest.h"

namespace {

using fake::FirmwareTest;

class FakeFirmwareTest : public FirmwareTest {};

const EFI_GUID kTestGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST_F(FakeFirmwareTest, LocateHandleAnswersTheSizeItNeeds) {
  int interfaces[3];
  for (int& i : interfaces) fw.InstallProtocol(kTestGuid, &i);
  EFI_HANDLE handles[3];
  UINTN size = 8;
  EXPECT_EQ(fw.BootServices()->LocateHandle(ByProtocol, &kTestGuid, nullptr, &size, handles), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 24u);
  EXPECT_EQ(fw.BootServices()->LocateHandle(ByProtocol, &kTestGuid, nullptr, &size, handles), EFI_SUCCESS);
  EXPECT_EQ(std::vector<EFI_HANDLE>(handles, handles + 3), fw.HandlesWith(kTestGuid));
  const EFI_GUID missing = {};
  EXPECT_EQ(fw.BootServices()->LocateHandle(ByProtocol, &missing, nullptr, &size, handles), EFI_NOT_FOUND);
}

TEST_F(FakeFirmwareTest, LocateHandleBufferAllocatesFromThePool) {
  int interface = 0;
  EFI_HANDLE handle = fw.InstallProtocol(kTestGuid, &interface);
  UINTN count = 0;
  EFI_HANDLE* buffer = nullptr;
  ASSERT_EQ(fw.BootServices()->LocateHandleBuffer(ByProtocol, &kTestGuid, nullptr, &count, &buffer), EFI_SUCCESS);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(buffer[0], handle);
  EXPECT_TRUE(fw.IsLiveBlock(buffer));
  fw.BootServices()->FreePool(buffer);
  fw.FailAllocation(1);
  EXPECT_EQ(fw.BootServices()->LocateHandleBuffer(ByProtocol, &kTestGuid, nullptr, &count, &buffer),
            EFI_OUT_OF_RESOURCES);
}

// A device path of file-path-like nodes, each 6 bytes (header and one unit).
std::vector<UINT8> PathOf(std::initializer_list<UINT8> Nodes) {
  std::vector<UINT8> path;
  for (UINT8 node : Nodes) path.insert(path.end(), {MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, 6, 0, node, 0});
  path.insert(path.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  return path;
}

TEST_F(FakeFirmwareTest, LocateDevicePathTakesTheLongestPrefixOfAHandleWithTheProtocol) {
  std::vector<UINT8> shortPath = PathOf({1}), longPath = PathOf({1, 2}), otherPath = PathOf({1, 2, 3});
  int interface = 0;
  EFI_HANDLE shortHandle = fw.InstallProtocol(kTestGuid, &interface);
  fw.InstallProtocol(&shortHandle, gEfiDevicePathProtocolGuid, shortPath.data());
  EFI_HANDLE longHandle = fw.InstallProtocol(kTestGuid, &interface);
  fw.InstallProtocol(&longHandle, gEfiDevicePathProtocolGuid, longPath.data());
  // Carries the longest path but not the protocol.
  fw.InstallProtocol(gEfiDevicePathProtocolGuid, otherPath.data());

  std::vector<UINT8> asked = PathOf({1, 2, 3, 4});
  auto* path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(asked.data());
  EFI_HANDLE device = nullptr;
  ASSERT_EQ(fw.BootServices()->LocateDevicePath(&kTestGuid, &path, &device), EFI_SUCCESS);
  EXPECT_EQ(device, longHandle);
  EXPECT_EQ(reinterpret_cast<UINT8*>(path), asked.data() + 12);

  std::vector<UINT8> unrelated = PathOf({9});
  path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(unrelated.data());
  EXPECT_EQ(fw.BootServices()->LocateDevicePath(&kTestGuid, &path, &device), EFI_NOT_FOUND);
}

TEST_F(FakeFirmwareTest, DoubleAndForeignFreesFailTheTest) {
  void* block = nullptr;
  fw.BootServices()->AllocatePool(EfiBootServicesData, 8, &block);
  fw.BootServices()->FreePool(block);
  EXPECT_NONFATAL_FAILURE(fw.BootServices()->FreePool(block), "double or foreign free");
  int local = 0;
  EXPECT_NONFATAL_FAILURE(fw.BootServices()->FreePool(&local), "double or foreign free");
}

TEST_F(FakeFirmwareTest, FailureInjectionCountsFromNow) {
  void* blocks[4] = {};
  fw.FailAllocation(2);
  for (void*& block : blocks) fw.BootServices()->AllocatePool(EfiBootServicesData, 8, &block);
  EXPECT_NE(blocks[0], nullptr);
  EXPECT_EQ(blocks[1], nullptr);
  EXPECT_NE(blocks[2], nullptr);
  fw.FailAllocationsFrom(1);
  void* failed = nullptr;
  EXPECT_EQ(fw.BootServices()->AllocatePool(EfiBootServicesData, 8, &failed), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(fw.BootServices()->AllocatePool(EfiBootServicesData, 8, &failed), EFI_OUT_OF_RESOURCES);
  for (void* block : blocks) {
    if (block != nullptr) fw.BootServices()->FreePool(block);
  }
}

TEST_F(FakeFirmwareTest, ExitReturnsToRunImageWithItsArguments) {
  EFI_HANDLE image = fw.ImageHandle();
  fake::ImageRunResult result = fw.RunImage([&] {
    fw.BootServices()->Exit(image, EFI_ABORTED, 0, nullptr);
    ADD_FAILURE() << "Exit returned";
    return EFI_SUCCESS;
  });
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.ExitHandle, image);
  EXPECT_EQ(result.Status, EFI_ABORTED);
  EXPECT_EQ(result.ExitDataSize, 0u);

  result = fw.RunImage([] { return EFI_NOT_FOUND; });
  EXPECT_FALSE(result.Exited);
  EXPECT_EQ(result.Status, EFI_NOT_FOUND);
}

TEST_F(FakeFirmwareTest, GetVariableFollowsTheSizeProtocol) {
  fw.SetStringVariable(u"PlatformLang", gEfiGlobalVariableGuid, "fr-FR");
  char data[16] = {};
  UINTN size = 2;
  EXPECT_EQ(fw.RuntimeServices()->GetVariable(u"PlatformLang", &gEfiGlobalVariableGuid, nullptr, &size, data),
            EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(fw.RuntimeServices()->GetVariable(u"PlatformLang", &gEfiGlobalVariableGuid, nullptr, &size, data),
            EFI_SUCCESS);
  EXPECT_STREQ(data, "fr-FR");
  EXPECT_EQ(fw.RuntimeServices()->GetVariable(u"PlatformLang", &gEfiDebugMaskVariableGuid, nullptr, &size, data),
            EFI_NOT_FOUND);
}

TEST_F(FakeFirmwareTest, ConsoleRecordsRunsUnderTheirAttributes) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = fw.ConOut().Protocol();
  out->OutputString(out, u"a");
  out->SetAttribute(out, 0x0F);
  out->OutputString(out, u"b");
  out->OutputString(out, u"c");
  out->SetAttribute(out, 0x07);
  out->OutputString(out, u"");
  ASSERT_EQ(fw.ConOut().Runs().size(), 2u);
  EXPECT_EQ(fw.ConOut().Runs()[0].Text, u"a");
  EXPECT_EQ(fw.ConOut().Runs()[1].Attribute, 0x0Fu);
  EXPECT_EQ(fw.ConOut().Runs()[1].Text, u"bc");
  EXPECT_EQ(fw.ConOut().Calls().size(), 6u);
  EXPECT_EQ(fw.ConOut().ModeAttribute(), 0x07);
}

}  // namespace
