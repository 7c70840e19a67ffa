// Fuzz target: whole runs of qorvex's entry (ShellAppEntry) on the fake
// firmware, with the files of a small disk.
//
// Input: byte 0 options, byte 1 a number N, byte 2 a number M, then the
// arguments after "qorvex", each ended by a line feed, the list ended by a
// NUL byte (8-bit text, one unit per byte), then the old VKF file's bytes up
// to a NUL byte, then the dump.
//   bit 0  the shell gives information words: each argument's first byte is its word
//   bit 1  fs0:\o.vkf exists with the old VKF bytes
//   bit 2  "EFIDebug" enables every class of diagnostics
//   bit 3  the file system refuses to delete files
//   bit 4  fs0 has 16 * M bytes of free space
//   bit 5  each argument's text is UTF-8, for units beyond 0xFF
//   bit 6  the current directory is fs0:\sub
//   N      the Nth pool allocation of the run fails (0: none)
// The disk: the dump as fs0:\d.txt and fs0:\sub\longdumpname.txt, a file
// fs0:\sub\other.txt and fs1:\d.txt; the current directory is fs0:\ unless
// bit 6 is set.
// Invariants:
//   * the run returns (no Exit), with no memory error;
//   * the file that the dump name reaches never changes, whatever the names;
//   * no pool block and no file handle is left;
//   * a run that returns EFI_SUCCESS leaves, under the VKF name (the second
//     argument that is not empty and not a flag), exactly the VKF text that
//     the reference rules give for the dump (a value's line-feed byte as CR
//     LF), and no other file changed (the VKF file replaced, under another
//     spelling of its name too); a failed run changed no file at all. When
//     the file system refuses deletes, qorvex's temporary files (*.qvx-new,
//     *.qvx-old) that it could not remove are left besides.
#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FakeFileSystem.h"
#include "FakeFirmware.h"
#include "FakeHii.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FileIO.h"
#include "FuzzCheck.h"
#include "FuzzFirmware.h"
#include "Guids.h"
#include "Init.h"
#include "Mem.h"
#include "ReferenceVkf.h"
#include "ShellApp.h"

namespace {

struct Scenario {
  uint8_t Options;
  uint8_t Failing;
  uint8_t Space;
  std::vector<std::u16string> Args;
  std::vector<UINT32> Info;
  std::string OldVkf;
  std::string Dump;
};

// UTF-8 text as UCS-2: two- and three-byte sequences give any unit; any
// other byte is a unit of its own.
std::u16string Ucs2(const std::string& Bytes) {
  std::u16string units;
  auto follows = [&](size_t At) { return At < Bytes.size() && (uint8_t(Bytes[At]) & 0xC0) == 0x80; };
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const unsigned lead = uint8_t(Bytes[i]);
    if ((lead & 0xE0) == 0xC0 && follows(i + 1)) {
      units.push_back(char16_t((lead & 0x1F) << 6 | (uint8_t(Bytes[i + 1]) & 0x3F)));
      i += 1;
    } else if ((lead & 0xF0) == 0xE0 && follows(i + 1) && follows(i + 2)) {
      units.push_back(
          char16_t((lead & 0x0F) << 12 | (uint8_t(Bytes[i + 1]) & 0x3F) << 6 | (uint8_t(Bytes[i + 2]) & 0x3F)));
      i += 2;
    } else {
      units.push_back(char16_t(lead));
    }
  }
  return units;
}

Scenario Read(fuzz::InputReader& Input) {
  Scenario s;
  s.Options = Input.Byte();
  s.Failing = Input.Byte();
  s.Space = Input.Byte();
  std::string args = Input.Until(0);
  s.OldVkf = Input.Until(0);
  s.Dump = Input.Rest();
  s.Args.push_back(u"qorvex");
  s.Info.push_back(0);
  for (size_t start = 0; start < args.size() && s.Args.size() < 8;) {
    size_t end = args.find('\n', start);
    if (end == std::string::npos) end = args.size();
    std::string arg = args.substr(start, end - start);
    start = end + 1;
    UINT32 info = 0;
    if ((s.Options & 1) != 0 && !arg.empty()) {
      info = uint8_t(arg[0]) & 0x0F;
      arg.erase(0, 1);
    }
    s.Args.push_back((s.Options & 32) != 0 ? Ucs2(arg) : fuzz::Widened(arg));
    s.Info.push_back(info);
  }
  if ((s.Options & 1) == 0) s.Info.clear();
  return s;
}

