// The EFI shell's side of a shell application, for host tests: a shell
// interface with an argument list, and version-2 shell environments.
//
//   fake::FakeShell shell(fw);
//   shell.SetArguments({u"qorvex", u"a.txt"}, {0, 0});
//   shell.InstallOnImage();   // both protocols on fw.ImageHandle()
//
// The argument strings and both arrays are test-made pool blocks, the way a
// shell hands them over; the library may free and replace them
// (LibDropEmptyArgs). Whatever the interface holds at the end of the test is
// given back before the live-block check, as the shell does when the image
// returns.
//
// The environment functions take no context, so they record into the one
// current FakeShell. NameToPath and GetProt answer through the std::function
// members when set (null / no name otherwise).
//
// StartAsUefiShell(line) starts the image as OVMF's UEFI 2.x shell does
// (measured in the firmware tests): no shell interface and no environment on
// the image handle, the shell parameters on it, the image's LoadOptions the
// line as typed with its NUL, and the UEFI shell protocol on a handle of its
// own. Its GetDevicePathFromFilePath answers through NameToPath with a new
// pool copy that the caller frees; SetEnv stores into Variables.
#ifndef QORVEX_TESTS_FAKE_FAKE_SHELL_H
#define QORVEX_TESTS_FAKE_FAKE_SHELL_H

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FakeFirmware.h"
#include "Protocol/UefiShell.h"
#include "Protocol/UefiShellParameters.h"

namespace fake {

class FakeShell {
 public:
  explicit FakeShell(FakeFirmware& Firmware);
  ~FakeShell();
  FakeShell(const FakeShell&) = delete;
  FakeShell& operator=(const FakeShell&) = delete;

  static FakeShell& Current();
  FakeFirmware& Firmware() { return fw_; }

  // Replaces the argument list. An empty ArgInfo leaves the interface's
  // ArgInfo null (a shell that gives none).
  void SetArguments(const std::vector<std::u16string>& Args, const std::vector<UINT32>& ArgInfo = {});
  std::vector<std::u16string> Arguments() const;
  std::vector<UINT32> ArgInfoWords() const;  // empty when ArgInfo is null

  EFI_SHELL_INTERFACE& Interface() { return interface_; }
  // The main environment, version 2 unless changed.
  EFI_SHELL_ENVIRONMENT2& Environment() { return environment_; }
  // A further environment instance owned by the shell (version 2 or not).
  EFI_SHELL_ENVIRONMENT2* NewEnvironment(bool Version2, UINT32 MajorVersion = 1);

  // Installs the interface and the main environment on the image handle.
  void InstallOnImage();

  // Takes the EFI 1.x interfaces off the image handle (when there) and
  // starts it from a UEFI 2.x shell with CommandLine; see above.
  void StartAsUefiShell(const std::u16string& CommandLine);
  EFI_SHELL_PARAMETERS_PROTOCOL& Parameters() { return parameters_; }
  std::map<std::u16string, std::u16string> Variables;  // what SetEnv stored

  // Gives back the argument blocks the interface holds now. Idempotent.
  void ReleaseArguments();

  // What the environment functions recorded.
  size_t DisablePageBreakCalls = 0;
  UINT32 KeyFilter = EFI_OUTPUT_SCROLL | EFI_OUTPUT_PAUSE | EFI_EXECUTION_BREAK;
  std::vector<UINT32> SetKeyFilterValues;
  std::vector<std::string> EnvironmentCalls;  // "DisablePageBreak", "GetKeyFilter", ...

  std::function<EFI_DEVICE_PATH_PROTOCOL*(const CHAR16* Name)> NameToPath;
  std::function<CHAR16*(const EFI_GUID* Guid, BOOLEAN GenId)> GetProt;

 private:
  static VOID FillEnvironment(EFI_SHELL_ENVIRONMENT2* Environment, bool Version2, UINT32 MajorVersion);

  FakeFirmware& fw_;
  EFI_SHELL_INTERFACE interface_{};
  EFI_SHELL_ENVIRONMENT2 environment_{};
  std::deque<EFI_SHELL_ENVIRONMENT2> extraEnvironments_;
  EFI_SHELL_PARAMETERS_PROTOCOL parameters_{};
  EFI_SHELL_PROTOCOL uefiShell_{};
  EFI_HANDLE uefiShellHandle_ = nullptr;
  std::u16string commandLine_;
  size_t hookId_ = 0;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_SHELL_H
