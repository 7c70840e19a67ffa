// An in-memory FAT-like file system for host tests: volumes with device
// paths, each carrying a simple file system protocol whose file protocol
// works on a tree of directories and files.
//
//   fake::FakeFileSystem fs(fw);
//   fake::FakeVolume& fs0 = fs.AddVolume();       // "fs0:" for FakeShellMap
//   fs0.WriteFile(u"\\dump.txt", bytes);
//   ... run the code under test ...
//   EXPECT_EQ(*fs0.ReadFile(u"\\out.vkf"), expected);
//   EXPECT_EQ(fs.OpenHandleCount(), 0u);
//
// The file protocol answers the way OVMF's FAT driver does (the firmware
// test compares the two on a table of names, tests/e2e/data/fat_cases.txt):
//   * Names are compared ignoring the case of ASCII letters; a created name
//     keeps its case. Leading blanks and trailing blanks and dots of a name
//     are dropped; what is left must be 1 to 255 units without control
//     characters or any of " * / : < > ? | (else EFI_INVALID_PARAMETER).
//     Every entry also has an 8.3 short name (ShortNameFor) that opens it;
//     EFI_FILE_INFO always gives the long name as stored.
//   * Open takes a path of '\'-separated names relative to the handle, or
//     from the root when it begins with '\'; "." stays and ".." goes up,
//     also from a file (to its directory); ".." above the root and an empty
//     path are EFI_INVALID_PARAMETER. An empty name (as in "\\x") ends the
//     walk where it stands; a trailing '\' asks for a directory. Open modes
//     are READ, READ|WRITE or CREATE|READ|WRITE (else EFI_INVALID_PARAMETER),
//     attributes within EFI_FILE_VALID_ATTR.
//     A missing name: EFI_NOT_FOUND, unless CREATE is set and only the last
//     name is missing (a directory when Attributes has EFI_FILE_DIRECTORY).
//     CREATE on an existing file opens it, ignoring Attributes. Opening a
//     read-only file for writing: EFI_ACCESS_DENIED. Any write access on a
//     write-protected volume: EFI_WRITE_PROTECTED.
//   * Read of a file past its end: EFI_DEVICE_ERROR; at its end: 0 bytes.
//     Read of a directory returns the next entry's EFI_FILE_INFO
//     (EFI_BUFFER_TOO_SMALL with the needed size), 0 bytes after the last.
//   * Write extends the file (a gap before the position reads as zeros).
//     On a directory EFI_UNSUPPORTED, on a handle opened for reading only
//     EFI_ACCESS_DENIED. SetPosition(~0) goes to the end; a directory takes
//     only 0, and GetPosition on it is EFI_UNSUPPORTED.
//   * GetInfo with the EFI_FILE_INFO identifier: the record with the file's
//     own name (empty for the root); EFI_BUFFER_TOO_SMALL with the needed
//     size when the buffer is too small. Other identifiers: EFI_UNSUPPORTED.
//   * Delete closes the handle; it answers EFI_WARN_DELETE_FAILURE and keeps
//     the file for the root, a directory that is not empty and a handle
//     opened for reading only. Handles still open on a deleted file answer
//     EFI_DEVICE_ERROR.
//   * Flush of a handle opened for reading only: EFI_ACCESS_DENIED.
//   * SetInfo with the EFI_FILE_INFO identifier renames: the FileName is a
//     path from the file's own directory (from the root with a leading
//     '\'), its last name trimmed as by Open. A name another entry of that
//     directory has (long or short) is EFI_ACCESS_DENIED; the file's own name
//     in other letter case is accepted and changes nothing. A handle opened
//     for reading only: EFI_ACCESS_DENIED; an empty or invalid name:
//     EFI_INVALID_PARAMETER; a record whose Size is not that of its fixed
//     part and name, or exceeds the buffer: EFI_BAD_BUFFER_SIZE. Other
//     changes of the record are not modelled.
//
// Each volume's handle also carries a block I/O protocol whose FlushBlocks
// is logged as a call, so that a test sees where the device was flushed.
//
// Faults a test can inject: DeleteFails, WriteFailure, FlushFailure,
// GetInfoFailure, OpenVolumeFailure, ShortWriteLimit, FailCall and
// CutPowerAfter on the file system; FreeSpace and WriteProtected on a
// volume. Every call is logged (Calls()). A call on a
// handle that is closed or was never handed out is a gtest failure, and so
// is a handle still open when the file system is destroyed, unless the test
// clears ExpectAllClosed.
//
// The protocol functions get no context beyond their handle, so they act on
// the one current FakeFileSystem (one per test, like FakeFirmware). Handles
// and device paths live in host memory, not in the pool: they do not count
// as live pool blocks.
#ifndef QORVEX_TESTS_FAKE_FAKE_FILE_SYSTEM_H
#define QORVEX_TESTS_FAKE_FAKE_FILE_SYSTEM_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeFirmware.h"