// The file names: the arguments that are neither empty nor flags.
std::vector<std::u16string> FileNames(const Scenario& S) {
  std::vector<std::u16string> plain;
  for (size_t i = 1; i < S.Args.size(); ++i) {
    const std::u16string& arg = S.Args[i];
    if (arg.empty()) continue;
    const UINT32 info = S.Info.empty() ? 0 : S.Info[i];
    const bool quoted = ((info & ARG_IS_QUOTED) != 0 && (info & ARG_PARTIALLY_QUOTED) == 0) ||
                        (info & (ARG_FIRST_HALF_QUOTED | ARG_FIRST_CHAR_IS_ESC)) != 0;
    if (quoted || (arg[0] != u'-' && arg[0] != u'+' && arg[0] != u'/')) plain.push_back(arg);
  }
  return plain;
}

using Snapshot = std::map<std::u16string, std::string>;

void Collect(const fake::FakeVolume& Volume, const std::u16string& Directory, Snapshot* Files) {
  for (const std::u16string& name : Volume.List(Directory)) {
    const std::u16string path = Directory + (Directory == u"\\" ? u"" : u"\\") + name;
    const std::u16string key = u"fs" + std::u16string(1, char16_t(u'0' + Volume.Index())) + u":" + path;
    if (Volume.IsDirectory(path)) {
      (*Files)[key] = "<dir>";
      Collect(Volume, path, Files);
    } else {
      (*Files)[key] = *Volume.ReadFile(path);
    }
  }
}

Snapshot Files(fake::FakeFileSystem& Fs) {
  Snapshot files;
  for (size_t i = 0; i < Fs.VolumeCount(); ++i) Collect(Fs.Volume(i), u"\\", &files);
  return files;
}

// A new temporary file of qorvex: "*.qvx-new" or "*.qvx-old" in any folder.
bool IsNewTemporary(const Snapshot& Before, const std::u16string& Path) {
  std::string upper;
  for (char16_t unit : Path) upper.push_back(char(unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit));
  return Before.count(Path) == 0 && upper.size() > 8 && upper.compare(upper.size() - 8, 5, ".QVX-") == 0;
}

// After without the temporary files that a file system refusing deletes kept.
Snapshot WithoutKeptTemporaries(const Snapshot& Before, Snapshot After, bool DeletesRefused) {
  if (!DeletesRefused) return After;
  for (auto it = After.begin(); it != After.end();) it = IsNewTemporary(Before, it->first) ? After.erase(it) : ++it;
  return After;
}

// At most one file went and at most one came or changed: the VKF file
// replaced, under another spelling of its name too.
bool OneFileReplaced(const Snapshot& Before, const Snapshot& After) {
  size_t gone = 0, cameOrChanged = 0;
  for (const auto& [path, bytes] : Before) gone += After.count(path) == 0;
  for (const auto& [path, bytes] : After) cameOrChanged += Before.count(path) == 0 || Before.at(path) != bytes;
  return gone <= 1 && cameOrChanged <= 1;
}

// The bytes of the file Name reaches, read as the application reads files;
// nothing for a name that reaches no file, or a directory.
std::optional<std::string> ReadByName(const std::u16string& Name) {
  EFI_FILE_PROTOCOL* file = nullptr;
  if (EFI_ERROR(FileOpenByName(Name.c_str(), &file, EFI_FILE_MODE_READ, 0))) return std::nullopt;
  EFI_FILE_INFO* info = FileQueryInfo(file);
  const bool directory = info == nullptr || (info->Attribute & EFI_FILE_DIRECTORY) != 0;
  if (info != nullptr) ReleasePool(info);
  std::string bytes;
  for (; !directory;) {
    char chunk[512];
    UINTN size = sizeof(chunk);
    if (EFI_ERROR(FileRead(file, &size, chunk)) || size == 0) break;
    bytes.append(chunk, size);
  }
  FileClose(file);
  if (directory) return std::nullopt;
  return bytes;
}

