#include "Globals.h"

BOOLEAN LibStarted = FALSE;
EFI_SYSTEM_TABLE* LibSystemTable = nullptr;
EFI_BOOT_SERVICES* LibBootServices = nullptr;
EFI_RUNTIME_SERVICES* LibRuntimeServices = nullptr;
EFI_MEMORY_TYPE LibPoolType = EfiBootServicesData;
const EFI_UNICODE_COLLATION_PROTOCOL* LibCollation = &FallbackCollation;
EFI_DEBUG_ASSERT_PROTOCOL* LibDebugAssert = nullptr;
EFI_SHELL_INTERFACE* LibShellInterface = nullptr;
EFI_SHELL_ENVIRONMENT2* LibShellEnvironment = nullptr;
VOID (*LibPoolFailureHook)(EFI_STATUS Status) = nullptr;

VOID LibReportAssert(const CHAR8* SourceFile, INTN SourceLine, const CHAR8* Condition) {
  if (LibDebugAssert != nullptr) LibDebugAssert->Assert(LibDebugAssert, SourceFile, SourceLine, Condition);
}

VOID LibReportPoolFailure(EFI_STATUS Status) {
  if (LibPoolFailureHook != nullptr) LibPoolFailureHook(Status);
}
