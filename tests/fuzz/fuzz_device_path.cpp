// Fuzz target: the device-path routines, opening a file by a device path,
// and the same-file comparison, on well-formed and damaged paths.
//
// Input: byte 0 options, byte 1 a number N, then two file names of 8-bit
// text (one unit per byte), each ended by a line feed, then path bytes: any
// chain of nodes, damaged or not. Memory after the path bytes holds 0xFF
// bytes (an end node wherever a node length lands), so that every chain
// stays inside readable memory.
//   bit 0  the path bytes are opened after the device path of volume fs0,
//          else on their own
//   bit 1  the path is opened with EFI_FILE_MODE_CREATE
//   bit 2  the shell maps the second name onto the path bytes when the
//          comparison asks for its volume
//   N      the Nth pool allocation of the open and of the comparison fails (0: none)
// Invariants:
//   * DevicePathSize is the size of the chain up to its end node or first
//     node shorter than a header, plus 4; DuplicateDevicePath copies exactly
//     that many bytes; IsFilePathNode holds for media file-path nodes of
//     whole UCS-2 units, one of them a terminator;
//   * opening by device path reads and writes only inside the path and its
//     copy, leaves no handle but the one it returns, and no pool block;
//   * with the names opened as the application opens the dump and the VKF
//     file, the comparison leaves the two handles open and unmoved, closes
//     what it opens, writes its answer only when it decides, and, with the
//     shell's own mapping and no failed allocation, decides, and decides
//     right: the same file exactly when both names reach one file.
#include <stdint.h>

#include <string>
#include <vector>

#include "DPath.h"
#include "FakeFileSystem.h"
#include "FakeFirmware.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FileIO.h"
#include "FuzzCheck.h"
#include "FuzzFirmware.h"
#include "Init.h"
#include "Mem.h"
#include "SameFile.h"

