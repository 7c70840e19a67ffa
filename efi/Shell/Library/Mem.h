// Pool memory over the boot services, and byte-wise fill and copy.
#ifndef QORVEX_SHELL_LIBRARY_MEM_H
#define QORVEX_SHELL_LIBRARY_MEM_H

#include "Efi.h"

// Pool memory of LibPoolType, contents undefined; null (after a debug
// report) when the pool cannot supply it.
VOID* AllocatePool(UINTN Size);

// AllocatePool, then cleared to zero.
VOID* AllocateZeroedPool(UINTN Size);

// Frees a pool buffer; returns the status of the boot services' FreePool.
EFI_STATUS ReleasePool(VOID* Buffer);

// Moves OldBuffer's first min(OldSize, NewSize) bytes into a new block of
// NewSize bytes (not cleared beyond them) and frees OldBuffer, also when the
// new block cannot be allocated. NewSize 0 frees OldBuffer and returns null.
VOID* ResizePool(VOID* OldBuffer, UINTN OldSize, UINTN NewSize);

VOID FillMem(VOID* Buffer, UINTN Size, UINT8 Value);
VOID ClearMem(VOID* Buffer, UINTN Size);

// Overlap-safe copy: Dest ends up with the bytes Src held before the call.
VOID MoveMem(VOID* Dest, const VOID* Src, UINTN Length);

// Same effect as FillMem in the argument order buffer, value, count, storing
// whole 32-bit words where it can. No null test. Returns Buffer.
VOID* FillBytes(VOID* Buffer, UINT8 Value, UINTN Count);

// The conversion core's allocator in the image: pool memory of type
// EfiReservedMemoryType from the given boot services, cleared with their
// SetMem. Prints nothing on failure. The core frees these blocks with the
// boot services' FreePool. The application binds its alloc_zeroed to this
// routine with its own copy of the boot-services pointer.
VOID* AppAllocZeroed(EFI_BOOT_SERVICES* BootServices, UINTN Size);

#endif  // QORVEX_SHELL_LIBRARY_MEM_H
