// File access: opening by shell name and by device path, the information
// query and the pass-through routines, on the fake file system.
#include <cstring>
#include <string>
#include <vector>

#include "DPath.h"
#include "FakeConsole.h"
#include "FakeFileSystem.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FileIO.h"
#include "FirmwareTest.h"
#include "Init.h"
#include "Mem.h"

namespace {

using fake::FirmwareTest;
using fake::Narrow;

// A handle value that no open writes.
EFI_FILE_PROTOCOL* const kUntouched = reinterpret_cast<EFI_FILE_PROTOCOL*>(0x5A5A5A5A);

class FileIoTest : public FirmwareTest {
 protected:
  void SetUp() override {
    FirmwareTest::SetUp();
    shell.InstallOnImage();
    LibShellEnvironment = &shell.Environment();
    fs0.WriteFile(u"\\dump.txt", "SMBIOS dump");
    fs0.WriteFile(u"\\dir\\sub\\deep.txt", "deep");
  }

  // "Open(name mode attributes)=status" for each Open call since the last look.
  std::vector<std::string> TakeOpens() {
    std::vector<std::string> opens;
    for (const fake::FileCall& call : fs.CallsOf("Open")) {
      char text[96];
      std::snprintf(text, sizeof text, "%s %s %llx %llx =%llx", Narrow(call.Path).c_str(), Narrow(call.Name).c_str(),
                    (unsigned long long)call.Mode, (unsigned long long)call.Attributes,
                    (unsigned long long)call.Status);
      opens.push_back(text);
    }
    fs.ClearCalls();
    return opens;
  }

  std::string ReadAll(EFI_FILE_PROTOCOL* File) {
    char buffer[64];
    UINTN size = sizeof buffer;
    EXPECT_EQ(FileRead(File, &size, buffer), EFI_SUCCESS);
    return std::string(buffer, size);
  }

  fake::FakeShell shell{fw};
  fake::FakeFileSystem fs{fw};
  fake::FakeVolume& fs0 = fs.AddVolume();
  fake::FakeShellMap map{shell, fs};
  EFI_FILE_PROTOCOL* file = kUntouched;
};

TEST_F(FileIoTest, OpensAFileByShellNameAndClosesTheRoot) {
  ASSERT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_SUCCESS);
  EXPECT_EQ(fs.OpenHandleCount(), 1u);
  EXPECT_EQ(fs.OpenHandlePaths(), std::vector<std::u16string>{u"\\dump.txt"});
  EXPECT_EQ(ReadAll(file), "SMBIOS dump");
  EXPECT_EQ(FileClose(file), EFI_SUCCESS);
  EXPECT_EQ(map.MappedNames(), std::vector<std::u16string>{u"fs0:\\dump.txt"});
}

TEST_F(FileIoTest, UnmappableNameIsADeviceErrorAndLeavesTheHandle) {
  for (const char16_t* name : {u"fs7:\\dump.txt", u"nomap:x"}) {
    EXPECT_EQ(FileOpenByName(name, &file, kOpenForReading, 0), EFI_DEVICE_ERROR) << Narrow(name);
    EXPECT_EQ(file, kUntouched);
  }
  EXPECT_EQ(fs.Calls().size(), 0u);
}

struct PathCase {
  const char* What;
  std::vector<UINT8> Path;
  UINT64 Mode, Attributes;
  EFI_STATUS Status;
  std::string Handle;  // the open file's path, "null" or "untouched"
  std::vector<std::string> Opens;
};