namespace fake {

// ---- Device path bytes ----

// A media file-path node holding Name and its terminator.
std::vector<UINT8> FilePathNode(const std::u16string& Name);
// The 8.3 short name that FAT gives a new entry named Name in a directory
// whose entries have the short names Taken: "LONGDU~1.TXT" for
// "longdumpname.txt", "DUMP.TXT" for "Dump.txt".
std::u16string ShortNameFor(const std::u16string& Name, const std::vector<std::u16string>& Taken);

// The end-of-entire-path node.
std::vector<UINT8> EndOfPathNode();
// Node bytes, one node after the other.
std::vector<UINT8> JoinNodes(const std::vector<std::vector<UINT8>>& Nodes);
inline EFI_DEVICE_PATH_PROTOCOL* AsDevicePath(std::vector<UINT8>& Bytes) {
  return reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(Bytes.data());
}
// The bytes of a well-formed path, its end node included.
std::vector<UINT8> DevicePathBytes(const EFI_DEVICE_PATH_PROTOCOL* Path);

// One call of a file protocol function (or of OpenVolume).
struct FileCall {
  std::string Function;   // "Open", "Read", "GetInfo", ...
  std::u16string Path;    // the handle's file, "\dir\file" ("\" for a root)
  std::u16string Name;    // Open: the name asked for
  UINT64 Mode = 0;        // Open: the open mode
  UINT64 Attributes = 0;  // Open: the attributes
  UINTN Size = 0;         // Read, Write, GetInfo: the buffer size on entry
  EFI_STATUS Status = EFI_SUCCESS;
};

class FakeFileSystem;

// One volume: its tree, its handle (simple file system protocol and device
// path) and its faults. Paths in this API are within the volume, "\dir\file"
// (the leading '\' may be left out), compared ignoring case.
class FakeVolume {
 public:
  FakeVolume(const FakeVolume&) = delete;
  FakeVolume& operator=(const FakeVolume&) = delete;

  size_t Index() const { return index_; }
  EFI_HANDLE Handle() const { return handle_; }
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* Protocol() { return &protocol_; }
  // The volume's own device path, its end node included.
  const std::vector<UINT8>& VolumePath() const { return devicePath_; }
  // The volume's device path followed by one file-path node per entry of Nodes.
  std::vector<UINT8> FilePath(const std::vector<std::u16string>& Nodes) const;

  // Creates or replaces a file (the directories on the way are created).
  void WriteFile(const std::u16string& Path, const std::string& Bytes);
  void MakeDirectory(const std::u16string& Path);
  // The file's bytes; nothing when it does not exist or is a directory.
  std::optional<std::string> ReadFile(const std::u16string& Path) const;
  bool Exists(const std::u16string& Path) const;
  bool IsDirectory(const std::u16string& Path) const;
  // Names in a directory, in the order they were created, with their case.
  std::vector<std::u16string> List(const std::u16string& Directory = u"\\") const;
  void SetReadOnly(const std::u16string& Path, bool ReadOnly = true);
  void Remove(const std::u16string& Path);

  // Bytes that files may still grow by; a write that needs more answers
  // EFI_VOLUME_FULL and writes nothing. Deleted files give their bytes back.
  UINT64 FreeSpace = UINT64_MAX;
  // Media that cannot be written: writing opens, creates and writes answer
  // EFI_WRITE_PROTECTED.
  bool WriteProtected = false;

