#include "Init.h"

#include "Handle.h"
#include "HiiSupport.h"
#include "IO.h"
#include "Mem.h"
#include "Misc.h"
#include "Str.h"
#include "UefiShell.h"

#include "Protocol/UefiShell.h"

// What start-up made under a UEFI 2.x shell: the shell interface and the
// environment that LibShellInterface and LibShellEnvironment then point to.
static UefiShellBinding UefiShell;

static bool BoundToUefiShell() { return LibShellInterface != nullptr && LibShellInterface == &UefiShell.Interface; }

VOID LibResetGlobals() {
  LibStarted = FALSE;
  LibSystemTable = nullptr;
  LibBootServices = nullptr;
  LibRuntimeServices = nullptr;
  LibPoolType = EfiBootServicesData;
  LibCollation = &FallbackCollation;
  LibDebugAssert = nullptr;
  LibPoolFailureHook = nullptr;
  LibShellInterface = nullptr;
  LibShellEnvironment = nullptr;
  LibGuidNamer = nullptr;
  LibHiiDatabase = nullptr;
  LibHiiString = nullptr;
  LibHiiProtocolsFound = FALSE;
  LibAppStringsRegistered = FALSE;
  LibAppStringsHandle = nullptr;
  UefiShell = UefiShellBinding{};
}

// ---- Start-up ----

static VOID ReadImageDataType(EFI_HANDLE ImageHandle) {
  VOID* interface = nullptr;
  EFI_STATUS status = LibBootServices->HandleProtocol(ImageHandle, &gEfiLoadedImageProtocolGuid, &interface);
  if (EFI_ERROR(status) || interface == nullptr) return;
  LibPoolType = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(interface)->ImageDataType;
}

VOID LibStartUp(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  if (!LibStarted) {
    LibStarted = TRUE;
    LibSystemTable = SystemTable;
    LibBootServices = SystemTable->BootServices;
    LibRuntimeServices = SystemTable->RuntimeServices;
    LibPoolFailureHook = LibDebugReportPoolFailure;
    if (ImageHandle != nullptr) ReadImageDataType(ImageHandle);
  }
  if (ImageHandle != nullptr && LibCollation == &FallbackCollation) LibSelectCollation(ImageHandle);
  VOID* debugAssert = nullptr;
  LibLocateProtocol(&gEfiDebugAssertProtocolGuid, &debugAssert);
  LibDebugAssert = static_cast<EFI_DEBUG_ASSERT_PROTOCOL*>(debugAssert);
}

EFI_STATUS LibSelectCollation(EFI_HANDLE ImageHandle) {
  EFI_STATUS status = LibTryCollation(ImageHandle, &gEfiUnicodeCollation2ProtocolGuid);
  if (EFI_ERROR(status)) status = LibTryCollation(ImageHandle, &gEfiUnicodeCollationProtocolGuid);
  return status;
}

// Whether the collation instance supports the platform language.
static bool SupportsPlatformLanguage(const EFI_UNICODE_COLLATION_PROTOCOL* Collation, BOOLEAN Iso639) {
  CHAR8* match = LibPlatformLanguageMatch(Collation->SupportedLanguages, Iso639);
  if (match == nullptr) return false;
  ReleasePool(match);
  return true;
}

EFI_STATUS LibTryCollation(EFI_HANDLE ImageHandle, const EFI_GUID* ProtocolGuid) {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_STATUS status = LibBootServices->LocateHandleBuffer(ByProtocol, ProtocolGuid, nullptr, &count, &handles);
  if (EFI_ERROR(status)) return status;
  const BOOLEAN iso639 = LibGuidCompare(ProtocolGuid, &gEfiUnicodeCollationProtocolGuid) == 0;
  // Stays an error when no instance matches, so that the caller goes on to
  // the older protocol.
  status = EFI_UNSUPPORTED;
  for (UINTN i = 0; i < count; ++i) {
    VOID* interface = nullptr;
    EFI_STATUS opened = LibBootServices->OpenProtocol(handles[i], ProtocolGuid, &interface, ImageHandle, nullptr,
                                                      EFI_OPEN_PROTOCOL_GET_PROTOCOL);
    if (EFI_ERROR(opened) || interface == nullptr) continue;
    auto* collation = static_cast<const EFI_UNICODE_COLLATION_PROTOCOL*>(interface);
    if (!SupportsPlatformLanguage(collation, iso639)) continue;
    LibCollation = collation;
    status = EFI_SUCCESS;
    break;
  }
  ReleasePool(handles);
  return status;
}

