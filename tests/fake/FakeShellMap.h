// The shell's file-name mapping for host tests: answers the version-2 shell
// environment's NameToPath (offset 0x130) of a FakeShell with device paths of
// the volumes of a FakeFileSystem.
//
//   fake::FakeShell shell(fw);
//   fake::FakeFileSystem fs(fw);
//   fs.AddVolume();
//   fake::FakeShellMap map(shell, fs);   // the current directory is the root of fs0
//
// Names it maps, as OVMF's UEFI shell does (measured through the bridge):
//   fsN:rest           volume N, one file-path node with rest as typed (a
//                      relative rest is opened from the volume's root)
//   \dir\file          the current volume, the name as typed
//   dir\file           the current volume, the current directory's path,
//                      '\' and the name ("\work\dir\file")
// Mapping names ignore case ("FS0:"). Nothing of the name is resolved or
// dropped: ".", "..", doubled backslashes, trailing dots and blanks all reach
// the file system as typed, which resolves them. A name it cannot map gives
// null: an unknown mapping, or a name without mapping and no current
// directory.
//
// The returned paths belong to the map (host memory, never pool blocks) and
// stay valid until it is destroyed, as a shell's would.
#ifndef QORVEX_TESTS_FAKE_FAKE_SHELL_MAP_H
#define QORVEX_TESTS_FAKE_FAKE_SHELL_MAP_H

#include <deque>
#include <string>
#include <vector>

#include "FakeFileSystem.h"
#include "FakeShell.h"

namespace fake {

class FakeShellMap {
 public:
  FakeShellMap(FakeShell& Shell, FakeFileSystem& FileSystem);
  ~FakeShellMap();
  FakeShellMap(const FakeShellMap&) = delete;
  FakeShellMap& operator=(const FakeShellMap&) = delete;

  // "fs1:\work" (a directory on a volume); empty for none. Starts as "fs0:\".
  void SetCurrentDirectory(const std::u16string& Directory) { currentDirectory_ = Directory; }
  const std::u16string& CurrentDirectory() const { return currentDirectory_; }

  // What NameToPath answers for Name, as bytes; empty when it gives null.
  std::vector<UINT8> PathFor(const std::u16string& Name) const;

  // The names NameToPath was asked for, in order.
  const std::vector<std::u16string>& MappedNames() const { return mappedNames_; }

 private:
  EFI_DEVICE_PATH_PROTOCOL* NameToPath(const CHAR16* Name);

  FakeShell& shell_;
  FakeFileSystem& fileSystem_;
  std::u16string currentDirectory_ = u"fs0:\\";
  std::vector<std::u16string> mappedNames_;
  std::deque<std::vector<UINT8>> handedOut_;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_SHELL_MAP_H