// Every open leaves exactly the final file's handle open; each Open call is
// made from the directory opened before it.
TEST_F(FileIoTest, OpensByDevicePath) {
  fs0.WriteFile(u"\\ro.txt", "r");
  fs0.SetReadOnly(u"\\ro.txt");
  std::vector<UINT8> notFile = fs0.FilePath({u"\\dir"});
  const std::vector<UINT8> hardware = {HARDWARE_DEVICE_PATH, 1, 6, 0, 0, 0};
  notFile.insert(notFile.end() - 4, hardware.begin(), hardware.end());
  // A node of type 0x84 with the file-path subtype: bit 7 is part of its type.
  std::vector<UINT8> vendorBit = fs0.FilePath({u"\\dir", u"dump.txt"});
  vendorBit[54 + 14] = MEDIA_DEVICE_PATH | 0x80;  // the second node
  std::vector<UINT8> noFileSystem(fs0.VolumePath().begin(), fs0.VolumePath().begin() + 12);
  std::vector<UINT8> rest = fs0.FilePath({u"\\dump.txt"});
  noFileSystem.insert(noFileSystem.end(), rest.begin() + 54, rest.end());
  // File-path nodes whose name is not whole: it runs on past the node, or
  // its node has an odd length.
  std::vector<UINT8> unterminated = fs0.FilePath({u"\\dir"});
  const std::vector<UINT8> runsOn = {MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, 8, 0, 'a', 0, 'b', 0};
  unterminated.insert(unterminated.end() - 4, runsOn.begin(), runsOn.end());
  std::vector<UINT8> oddLength = fs0.FilePath({u"\\dir"});
  const std::vector<UINT8> odd = {MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, 9, 0, 'a', 0, 0, 0, 0};
  oddLength.insert(oddLength.end() - 4, odd.begin(), odd.end());
  // The rows stay one to a line or two.
  // clang-format off
  const PathCase cases[] = {
      {"missing file", fs0.FilePath({u"\\out.vkf"}), kOpenForWriting, 0x20, EFI_NOT_FOUND, "null",
       {"\\ \\out.vkf 3 0 =800000000000000e"}},
      {"missing file, create", fs0.FilePath({u"\\out.vkf"}), kOpenOrCreate, 0x20, EFI_SUCCESS, "\\out.vkf",
       {"\\ \\out.vkf 3 0 =800000000000000e", "\\ \\out.vkf 8000000000000003 20 =0"}},
      {"existing file, create", fs0.FilePath({u"\\DUMP.TXT"}), kOpenOrCreate, 0x20, EFI_SUCCESS, "\\dump.txt",
       {"\\ \\DUMP.TXT 3 0 =0"}},
      {"any failure leads to the create", fs0.FilePath({u"\\ro.txt"}), kOpenOrCreate, 0, EFI_ACCESS_DENIED, "null",
       {"\\ \\ro.txt 3 0 =800000000000000f", "\\ \\ro.txt 8000000000000003 0 =800000000000000f"}},
      {"volume only", fs0.VolumePath(), kOpenForReading, 0, EFI_SUCCESS, "\\", {}},
      {"nested", fs0.FilePath({u"\\dir", u"sub", u"deep.txt"}), kOpenForReading, 0, EFI_SUCCESS, "\\dir\\sub\\deep.txt",
       {"\\ \\dir 1 0 =0", "\\dir sub 1 0 =0", "\\dir\\sub deep.txt 1 0 =0"}},
      {"nested, missing", fs0.FilePath({u"\\dir", u"missing", u"deep.txt"}), kOpenForReading, 0, EFI_NOT_FOUND, "null",
       {"\\ \\dir 1 0 =0", "\\dir missing 1 0 =800000000000000e"}},
      {"node that is no file path", notFile, kOpenForReading, 0, EFI_UNSUPPORTED, "null", {"\\ \\dir 1 0 =0"}},
      {"file-path subtype under type 0x84", vendorBit, kOpenForReading, 0, EFI_UNSUPPORTED, "null", {"\\ \\dir 1 0 =0"}},
      {"name that runs on past its node", unterminated, kOpenForReading, 0, EFI_UNSUPPORTED, "null", {"\\ \\dir 1 0 =0"}},
      {"file-path node of an odd length", oddLength, kOpenForReading, 0, EFI_UNSUPPORTED, "null", {"\\ \\dir 1 0 =0"}},
      {"no file system", noFileSystem, kOpenForReading, 0, EFI_NOT_FOUND, "untouched", {}},
  };
  // clang-format on
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::vector<UINT8> bytes = c.Path;
    EFI_DEVICE_PATH_PROTOCOL* path = fake::AsDevicePath(bytes);
    EFI_HANDLE device = nullptr;
    file = kUntouched;
    EXPECT_EQ(FileOpenByDevicePath(&path, &device, &file, c.Mode, c.Attributes), c.Status);
    EXPECT_EQ(TakeOpens(), c.Opens);
    if (c.Handle == "untouched" || c.Handle == "null") {
      EXPECT_EQ(file, c.Handle == "null" ? nullptr : kUntouched);
      EXPECT_EQ(fs.OpenHandleCount(), 0u);
      continue;
    }
    // The caller's path is left behind the volume's nodes.
    EXPECT_EQ(reinterpret_cast<UINT8*>(path), bytes.data() + 54);
    EXPECT_EQ(device, fs0.Handle());
    EXPECT_EQ(fs.OpenHandlePaths(), std::vector<std::u16string>{fake::Widen(c.Handle)});
    FileClose(file);
  }
  EXPECT_TRUE(fs0.Exists(u"\\out.vkf"));
}

