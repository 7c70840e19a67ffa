#include "Mem.h"

#include "Globals.h"

static const CHAR8 kLibSource[] = "Shell/Library/Mem";

VOID* AllocatePool(UINTN Size) {
  VOID* buffer = nullptr;
  EFI_STATUS status = LibBootServices->AllocatePool(LibPoolType, Size, &buffer);
  if (EFI_ERROR(status)) {
    LibReportPoolFailure(status);
    return nullptr;
  }
  return buffer;
}

VOID* AllocateZeroedPool(UINTN Size) {
  VOID* buffer = AllocatePool(Size);
  if (buffer != nullptr) FillMem(buffer, Size, 0);
  return buffer;
}

EFI_STATUS ReleasePool(VOID* Buffer) {
  if (!LIB_CHECK(Buffer != nullptr, "Buffer")) return EFI_INVALID_PARAMETER;
  return LibBootServices->FreePool(Buffer);
}

VOID* ResizePool(VOID* OldBuffer, UINTN OldSize, UINTN NewSize) {
  VOID* buffer = NewSize != 0 ? AllocatePool(NewSize) : nullptr;
  if (OldBuffer == nullptr) return buffer;
  if (buffer != nullptr) MoveMem(buffer, OldBuffer, OldSize < NewSize ? OldSize : NewSize);
  ReleasePool(OldBuffer);
  return buffer;
}

VOID FillMem(VOID* Buffer, UINTN Size, UINT8 Value) {
  if (!LIB_CHECK_NOT_NULL(Buffer)) return;
  UINT8* bytes = static_cast<UINT8*>(Buffer);
  for (UINTN i = 0; i < Size; ++i) bytes[i] = Value;
}

VOID ClearMem(VOID* Buffer, UINTN Size) { FillMem(Buffer, Size, 0); }

VOID MoveMem(VOID* Dest, const VOID* Src, UINTN Length) {
  if (!LIB_CHECK_NOT_NULL(Dest) || !LIB_CHECK_NOT_NULL(Src)) return;
  UINT8* to = static_cast<UINT8*>(Dest);
  const UINT8* from = static_cast<const UINT8*>(Src);
  // A destination that starts inside the source range is copied from the top
  // down, so that no source byte is overwritten before it has been read.
  if (from < to && to < from + Length) {
    while (Length != 0) {
      --Length;
      to[Length] = from[Length];
    }
    return;
  }
  for (UINTN i = 0; i < Length; ++i) to[i] = from[i];
}

VOID* FillBytes(VOID* Buffer, UINT8 Value, UINTN Count) {
  UINT8* bytes = static_cast<UINT8*>(Buffer);
  const UINT32 word = Value * 0x01010101u;
  UINTN words = Count / 4;
  for (UINTN i = 0; i < words; ++i, bytes += 4) __builtin_memcpy(bytes, &word, 4);
  for (UINTN i = 0; i < Count % 4; ++i) bytes[i] = Value;
  return Buffer;
}

VOID* AppAllocZeroed(EFI_BOOT_SERVICES* BootServices, UINTN Size) {
  VOID* buffer = nullptr;
  EFI_STATUS status = BootServices->AllocatePool(EfiReservedMemoryType, Size, &buffer);
  if (EFI_ERROR(status)) return nullptr;
  BootServices->SetMem(buffer, Size, 0);
  return buffer;
}