// ---- Binding to the shell ----

static bool IsShellEnvironment2(const EFI_SHELL_ENVIRONMENT2* Environment) {
  return Environment != nullptr && LibGuidCompare(&Environment->SESGuid, &gEfiShellEnvironment2SignatureGuid) == 0 &&
         Environment->MajorVersion >= 1;
}

// Looks the shell environment up on ImageHandle into LibShellEnvironment.
static EFI_STATUS LookUpShellEnvironment(EFI_HANDLE Handle) {
  VOID* interface = nullptr;
  EFI_STATUS status = LibBootServices->HandleProtocol(Handle, &gEfiShellEnvironmentGuid, &interface);
  LibShellEnvironment = static_cast<EFI_SHELL_ENVIRONMENT2*>(interface);
  return status;
}

// Searches every handle that carries the shell environment for a version-2 one.
static EFI_STATUS SearchShellEnvironment2() {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_STATUS status = LibFindHandles(ByProtocol, &gEfiShellEnvironmentGuid, nullptr, &count, &handles);
  if (EFI_ERROR(status)) return status;
  status = EFI_NOT_FOUND;
  for (UINTN i = 0; i < count; ++i) {
    if (EFI_ERROR(LookUpShellEnvironment(handles[i]))) continue;
    if (IsShellEnvironment2(LibShellEnvironment)) {
      status = EFI_SUCCESS;
      break;
    }
  }
  ReleasePool(handles);
  return status;
}

// Ends the image after a failed start-up. Exit does not come back on a
// firmware; if it ever does, the failure goes back to the caller instead of
// letting start-up carry on without its interfaces.
static EFI_STATUS EndImage(EFI_HANDLE ImageHandle, const CHAR8* Report, EFI_STATUS Status) {
  LibDebugReport(kDebugError, Report);
  LibBootServices->Exit(ImageHandle, Status, 0, nullptr);
  return Status;
}

// Binds to an EFI 1.x shell, whose interface is on the image handle: a
// version-2 environment on the image handle or else on any handle. A failure
// ends the image.
static EFI_STATUS BindEfiShell(EFI_HANDLE ImageHandle) {
  EFI_STATUS status = LookUpShellEnvironment(ImageHandle);
  if (!EFI_ERROR(status) && IsShellEnvironment2(LibShellEnvironment)) return status;
  status = SearchShellEnvironment2();
  if (EFI_ERROR(status)) return EndImage(ImageHandle, "InitShellApp: Shell environment interfaces not found\n", status);
  return status;
}

// Binds to a UEFI 2.x shell, which started the image without the EFI 1.x
// interfaces, or ends the image. NotStarted is the failed lookup of the shell
// interface: the status to end with when no UEFI 2.x shell started it either.
// Without memory for the interfaces it ends with EFI_OUT_OF_RESOURCES.
static EFI_STATUS BindUefiShell(EFI_HANDLE ImageHandle, EFI_STATUS NotStarted) {
  UefiShell.BootServices = LibBootServices;
  UefiShell.PoolType = LibPoolType;
  EFI_STATUS status = UefiShellBind(&UefiShell, ImageHandle);
  if (status == EFI_OUT_OF_RESOURCES) {
    return EndImage(ImageHandle, "InitShellApp: Shell environment interfaces not found\n", status);
  }
  if (EFI_ERROR(status)) return EndImage(ImageHandle, "InitShellApp: Application not started from Shell\n", NotStarted);
  LibShellInterface = &UefiShell.Interface;
  LibShellEnvironment = &UefiShell.Environment;
  return EFI_SUCCESS;
}

