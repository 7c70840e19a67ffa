#include "UefiShellEnvironment.h"

#include "Guids.h"
#include "Protocol/UefiShellParameters.h"

namespace {

constexpr UINT32 kInitialKeyFilter = EFI_OUTPUT_SCROLL | EFI_OUTPUT_PAUSE | EFI_EXECUTION_BREAK;

// One device path handed to the application; released after its run.
struct PathRecord {
  PathRecord* Next;
  EFI_DEVICE_PATH_PROTOCOL* Path;
};

struct EnvironmentState {
  EFI_SHELL_PROTOCOL* Shell;
  EFI_BOOT_SERVICES* BootServices;
  UINT32 KeyFilter;
  PathRecord* Paths;
};

EnvironmentState gState;

struct GuidName {
  const EFI_GUID* Guid;
  const CHAR16* Name;
};

constexpr GuidName kGuidNames[] = {
    {&gEfiLoadedImageProtocolGuid, u"Image"},
    {&gEfiDevicePathProtocolGuid, u"DevPath"},
    {&gEfiSimpleTextOutProtocolGuid, u"TxtOut"},
    {&gEfiSimpleFileSystemProtocolGuid, u"Fs"},
    {&gEfiFileInfoGuid, u"FileInfo"},
    {&gEfiUnicodeCollationProtocolGuid, u"UnicodeCollation"},
    {&gEfiUnicodeCollation2ProtocolGuid, u"UnicodeCollation2"},
    {&gEfiHiiDatabaseProtocolGuid, u"HiiDatabase"},
    {&gEfiHiiStringProtocolGuid, u"HiiString"},
    {&gEfiShellInterfaceGuid, u"ShellInt"},
    {&gEfiShellEnvironmentGuid, u"SEnv"},
    {&gEfiShellProtocolGuid, u"Shell"},
    {&gEfiShellParametersProtocolGuid, u"ShellParameters"},
    {&gEfiGlobalVariableGuid, u"GlobalVariable"},
};

bool SameGuid(const EFI_GUID* Left, const EFI_GUID* Right) {
  const UINT8* a = reinterpret_cast<const UINT8*>(Left);
  const UINT8* b = reinterpret_cast<const UINT8*>(Right);
  for (UINTN i = 0; i < sizeof(EFI_GUID); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Names are constant text; the caller treats them as the shell's and never
// frees or changes them. GenId is not honoured: no names are made up.
CHAR16* EFIAPI GetProt(const EFI_GUID* Protocol, BOOLEAN GenId) {
  (void)GenId;
  if (Protocol == nullptr) return nullptr;
  for (const GuidName& entry : kGuidNames) {
    if (SameGuid(entry.Guid, Protocol)) return const_cast<CHAR16*>(entry.Name);
  }
  return nullptr;
}

VOID EFIAPI EnablePageBreak(INT32 StartRow, BOOLEAN AutoWrap) {
  (void)StartRow;
  (void)AutoWrap;
}

VOID EFIAPI DisablePageBreak() {}

BOOLEAN EFIAPI GetPageBreak() { return FALSE; }

VOID EFIAPI SetKeyFilter(UINT32 KeyFilter) { gState.KeyFilter = KeyFilter; }

UINT32 EFIAPI GetKeyFilter() { return gState.KeyFilter; }

// The mapped path is recorded so that it can be freed after the run. When no
// record can be allocated the name counts as unmappable, which the
// application already has to handle, rather than leaking the path.
EFI_DEVICE_PATH_PROTOCOL* EFIAPI NameToPath(const CHAR16* Path) {
  if (Path == nullptr || gState.Shell == nullptr) return nullptr;
  EFI_DEVICE_PATH_PROTOCOL* mapped = gState.Shell->GetDevicePathFromFilePath(Path);
  if (mapped == nullptr) return nullptr;
  VOID* block = nullptr;
  EFI_STATUS status = gState.BootServices->AllocatePool(EfiBootServicesData, sizeof(PathRecord), &block);
  if (EFI_ERROR(status)) {
    gState.BootServices->FreePool(mapped);
    return nullptr;
  }
  PathRecord* record = static_cast<PathRecord*>(block);
  record->Next = gState.Paths;
  record->Path = mapped;
  gState.Paths = record;
  return mapped;
}

}  // namespace

void UefiShellEnvironmentInit(EFI_SHELL_ENVIRONMENT2* Environment, EFI_SHELL_PROTOCOL* Shell,
                              EFI_BOOT_SERVICES* BootServices) {
  gState.Shell = Shell;
  gState.BootServices = BootServices;
  gState.KeyFilter = kInitialKeyFilter;
  gState.Paths = nullptr;

  BootServices->SetMem(Environment, sizeof(*Environment), 0);
  Environment->GetProt = GetProt;
  Environment->SESGuid = gEfiShellEnvironment2SignatureGuid;
  Environment->MajorVersion = 1;
  Environment->MinorVersion = 0;
  Environment->EnablePageBreak = EnablePageBreak;
  Environment->DisablePageBreak = DisablePageBreak;
  Environment->GetPageBreak = GetPageBreak;
  Environment->SetKeyFilter = SetKeyFilter;
  Environment->GetKeyFilter = GetKeyFilter;
  Environment->NameToPath = NameToPath;
}

void UefiShellEnvironmentRelease() {
  while (gState.Paths != nullptr) {
    PathRecord* record = gState.Paths;
    gState.Paths = record->Next;
    gState.BootServices->FreePool(record->Path);
    gState.BootServices->FreePool(record);
  }
}
