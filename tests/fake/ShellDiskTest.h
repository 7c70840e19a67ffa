// A fixture of the fake firmware with a shell, two FAT volumes (fs0: and
// fs1:) and the shell's name mapping, the current directory the root of fs0.
#ifndef QORVEX_TESTS_FAKE_SHELL_DISK_TEST_H
#define QORVEX_TESTS_FAKE_SHELL_DISK_TEST_H

#include "FakeFileSystem.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FirmwareTest.h"

namespace fake {

class ShellDiskTest : public FirmwareTest {
 protected:
  FakeShell shell{fw};
  FakeFileSystem fs{fw};
  FakeVolume& fs0 = fs.AddVolume();
  FakeVolume& fs1 = fs.AddVolume();
  FakeShellMap map{shell, fs};
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_SHELL_DISK_TEST_H