EFI_STATUS InitShellApp(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibStartUp(ImageHandle, SystemTable);
  VOID* interface = nullptr;
  EFI_STATUS status = LibBootServices->HandleProtocol(ImageHandle, &gEfiShellInterfaceGuid, &interface);
  LibShellInterface = static_cast<EFI_SHELL_INTERFACE*>(interface);
  status = EFI_ERROR(status) ? BindUefiShell(ImageHandle, status) : BindEfiShell(ImageHandle);
  if (EFI_ERROR(status)) return status;
  // No page-break prompts and no output pause while the application runs.
  LibShellEnvironment->DisablePageBreak();
  UINT32 keyFilter = LibShellEnvironment->GetKeyFilter();
  LibShellEnvironment->SetKeyFilter(keyFilter & ~EFI_OUTPUT_PAUSE);
  return status;
}

EFI_STATUS LibEndShellApp(const CHAR16* StatusVariable, EFI_STATUS Status) {
  VOID* shell = nullptr;
  EFI_STATUS found = LibBootServices->LocateProtocol(&gEfiShellProtocolGuid, nullptr, &shell);
  if (!EFI_ERROR(found) && shell != nullptr) {
    UefiShellKeepStatus(static_cast<EFI_SHELL_PROTOCOL*>(shell), StatusVariable, Status);
  }
  if (BoundToUefiShell()) UefiShellRelease(&UefiShell);
  return Status;
}

// ---- Argument list ----

static bool IsEmptyArg(const CHAR16* Arg) { return Arg == nullptr || Arg[0] == 0; }

static UINTN CountNonEmptyArgs(const EFI_SHELL_INTERFACE* Shell) {
  UINTN count = 0;
  for (UINTN i = 0; i < Shell->Argc; ++i) count += IsEmptyArg(Shell->Argv[i]) ? 0 : 1;
  return count;
}

static VOID ReleaseStrings(CHAR16** Strings, UINTN Count) {
  for (UINTN i = 0; i < Count; ++i) {
    if (Strings[i] != nullptr) ReleasePool(Strings[i]);
  }
}

// Fills Argv and ArgInfo with copies of the shell's non-empty arguments.
static bool CopyNonEmptyArgs(const EFI_SHELL_INTERFACE* Shell, CHAR16** Argv, EFI_SHELL_ARG_INFO* ArgInfo) {
  UINTN next = 0;
  for (UINTN i = 0; i < Shell->Argc; ++i) {
    if (IsEmptyArg(Shell->Argv[i])) continue;
    Argv[next] = Str16Clone(Shell->Argv[i]);
    if (Argv[next] == nullptr) {
      ReleaseStrings(Argv, next);
      return false;
    }
    ArgInfo[next].Attributes = Shell->ArgInfo != nullptr ? Shell->ArgInfo[i].Attributes : 0;
    ++next;
  }
  return true;
}

EFI_STATUS LibDropEmptyArgs() {
  EFI_SHELL_INTERFACE* shell = LibShellInterface;
  if (shell == nullptr) return EFI_NOT_STARTED;
  UINTN count = CountNonEmptyArgs(shell);
  auto* argv = static_cast<CHAR16**>(AllocateZeroedPool(count * sizeof(CHAR16*)));
  auto* argInfo = static_cast<EFI_SHELL_ARG_INFO*>(AllocateZeroedPool(count * sizeof(EFI_SHELL_ARG_INFO)));
  if (argv == nullptr || argInfo == nullptr || !CopyNonEmptyArgs(shell, argv, argInfo)) {
    if (argv != nullptr) ReleasePool(argv);
    if (argInfo != nullptr) ReleasePool(argInfo);
    return EFI_OUT_OF_RESOURCES;
  }
  ReleaseStrings(shell->Argv, shell->Argc);
  if (shell->ArgInfo != nullptr) ReleasePool(shell->ArgInfo);
  ReleasePool(shell->Argv);
  shell->ArgInfo = argInfo;
  shell->Argv = argv;
  shell->Argc = count;
  return EFI_SUCCESS;
}