std::string Describe(const Scenario& S, EFI_STATUS Status) {
  std::string text = "status " + std::to_string(Status) + ", args:";
  for (const std::u16string& arg : S.Args) text += " [" + fuzz::Escaped(std::string(arg.begin(), arg.end())) + "]";
  return text + "\ndump: " + fuzz::Escaped(S.Dump);
}

void Arrange(fake::FakeFirmware& Fw, fake::FakeFileSystem& Fs, const Scenario& S) {
  fake::FakeVolume& fs0 = Fs.AddVolume();
  fs0.WriteFile(u"\\d.txt", S.Dump);
  fs0.WriteFile(u"\\sub\\longdumpname.txt", S.Dump);
  fs0.WriteFile(u"\\sub\\other.txt", "other");
  if ((S.Options & 2) != 0) fs0.WriteFile(u"\\o.vkf", S.OldVkf);
  Fs.AddVolume().WriteFile(u"\\d.txt", "on fs1");
  if ((S.Options & 4) != 0) Fw.SetVariable(u"EFIDebug", gEfiDebugMaskVariableGuid, std::vector<UINT8>(8, 0xFF));
  Fs.DeleteFails = (S.Options & 8) != 0;
  if ((S.Options & 16) != 0) fs0.FreeSpace = 16 * UINT64(S.Space);
}

void RunAndCheck(fake::FakeFirmware& Fw, const Scenario& S) {
  fake::FakeHii hii(Fw);
  fake::FakeShell shell(Fw);
  shell.InstallOnImage();
  fake::FakeFileSystem fs(Fw);
  Arrange(Fw, fs, S);
  fake::FakeShellMap map(shell, fs);
  if ((S.Options & 64) != 0) map.SetCurrentDirectory(u"fs0:\\sub");
  const Snapshot before = Files(fs);
  const std::vector<std::u16string> names = FileNames(S);
  LibShellEnvironment = &shell.Environment();
  const std::optional<std::string> dump = names.empty() ? std::nullopt : ReadByName(names[0]);
  shell.SetArguments(S.Args, S.Info);
  if (S.Failing != 0) Fw.FailAllocation(S.Failing);
  fake::ImageRunResult run = Fw.RunImage([&] { return ShellAppEntry(Fw.ImageHandle(), Fw.SystemTable()); });
  Fw.StopFailingAllocations();
  const Snapshot after = WithoutKeptTemporaries(before, Files(fs), fs.DeleteFails);

  FUZZ_CHECK(!run.Exited, Describe(S, run.Status));
  FUZZ_CHECK(fs.OpenHandleCount() == 0, Describe(S, run.Status));
  FUZZ_CHECK(!dump.has_value() || ReadByName(names[0]) == dump, "the dump changed\n" + Describe(S, run.Status));
  if (run.Status != EFI_SUCCESS) {
    FUZZ_CHECK(before == after, "a failed run changed a file\n" + Describe(S, run.Status));
    return;
  }
  FUZZ_CHECK(names.size() >= 2, "success without a VKF name\n" + Describe(S, run.Status));
  const std::string expected = fuzz::ReferenceVkf(fuzz::ReferenceRecords(S.Dump), fuzz::LineFeeds::Expanded);
  const std::optional<std::string> written = ReadByName(names[1]);
  FUZZ_CHECK(written == expected, "VKF " + fuzz::Escaped(written.value_or("<none>")) + "\nexpected " +
                                      fuzz::Escaped(expected) + "\n" + Describe(S, run.Status));
  FUZZ_CHECK(OneFileReplaced(before, after), "a run changed several files\n" + Describe(S, run.Status));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const Scenario scenario = Read(input);
  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  RunAndCheck(fw, scenario);
  fuzz::EndOnFirmware(fw, scenario.Failing != 0, Describe(scenario, 0));
  return 0;
}
