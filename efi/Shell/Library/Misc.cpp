#include "Misc.h"

#include "Init.h"
#include "Mem.h"
#include "Str.h"

static const CHAR8 kLibSource[] = "Shell/Library/Misc";

// First guess for a variable's size; most variables fit, so one call suffices.
static const UINTN kVariableFirstGuess = 100;

static UINT32 GuidWord(const EFI_GUID* Guid, UINTN Index) {
  UINT32 word;
  __builtin_memcpy(&word, reinterpret_cast<const UINT8*>(Guid) + Index * 4, 4);
  return word;
}

INTN LibGuidCompare(const EFI_GUID* Guid1, const EFI_GUID* Guid2) {
  if (!LIB_CHECK_NOT_NULL(Guid1) || !LIB_CHECK_NOT_NULL(Guid2)) return Guid1 == Guid2 ? 0 : 1;
  INTN result = 0;
  for (UINTN i = 0; i < 4; ++i) result |= INTN(INT32(GuidWord(Guid1, i) - GuidWord(Guid2, i)));
  return result;
}

BOOLEAN LibBufferRetry(EFI_STATUS* Status, VOID** Buffer, UINTN BufferSize) {
  if (!LIB_CHECK_NOT_NULL(Status) || !LIB_CHECK_NOT_NULL(Buffer)) return FALSE;
  if (*Buffer == nullptr && BufferSize != 0) *Status = EFI_BUFFER_TOO_SMALL;
  if (*Status == EFI_BUFFER_TOO_SMALL) {
    if (*Buffer != nullptr) ReleasePool(*Buffer);
    *Buffer = AllocateZeroedPool(BufferSize);
    if (*Buffer != nullptr) return TRUE;
    *Status = EFI_OUT_OF_RESOURCES;
  }
  if (EFI_ERROR(*Status) && *Buffer != nullptr) {
    ReleasePool(*Buffer);
    *Buffer = nullptr;
  }
  return FALSE;
}

VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid, UINTN* VarSize) {
  if (!LIB_CHECK_NOT_NULL(VarSize)) return nullptr;
  VOID* buffer = nullptr;
  UINTN size = kVariableFirstGuess;
  EFI_STATUS status = EFI_SUCCESS;
  while (LibBufferRetry(&status, &buffer, size)) {
    status = LibRuntimeServices->GetVariable(Name, VendorGuid, nullptr, &size, buffer);
  }
  *VarSize = buffer != nullptr ? size : 0;
  return buffer;
}

VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid) {
  UINTN size;
  return LibReadVariable(Name, VendorGuid, &size);
}
