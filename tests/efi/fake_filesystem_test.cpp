// The fake file system and shell map answer as a FAT driver and a shell do;
// tests of the application rely on these answers.
#include <cstring>
#include <string>
#include <vector>

#include "FakeConsole.h"
#include "FakeFileSystem.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FirmwareTest.h"
#include "ShellDiskTest.h"

namespace {

using fake::FirmwareTest;
using fake::Narrow;

class FakeFileSystemTest : public FirmwareTest {
 protected:
  void SetUp() override {
    FirmwareTest::SetUp();
    ASSERT_EQ(fs0.Protocol()->OpenVolume(fs0.Protocol(), &root), EFI_SUCCESS);
  }
  void TearDown() override {
    if (root != nullptr) root->Close(root);
    FirmwareTest::TearDown();
  }

  EFI_STATUS Open(const std::u16string& Name, UINT64 Mode, UINT64 Attributes = 0) {
    EFI_FILE_PROTOCOL* file = nullptr;
    EFI_STATUS status = root->Open(root, &file, Name.c_str(), Mode, Attributes);
    if (status == EFI_SUCCESS) file->Close(file);
    return status;
  }

  EFI_STATUS Write(EFI_FILE_PROTOCOL* File, const std::string& Bytes) {
    UINTN size = Bytes.size();
    return File->Write(File, &size, Bytes.data());
  }