TEST_F(FileIoTest, VolumeThatCannotBeOpenedIsUnsupported) {
  fs.OpenVolumeFailure = EFI_MEDIA_CHANGED;
  EXPECT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_UNSUPPORTED);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(FileOpenVolumeRoot(fs0.Handle()), nullptr);
  EXPECT_EQ(FileOpenVolumeRoot(fw.ImageHandle()), nullptr);  // no file system there
}

TEST_F(FileIoTest, PathCopyThatCannotBeAllocatedClosesTheRoot) {
  fw.FailAllocation(1);
  EXPECT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(fs.CallCount("OpenVolume"), 1u);
  EXPECT_EQ(fs.OpenHandleCount(), 0u);
}

// A name of 120 units makes the record 80 + 242 bytes: the first request of
// 280 bytes is refused with the size needed, the second is exactly that.
TEST_F(FileIoTest, InformationWithALongNameIsFetchedWhole) {
  std::u16string name(116, u'n');
  name += u".txt";
  fs0.WriteFile(u"\\" + name, "12345");
  ASSERT_EQ(FileOpenByName((u"fs0:\\" + name).c_str(), &file, kOpenForReading, 0), EFI_SUCCESS);
  fs.ClearCalls();
  EFI_FILE_INFO* info = FileQueryInfo(file);
  ASSERT_NE(info, nullptr);
  std::vector<fake::FileCall> calls = fs.CallsOf("GetInfo");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Size, 280u);
  EXPECT_EQ(calls[0].Status, EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(calls[1].Size, 322u);
  EXPECT_EQ(info->Size, 322u);
  EXPECT_EQ(fw.FindBlock(info)->Size, 322u);
  EXPECT_EQ(std::u16string(info->FileName), name);
  EXPECT_EQ(info->FileSize, 5u);
  ReleasePool(info);
  FileClose(file);
}

TEST_F(FileIoTest, InformationRefusedOrUnallocatableIsNull) {
  ASSERT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_SUCCESS);
  size_t blocks = fw.LiveBlockCount();
  fs.GetInfoFailure = EFI_DEVICE_ERROR;
  EXPECT_EQ(FileQueryInfo(file), nullptr);
  EXPECT_EQ(fw.LiveBlockCount(), blocks);
  // A warning is no success either, and its buffer is not left behind.
  fs.GetInfoFailure = EFI_WARN_WRITE_FAILURE;
  EXPECT_EQ(FileQueryInfo(file), nullptr);
  EXPECT_EQ(fw.LiveBlockCount(), blocks);
  fs.GetInfoFailure = EFI_SUCCESS;
  fw.FailAllocation(1);
  EXPECT_EQ(FileQueryInfo(file), nullptr);
  EXPECT_EQ(fw.LiveBlockCount(), blocks);
  FileClose(file);
}

