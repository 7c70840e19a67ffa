// Block I/O protocol of a disk or partition. qorvex only asks it to write
// the device's cache to the media; the other slots are kept for the layout.
#ifndef QORVEX_EFI_PROTOCOL_BLOCK_IO_H
#define QORVEX_EFI_PROTOCOL_BLOCK_IO_H

#include "../EfiTypes.h"

struct EFI_BLOCK_IO_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_BLOCK_FLUSH)(EFI_BLOCK_IO_PROTOCOL* This);

struct EFI_BLOCK_IO_PROTOCOL {
  UINT64 Revision;
  VOID* Media;
  VOID* Reset;
  VOID* ReadBlocks;
  VOID* WriteBlocks;
  EFI_BLOCK_FLUSH FlushBlocks;
};
static_assert(offsetof(EFI_BLOCK_IO_PROTOCOL, Media) == 0x08, "BlockIo->Media");
static_assert(offsetof(EFI_BLOCK_IO_PROTOCOL, FlushBlocks) == 0x28, "BlockIo->FlushBlocks");
static_assert(sizeof(EFI_BLOCK_IO_PROTOCOL) == 0x30, "EFI_BLOCK_IO_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_BLOCK_IO_H
