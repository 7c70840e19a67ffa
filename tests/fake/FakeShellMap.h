// The shell's file-name mapping for host tests: answers the version-2 shell
// environment's NameToPath (offset 0x130) of a FakeShell with device paths of
// the volumes of a FakeFileSystem.
//
//   fake::FakeShell shell(fw);
//   fake::FakeFileSystem fs(fw);
//   fs.AddVolume();
//   fake::FakeShellMap map(shell, fs);   // the current directory is the root of fs0
//
// Names it maps:
//   fsN:\dir\file      volume N (the Nth volume made), from its root
//   fsN:dir\file       volume N, from the current directory when that is on
//                      volume N, else from its root
//   \dir\file          the current volume, from its root
//   dir\file           the current directory
// Mapping names ignore case ("FS0:"). "." and ".." are resolved and empty
// names between backslashes dropped, as the shell does, so the path always
// holds the volume's nodes and one file-path node with the full name from
// the root ("\dir\file"; "\" for the root). The case of the names is kept as
// typed. A name it cannot map gives null: an unknown mapping, a relative name
// with no current directory, an empty name.
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