  struct Node;
  Node* RootNode() const { return root_.get(); }  // for the protocol functions

 private:
  friend class FakeFileSystem;
  FakeVolume(FakeFileSystem& Owner, size_t Index);

  Node* Find(const std::u16string& Path) const;
  Node* MakeParents(const std::u16string& Path, std::u16string* LastName);

  FakeFileSystem& owner_;
  size_t index_;
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL protocol_{};
  EFI_BLOCK_IO_PROTOCOL blockIo_{};
  EFI_HANDLE handle_ = nullptr;
  std::vector<UINT8> devicePath_;
  std::shared_ptr<Node> root_;
};

class FakeFileSystem {
 public:
  explicit FakeFileSystem(FakeFirmware& Firmware);
  ~FakeFileSystem();
  FakeFileSystem(const FakeFileSystem&) = delete;
  FakeFileSystem& operator=(const FakeFileSystem&) = delete;

  static FakeFileSystem& Current();

  // A new volume on a new handle; the Nth volume made is fsN for the shell map.
  FakeVolume& AddVolume();
  FakeVolume& Volume(size_t Index) { return *volumes_.at(Index); }
  size_t VolumeCount() const { return volumes_.size(); }

  // Handles handed out and not yet closed (Close or Delete).
  size_t OpenHandleCount() const;
  // Their files, for failure messages.
  std::vector<std::u16string> OpenHandlePaths() const;
  // Handles handed out so far (open volumes included).
  size_t HandlesOpened() const { return handles_.size(); }

  const std::vector<FileCall>& Calls() const { return calls_; }
  std::vector<FileCall> CallsOf(const std::string& Function) const;
  size_t CallCount(const std::string& Function) const { return CallsOf(Function).size(); }
  void ClearCalls() { calls_.clear(); }

  // Injected faults, all off at first.
  bool DeleteFails = false;                    // Delete answers EFI_WARN_DELETE_FAILURE, keeps the file
  EFI_STATUS WriteFailure = EFI_SUCCESS;       // every Write answers it, writing nothing
  EFI_STATUS FlushFailure = EFI_SUCCESS;       // every Flush answers it
  EFI_STATUS GetInfoFailure = EFI_SUCCESS;     // every GetInfo answers it
  EFI_STATUS OpenVolumeFailure = EFI_SUCCESS;  // every OpenVolume answers it
  // A write stores at most this many bytes, reports that count and success,
  // as a driver may near the end of its space; 0 stores everything.
  UINTN ShortWriteLimit = 0;

  // The Nth call (from 1) of Function ("Open", "Read", "Write", "GetInfo",
  // "SetInfo", "Flush", "Delete" or "FlushBlocks") answers Status and does nothing else (a
  // Delete still closes its handle). Any number may be set, so that one run
  // meets several failures.
  void FailCall(const std::string& Function, size_t Nth, EFI_STATUS Status) { scripted_[{Function, Nth}] = Status; }

  // A power cut after Calls more calls of the functions FailCall takes: each
  // later one answers EFI_NO_MEDIA and does nothing else, so the volumes stay
  // as on a disk that keeps every write in order. RestorePower ends it.
  void CutPowerAfter(size_t Calls) { cutAt_ = countedCalls_ + Calls; }
  void RestorePower() { cutAt_ = SIZE_MAX; }
  bool PowerIsCut() const { return countedCalls_ > cutAt_; }

  // A handle left open at destruction fails the test unless this is false.
  bool ExpectAllClosed = true;

  // Implementation hooks for the protocol functions; not for tests.
  struct Impl;
  struct OpenFile;

 private:
  friend class FakeVolume;
  friend struct Impl;

  FakeFirmware& fw_;
  std::deque<std::unique_ptr<FakeVolume>> volumes_;
  std::vector<std::unique_ptr<OpenFile>> handles_;
  std::map<const EFI_FILE_PROTOCOL*, OpenFile*> byProtocol_;
  std::vector<FileCall> calls_;
  std::map<std::pair<std::string, size_t>, EFI_STATUS> scripted_;
  std::map<std::string, size_t> callCounts_;
  size_t countedCalls_ = 0;
  size_t cutAt_ = SIZE_MAX;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_FILE_SYSTEM_H