  fake::FakeFileSystem fs{fw};
  fake::FakeVolume& fs0 = fs.AddVolume();
  EFI_FILE_PROTOCOL* root = nullptr;
};

struct OpenCase {
  std::u16string Name;
  UINT64 Mode, Attributes;
  EFI_STATUS Status;
};

TEST_F(FakeFileSystemTest, OpenAnswersAsFatDoes) {
  fs0.WriteFile(u"\\Dir\\File.Txt", "x");
  fs0.WriteFile(u"\\ro.txt", "r");
  fs0.SetReadOnly(u"\\ro.txt");
  const OpenCase cases[] = {
      {u"dir\\FILE.TXT", kOpenForReading, 0, EFI_SUCCESS},       // case is ignored
      {u"\\dir\\.\\file.txt", kOpenForReading, 0, EFI_SUCCESS},  // from the root, "." stays
      {u"dir\\..\\dir\\file.txt", kOpenForReading, 0, EFI_SUCCESS},
      {u"file.txt. ", kOpenForReading, 0, EFI_NOT_FOUND},     // not in the root
      {u"dir\\file.txt. ", kOpenForReading, 0, EFI_SUCCESS},  // trailing dots and blanks dropped
      {u"..", kOpenForReading, 0, EFI_INVALID_PARAMETER},     // above the root
      {u"", kOpenForReading, 0, EFI_INVALID_PARAMETER},
      {u"dir\\file.txt\\x", kOpenForReading, 0, EFI_NOT_FOUND},           // a file is no directory
      {u"dir\\file.txt\\..\\file.txt", kOpenForReading, 0, EFI_SUCCESS},  // ".." of a file is its directory
      {u"dir\\file.txt\\", kOpenForReading, 0, EFI_NOT_FOUND},            // a trailing '\' wants a directory
      {u"missing\\new.txt", kOpenOrCreate, 0, EFI_NOT_FOUND},             // only the last name is created
      {u"a*b", kOpenOrCreate, 0, EFI_INVALID_PARAMETER},
      {std::u16string(256, u'n'), kOpenOrCreate, 0, EFI_INVALID_PARAMETER},
      {u"dir\\file.txt", EFI_FILE_MODE_WRITE, 0, EFI_INVALID_PARAMETER},
      {u"dir\\file.txt", EFI_FILE_MODE_CREATE | EFI_FILE_MODE_READ, 0, EFI_INVALID_PARAMETER},
      {u"dir\\file.txt", kOpenForReading, 0x40, EFI_INVALID_PARAMETER},
      {u"ro.txt", kOpenForReading, 0, EFI_SUCCESS},
      {u"RO.TXT", kOpenForWriting, 0, EFI_ACCESS_DENIED},
      {u"ro.txt", kOpenOrCreate, 0, EFI_ACCESS_DENIED},
      {u"Out.VKF", kOpenOrCreate, 0, EFI_SUCCESS},  // created with the case typed
      {u"OUT.vkf", kOpenForWriting, 0, EFI_SUCCESS},
  };
  for (const OpenCase& c : cases) {
    EXPECT_EQ(Open(c.Name, c.Mode, c.Attributes), c.Status) << Narrow(c.Name) << " mode " << c.Mode;
  }
  EXPECT_EQ(fs0.List(u"\\"), (std::vector<std::u16string>{u"Dir", u"ro.txt", u"Out.VKF"}));
}

TEST_F(FakeFileSystemTest, ReadsAndWritesFollowThePosition) {
  EFI_FILE_PROTOCOL* file = nullptr;
  ASSERT_EQ(root->Open(root, &file, u"f", kOpenOrCreate, 0), EFI_SUCCESS);
  ASSERT_EQ(Write(file, "abc"), EFI_SUCCESS);
  ASSERT_EQ(file->SetPosition(file, 5), EFI_SUCCESS);
  ASSERT_EQ(Write(file, "z"), EFI_SUCCESS);
  EXPECT_EQ(fs0.ReadFile(u"f"), std::string("abc\0\0z", 6));
  char buffer[8];
  UINTN size = sizeof buffer;
  EXPECT_EQ(file->Read(file, &size, buffer), EFI_SUCCESS);  // at the end
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(file->SetPosition(file, 7), EFI_SUCCESS);
  size = sizeof buffer;
  EXPECT_EQ(file->Read(file, &size, buffer), EFI_DEVICE_ERROR);  // past the end
  // Room for two more bytes: a write of three is refused whole.
  fs0.FreeSpace = 2;
  size = 3;
  EXPECT_EQ(file->Write(file, &size, "123"), EFI_VOLUME_FULL);
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(file->SetPosition(file, 0), EFI_SUCCESS);
  EXPECT_EQ(Write(file, "ABCDEFGH"), EFI_SUCCESS);  // grows by two
  EXPECT_EQ(fs0.FreeSpace, 0u);
  file->Close(file);
}

TEST_F(FakeFileSystemTest, HandleOpenedForReadingCannotWriteFlushOrDelete) {
  fs0.WriteFile(u"a.txt", "a");
  EFI_FILE_PROTOCOL* file = nullptr;
  ASSERT_EQ(root->Open(root, &file, u"a.txt", kOpenForReading, 0), EFI_SUCCESS);
  EXPECT_EQ(Write(file, "x"), EFI_ACCESS_DENIED);
  EXPECT_EQ(file->Flush(file), EFI_ACCESS_DENIED);
  EXPECT_EQ(file->Delete(file), EFI_WARN_DELETE_FAILURE);
  EXPECT_EQ(fs0.ReadFile(u"a.txt"), "a");
  EXPECT_EQ(fs.OpenHandleCount(), 1u);  // only the root
}

// ---- Shell map ----

class FakeShellMapTest : public fake::ShellDiskTest {
 protected:
  // The file-path node's name of what Name maps to, or "null".
  std::string Mapped(const std::u16string& Name) {
    std::vector<UINT8> path = map.PathFor(Name);
    if (path.empty()) return "null";
    for (size_t i = 0; i < fs.VolumeCount(); ++i) {
      const std::vector<UINT8>& volume = fs.Volume(i).VolumePath();
      if (std::memcmp(path.data(), volume.data(), volume.size() - 4) != 0) continue;
      std::u16string node(reinterpret_cast<const char16_t*>(path.data() + volume.size()));
      return "fs" + std::to_string(i) + " " + Narrow(node);
    }
    return "no volume";
  }
};

TEST_F(FakeShellMapTest, MapsNamesAsTheShellDoes) {
  map.SetCurrentDirectory(u"fs1:\\work");
  const std::pair<std::u16string, std::string> cases[] = {
      {u"fs0:\\a\\b.txt", "fs0 \\a\\b.txt"},
      {u"FS0:\\A.TXT", "fs0 \\A.TXT"},
      {u"fs0:a.txt", "fs0 a.txt"},  // after a mapping: as typed, from the root
      {u"fs1:a.txt", "fs1 a.txt"},
      {u"a.txt", "fs1 \\work\\a.txt"},
      {u"\\a.txt", "fs1 \\a.txt"},
      {u"..\\x\\.\\y", "fs1 \\work\\..\\x\\.\\y"},  // left to the file system
      {u"sub\\\\z. ", "fs1 \\work\\sub\\\\z. "},
      {u"fs2:\\a.txt", "null"},
      {u"blk0:\\a.txt", "null"},
      {u"", "fs1 \\work\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(Mapped(c.first), c.second) << Narrow(c.first);
  map.SetCurrentDirectory(u"");
  EXPECT_EQ(Mapped(u"a.txt"), "null");
  EXPECT_EQ(Mapped(u"fs1:\\a.txt"), "fs1 \\a.txt");
}

}  // namespace