// A file is plain when its information says it is no directory; one whose
// information cannot be had is not, and no information block is left.
TEST_F(FileIoTest, PlainFileIsNeitherADirectoryNorUnknown) {
  fs0.MakeDirectory(u"\\logs");
  ASSERT_EQ(FileOpenByName(u"fs0:\\logs", &file, kOpenForReading, 0), EFI_SUCCESS);
  EXPECT_FALSE(FileIsPlain(file));
  FileClose(file);
  ASSERT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_SUCCESS);
  const size_t blocks = fw.LiveBlockCount();
  EXPECT_TRUE(FileIsPlain(file));
  fs.GetInfoFailure = EFI_DEVICE_ERROR;
  EXPECT_FALSE(FileIsPlain(file));
  EXPECT_EQ(fw.LiveBlockCount(), blocks);
  FileClose(file);
}

TEST_F(FileIoTest, PassThroughRoutinesReturnTheFileSystemStatus) {
  ASSERT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForWriting, 0), EFI_SUCCESS);
  UINT64 position = 0;
  EXPECT_EQ(FileSetPosition(file, 7), EFI_SUCCESS);
  EXPECT_EQ(FileGetPosition(file, &position), EFI_SUCCESS);
  EXPECT_EQ(position, 7u);
  EXPECT_EQ(ReadAll(file), "dump");
  fs.WriteFailure = EFI_VOLUME_FULL;
  UINTN size = 2;
  EXPECT_EQ(FileWrite(file, &size, "xx"), EFI_VOLUME_FULL);
  EXPECT_EQ(size, 0u);
  fs.FlushFailure = EFI_DEVICE_ERROR;
  EXPECT_EQ(FileFlush(file), EFI_DEVICE_ERROR);
  fs.DeleteFails = true;
  EXPECT_EQ(FileDelete(file), EFI_WARN_DELETE_FAILURE);
  EXPECT_EQ(fs.OpenHandleCount(), 0u);  // closed all the same
  EXPECT_TRUE(fs0.Exists(u"\\dump.txt"));
}

TEST_F(FileIoTest, NullArgumentsAreReported) {
  EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
  EFI_HANDLE device = nullptr;
  EXPECT_EQ(FileOpenByName(nullptr, &file, kOpenForReading, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileOpenByName(u"fs0:\\dump.txt", nullptr, kOpenForReading, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileOpenByDevicePath(nullptr, &device, &file, kOpenForReading, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileOpenByDevicePath(&path, nullptr, &file, kOpenForReading, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileOpenByDevicePath(&path, &device, nullptr, kOpenForReading, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileQueryInfo(nullptr), nullptr);
  EXPECT_EQ(FileSetPosition(nullptr, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileGetPosition(nullptr, nullptr), EFI_INVALID_PARAMETER);
  ASSERT_EQ(FileOpenByName(u"fs0:\\dump.txt", &file, kOpenForReading, 0), EFI_SUCCESS);
  EXPECT_EQ(FileGetPosition(file, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileFlush(nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FileDelete(nullptr), EFI_INVALID_PARAMETER);
  FileClose(file);
  std::vector<std::string> conditions;
  for (const auto& record : fw.TakeAsserts()) {
    EXPECT_EQ(record.File, "Shell/Library/FileIO");
    conditions.push_back(record.Condition);
  }
  EXPECT_EQ(conditions, (std::vector<std::string>{
                            "FileName != ((void *) 0)", "FileHandle != ((void *) 0)", "FilePath != ((void *) 0)",
                            "DeviceHandle != ((void *) 0)", "FileHandle != ((void *) 0)", "FileHandle != ((void *) 0)",
                            "FileHandle != ((void *) 0)", "FileHandle != ((void *) 0)", "Position != ((void *) 0)",
                            "FileHandle != ((void *) 0)", "FileHandle != ((void *) 0)"}));
}

TEST_F(FileIoTest, DevicePathSizeCountsUpToTheEndNode) {
  std::vector<UINT8> bytes = fs0.FilePath({u"\\a", u"bc"});
  EXPECT_EQ(DevicePathSize(fake::AsDevicePath(bytes)), 12u + 42u + 10u + 10u + 4u);
  // A node shorter than its header ends the walk.
  std::vector<UINT8> broken = {MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, 0, 0, 0x7F, 0xFF, 4, 0};
  EXPECT_EQ(DevicePathSize(fake::AsDevicePath(broken)), 4u);
}

}  // namespace
