// Disk I/O 2 protocol: byte access to a disk or partition, blocking or not.
// qorvex only asks it to write the device's cache to the media, blocking
// (no token); the other slots are kept for the layout.
#ifndef QORVEX_EFI_PROTOCOL_DISK_IO2_H
#define QORVEX_EFI_PROTOCOL_DISK_IO2_H

#include "../EfiTypes.h"

struct EFI_DISK_IO2_PROTOCOL;
struct EFI_DISK_IO2_TOKEN;

// With a null Token the flush is done before the call returns.
typedef EFI_STATUS(EFIAPI* EFI_DISK_FLUSH_EX)(EFI_DISK_IO2_PROTOCOL* This, EFI_DISK_IO2_TOKEN* Token);

struct EFI_DISK_IO2_PROTOCOL {
  UINT64 Revision;
  VOID* Cancel;
  VOID* ReadDiskEx;
  VOID* WriteDiskEx;
  EFI_DISK_FLUSH_EX FlushDiskEx;
};
static_assert(offsetof(EFI_DISK_IO2_PROTOCOL, Cancel) == 0x08, "DiskIo2->Cancel");
static_assert(offsetof(EFI_DISK_IO2_PROTOCOL, FlushDiskEx) == 0x20, "DiskIo2->FlushDiskEx");
static_assert(sizeof(EFI_DISK_IO2_PROTOCOL) == 0x28, "EFI_DISK_IO2_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_DISK_IO2_H