namespace {

// Past a node length of at most 0xFFFF, one more end node.
constexpr size_t kPadding = 0x10000 + 8;

std::vector<UINT8> Padded(std::vector<UINT8> Bytes) {
  Bytes.resize(Bytes.size() + kPadding, 0xFF);
  return Bytes;
}

// The chain's size by the rules in DPath.h, walked on the bytes.
size_t ChainSize(const std::vector<UINT8>& Bytes) {
  size_t at = 0;
  for (;;) {
    const bool end = (Bytes[at] & 0x7F) == 0x7F && Bytes[at + 1] == 0xFF;
    const size_t length = Bytes[at + 2] | (Bytes[at + 3] << 8);
    if (end || length < 4) return at + 4;
    at += length;
  }
}

// A media file-path node of whole UCS-2 units, one of them a terminator.
bool HoldsWholeName(const std::vector<UINT8>& Node) {
  const size_t length = Node[2] | (Node[3] << 8);
  if (Node[0] != 4 || Node[1] != 4 || length < 6 || length % 2 != 0) return false;
  for (size_t at = 4; at < length; at += 2) {
    if (Node[at] == 0 && Node[at + 1] == 0) return true;
  }
  return false;
}

void CheckPathRoutines(const std::vector<UINT8>& Raw) {
  std::vector<UINT8> bytes = Padded(Raw);
  auto* path = fake::AsDevicePath(bytes);
  const size_t size = DevicePathSize(path);
  FUZZ_CHECK(size == ChainSize(bytes), "DevicePathSize " + std::to_string(size));
  auto* copy = DuplicateDevicePath(path);
  FUZZ_CHECK(copy != nullptr && std::equal(bytes.begin(), bytes.begin() + size, reinterpret_cast<UINT8*>(copy)),
             "DuplicateDevicePath");
  ReleasePool(copy);
  FUZZ_CHECK(IsFilePathNode(path) == HoldsWholeName(bytes), "IsFilePathNode");
}

void CheckOpenByPath(fake::FakeFirmware& Fw, fake::FakeFileSystem& Fs, std::vector<UINT8> Raw, uint8_t Options,
                     uint8_t Failing) {
  std::vector<UINT8> bytes;
  if ((Options & 1) != 0) {
    bytes = Fs.Volume(0).VolumePath();
    bytes.resize(bytes.size() - 4);  // its end node
  }
  bytes.insert(bytes.end(), Raw.begin(), Raw.end());
  bytes = Padded(bytes);
  EFI_DEVICE_PATH_PROTOCOL* path = fake::AsDevicePath(bytes);
  EFI_HANDLE device = nullptr;
  EFI_FILE_PROTOCOL* file = nullptr;
  const UINT64 mode =
      (Options & 2) != 0 ? EFI_FILE_MODE_CREATE | EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE : EFI_FILE_MODE_READ;
  if (Failing != 0) Fw.FailAllocation(Failing);
  EFI_STATUS status = FileOpenByDevicePath(&path, &device, &file, mode, 0);
  Fw.StopFailingAllocations();
  const auto* at = reinterpret_cast<const UINT8*>(path);
  FUZZ_CHECK(at >= bytes.data() && at < bytes.data() + bytes.size(), "the path left its bytes");
  FUZZ_CHECK(EFI_ERROR(status) == (file == nullptr), "a handle on failure, or none on success");
  FUZZ_CHECK(Fs.OpenHandleCount() == (file != nullptr ? 1u : 0u), "handles left by the open");
  if (file != nullptr) FileClose(file);
}

// The file's first bytes: every file of the tree holds its own.
std::string Contents(EFI_FILE_PROTOCOL* File) {
  char bytes[16] = {};
  UINTN size = sizeof(bytes);
  if (EFI_ERROR(FileRead(File, &size, bytes))) return "unreadable";
  return std::string(bytes, size);
}

struct Comparison {
  std::u16string First, Second;
  std::vector<UINT8> Raw;
  bool Damaged;
  uint8_t Failing;
};

void CheckComparison(fake::FakeFirmware& Fw, fake::FakeFileSystem& Fs, fake::FakeShell& Shell, const Comparison& C) {
  EFI_FILE_PROTOCOL* first = nullptr;
  EFI_FILE_PROTOCOL* second = nullptr;
  if (EFI_ERROR(FileOpenByName(C.First.c_str(), &first, EFI_FILE_MODE_READ, 0))) first = nullptr;
  if (EFI_ERROR(FileOpenByName(C.Second.c_str(), &second, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, 0)))
    second = nullptr;
  if (first != nullptr && second != nullptr && FileIsPlain(first) && FileIsPlain(second)) {
    std::vector<UINT8> damaged = Padded(C.Raw);
    auto mapped = Shell.NameToPath;
    if (C.Damaged) {
      Shell.NameToPath = [&](const CHAR16* Name) {
        return std::u16string(Name) == C.Second ? fake::AsDevicePath(damaged) : mapped(Name);
      };
    }
    BOOLEAN same = 2;
    if (C.Failing != 0) Fw.FailAllocation(C.Failing);
    EFI_STATUS status = OpenFilesAreSame(C.First.c_str(), first, C.Second.c_str(), second, &same);
    Fw.StopFailingAllocations();
    Shell.NameToPath = mapped;
    UINT64 firstAt = 1, secondAt = 1;
    FileGetPosition(first, &firstAt);
    FileGetPosition(second, &secondAt);
    FUZZ_CHECK(Fs.OpenHandleCount() == 2 && firstAt == 0 && secondAt == 0, "the comparison moved or left handles");
    FUZZ_CHECK(!EFI_ERROR(status) || same == 2, "an undecided answer was written");
    FUZZ_CHECK(EFI_ERROR(status) || same == TRUE || same == FALSE, "no answer written");
    if (!C.Damaged && C.Failing == 0) {
      const bool truth = Contents(first) == Contents(second);
      FUZZ_CHECK(!EFI_ERROR(status) && (same == TRUE) == truth,
                 "wrong answer, status " + std::to_string(status) + ", same " + std::to_string(same));
    }
  }
  if (first != nullptr) FileClose(first);
  if (second != nullptr) FileClose(second);
}

void MakeTree(fake::FakeFileSystem& Fs) {
  fake::FakeVolume& fs0 = Fs.AddVolume();
  const char16_t* names[] = {
      u"d.txt", u"longdumpname.txt", u"longdumpnote.txt", u"sub\\d.txt", u"sub\\deeper\\x.txt", u"x@.txt", u"x`.txt"};
  int serial = 0;
  for (const char16_t* name : names) fs0.WriteFile(name, "#" + std::to_string(serial++));
  Fs.AddVolume().WriteFile(u"d.txt", "#" + std::to_string(serial++));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const auto [options, failing] = fuzz::ReadHeader(input);
  Comparison comparison;
  comparison.First = fuzz::Widened(input.Until('\n'));
  comparison.Second = fuzz::Widened(input.Until('\n'));
  const std::string raw = input.Rest();
  comparison.Raw.assign(raw.begin(), raw.end());
  comparison.Damaged = (options & 4) != 0;
  comparison.Failing = failing;
  if (comparison.First.find(u'\0') != std::u16string::npos || comparison.Second.find(u'\0') != std::u16string::npos) {
    return 0;
  }

  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  {
    fake::FakeShell shell(fw);
    shell.InstallOnImage();
    LibShellEnvironment = &shell.Environment();
    fake::FakeFileSystem fs(fw);
    MakeTree(fs);
    fake::FakeShellMap map(shell, fs);
    CheckPathRoutines(comparison.Raw);
    CheckOpenByPath(fw, fs, comparison.Raw, options, failing);
    CheckComparison(fw, fs, shell, comparison);
  }
  fuzz::EndOnFirmware(fw, failing != 0, "device path");
  return 0;
}
