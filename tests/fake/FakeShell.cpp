#include "FakeShell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FakeFileSystem.h"

namespace fake {

namespace {

FakeShell* currentShell = nullptr;

VOID EFIAPI DisablePageBreak() {
  FakeShell& shell = FakeShell::Current();
  shell.EnvironmentCalls.push_back("DisablePageBreak");
  ++shell.DisablePageBreakCalls;
}

VOID EFIAPI EnablePageBreak(INT32, BOOLEAN) { FakeShell::Current().EnvironmentCalls.push_back("EnablePageBreak"); }

UINT32 EFIAPI GetKeyFilter() {
  FakeShell& shell = FakeShell::Current();
  shell.EnvironmentCalls.push_back("GetKeyFilter");
  return shell.KeyFilter;
}

VOID EFIAPI SetKeyFilter(UINT32 KeyFilter) {
  FakeShell& shell = FakeShell::Current();
  shell.EnvironmentCalls.push_back("SetKeyFilter");
  shell.SetKeyFilterValues.push_back(KeyFilter);
  shell.KeyFilter = KeyFilter;
}

EFI_DEVICE_PATH_PROTOCOL* EFIAPI NameToPath(const CHAR16* Name) {
  FakeShell& shell = FakeShell::Current();
  shell.EnvironmentCalls.push_back("NameToPath");
  return shell.NameToPath ? shell.NameToPath(Name) : nullptr;
}

CHAR16* EFIAPI GetProt(const EFI_GUID* Guid, BOOLEAN GenId) {
  FakeShell& shell = FakeShell::Current();
  shell.EnvironmentCalls.push_back("GetProt");
  return shell.GetProt ? shell.GetProt(Guid, GenId) : nullptr;
}

// The UEFI 2.x shell protocol's two services that the library calls.
EFI_STATUS EFIAPI SetEnv(const CHAR16* Name, const CHAR16* Value, BOOLEAN Volatile) {
  EXPECT_TRUE(Volatile) << "a status is kept in a volatile variable";
  FakeShell::Current().Variables[Name] = Value;
  return EFI_SUCCESS;
}

EFI_DEVICE_PATH_PROTOCOL* EFIAPI GetDevicePathFromFilePath(const CHAR16* Name) {
  FakeShell& shell = FakeShell::Current();
  EFI_DEVICE_PATH_PROTOCOL* mapped = shell.NameToPath ? shell.NameToPath(Name) : nullptr;
  if (mapped == nullptr) return nullptr;
  const std::vector<UINT8> bytes = DevicePathBytes(mapped);
  void* copy = shell.Firmware().AllocateForTest(bytes.size());
  std::memcpy(copy, bytes.data(), bytes.size());
  return static_cast<EFI_DEVICE_PATH_PROTOCOL*>(copy);
}

}  // namespace

FakeShell::FakeShell(FakeFirmware& Firmware) : fw_(Firmware) {
  if (currentShell != nullptr) {
    std::fprintf(stderr, "fake shell: a second instance while one is current\n");
    std::abort();
  }
  currentShell = this;
  interface_.ImageHandle = fw_.ImageHandle();
  interface_.Info = &fw_.LoadedImage();
  FillEnvironment(&environment_, true, 1);
  hookId_ = fw_.AddTestEndHook([this] { ReleaseArguments(); });
}

FakeShell::~FakeShell() {
  ReleaseArguments();
  fw_.RemoveTestEndHook(hookId_);
  currentShell = nullptr;
}

FakeShell& FakeShell::Current() {
  if (currentShell == nullptr) {
    std::fprintf(stderr, "fake shell: an environment function was called with no shell\n");
    std::abort();
  }
  return *currentShell;
}

VOID FakeShell::FillEnvironment(EFI_SHELL_ENVIRONMENT2* Environment, bool Version2, UINT32 MajorVersion) {
  *Environment = EFI_SHELL_ENVIRONMENT2{};
  Environment->GetProt = &fake::GetProt;
  if (Version2) Environment->SESGuid = gEfiShellEnvironment2SignatureGuid;
  Environment->MajorVersion = MajorVersion;
  Environment->EnablePageBreak = &fake::EnablePageBreak;
  Environment->DisablePageBreak = &fake::DisablePageBreak;
  Environment->SetKeyFilter = &fake::SetKeyFilter;
  Environment->GetKeyFilter = &fake::GetKeyFilter;
  Environment->NameToPath = &fake::NameToPath;
}

EFI_SHELL_ENVIRONMENT2* FakeShell::NewEnvironment(bool Version2, UINT32 MajorVersion) {
  extraEnvironments_.emplace_back();
  FillEnvironment(&extraEnvironments_.back(), Version2, MajorVersion);
  return &extraEnvironments_.back();
}

void FakeShell::SetArguments(const std::vector<std::u16string>& Args, const std::vector<UINT32>& ArgInfo) {
  ReleaseArguments();
  auto* argv = static_cast<CHAR16**>(fw_.AllocateForTest((Args.size() + 1) * sizeof(CHAR16*)));
  for (size_t i = 0; i < Args.size(); ++i) argv[i] = fw_.CloneForTest(Args[i]);
  argv[Args.size()] = nullptr;
  interface_.Argv = argv;
  interface_.Argc = Args.size();
  interface_.ArgInfo = nullptr;
  if (ArgInfo.empty()) return;
  auto* info = static_cast<EFI_SHELL_ARG_INFO*>(fw_.AllocateForTest(ArgInfo.size() * sizeof(EFI_SHELL_ARG_INFO)));
  for (size_t i = 0; i < ArgInfo.size(); ++i) info[i].Attributes = ArgInfo[i];
  interface_.ArgInfo = info;
}

std::vector<std::u16string> FakeShell::Arguments() const {
  std::vector<std::u16string> args;
  for (UINTN i = 0; i < interface_.Argc; ++i) args.emplace_back(interface_.Argv[i]);
  return args;
}

std::vector<UINT32> FakeShell::ArgInfoWords() const {
  std::vector<UINT32> words;
  if (interface_.ArgInfo == nullptr) return words;
  for (UINTN i = 0; i < interface_.Argc; ++i) words.push_back(interface_.ArgInfo[i].Attributes);
  return words;
}

void FakeShell::InstallOnImage() {
  EFI_HANDLE image = fw_.ImageHandle();
  fw_.InstallProtocol(&image, gEfiShellInterfaceGuid, &interface_);
  fw_.InstallProtocol(&image, gEfiShellEnvironmentGuid, &environment_);
}

void FakeShell::StartAsUefiShell(const std::u16string& CommandLine) {
  fw_.UninstallProtocol(fw_.ImageHandle(), gEfiShellInterfaceGuid);
  fw_.UninstallProtocol(fw_.ImageHandle(), gEfiShellEnvironmentGuid);
  commandLine_ = CommandLine;
  fw_.LoadedImage().LoadOptions = commandLine_.data();
  fw_.LoadedImage().LoadOptionsSize = static_cast<UINT32>((commandLine_.size() + 1) * sizeof(CHAR16));
  // Stand-ins for the shell's stream handles, which the library only hands on.
  parameters_.StdIn = &commandLine_;
  parameters_.StdOut = &parameters_.StdOut;
  parameters_.StdErr = &parameters_.StdErr;
  if (uefiShellHandle_ != nullptr) return;
  EFI_HANDLE image = fw_.ImageHandle();
  fw_.InstallProtocol(&image, gEfiShellParametersProtocolGuid, &parameters_);
  uefiShell_.SetEnv = &fake::SetEnv;
  uefiShell_.GetDevicePathFromFilePath = &fake::GetDevicePathFromFilePath;
  uefiShell_.MajorVersion = 2;
  uefiShellHandle_ = fw_.InstallProtocol(gEfiShellProtocolGuid, &uefiShell_);
}

void FakeShell::ReleaseArguments() {
  if (interface_.Argv != nullptr) {
    for (UINTN i = 0; i < interface_.Argc; ++i) {
      if (fw_.IsLiveBlock(interface_.Argv[i])) fw_.FreeForTest(interface_.Argv[i]);
    }
    if (fw_.IsLiveBlock(interface_.Argv)) fw_.FreeForTest(interface_.Argv);
  }
  if (interface_.ArgInfo != nullptr && fw_.IsLiveBlock(interface_.ArgInfo)) fw_.FreeForTest(interface_.ArgInfo);
  interface_.Argv = nullptr;
  interface_.ArgInfo = nullptr;
  interface_.Argc = 0;
}

}  // namespace fake
