#include "Handle.h"

#include "IO.h"
#include "Globals.h"
#include "Mem.h"
#include "Misc.h"

static const CHAR8 kLibSource[] = "Shell/Library/Handle";

// First guess for a handle search: room for 50 handles.
static const UINTN kHandleBufferFirstGuess = 50 * sizeof(EFI_HANDLE);

EFI_STATUS LibLocateProtocol(const EFI_GUID* ProtocolGuid, VOID** Interface) {
  if (Interface == nullptr) return EFI_INVALID_PARAMETER;
  *Interface = nullptr;
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_STATUS status = LibFindHandles(ByProtocol, ProtocolGuid, nullptr, &count, &handles);
  if (EFI_ERROR(status)) {
    LibDebugReport(kDebugInfo, "LibLocateProtocol: Handle not found\n");
    return status;
  }
  // A search that succeeds with no handle must not pass for a found interface.
  status = EFI_NOT_FOUND;
  for (UINTN i = 0; i < count; ++i) {
    status = LibBootServices->HandleProtocol(handles[i], ProtocolGuid, Interface);
    if (!EFI_ERROR(status)) break;
    *Interface = nullptr;
  }
  ReleasePool(handles);
  return status;
}

EFI_STATUS LibFindHandles(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol, VOID* SearchKey,
                          UINTN* NoHandles, EFI_HANDLE** Buffer) {
  if (!LIB_CHECK_NOT_NULL(NoHandles) || !LIB_CHECK_NOT_NULL(Buffer)) return EFI_INVALID_PARAMETER;
  VOID* block = nullptr;
  UINTN size = kHandleBufferFirstGuess;
  EFI_STATUS status = EFI_SUCCESS;
  while (LibBufferRetry(&status, &block, size)) {
    status = LibBootServices->LocateHandle(SearchType, Protocol, SearchKey, &size, static_cast<EFI_HANDLE*>(block));
  }
  *Buffer = static_cast<EFI_HANDLE*>(block);
  *NoHandles = EFI_ERROR(status) ? 0 : size / sizeof(EFI_HANDLE);
  return status;
}
