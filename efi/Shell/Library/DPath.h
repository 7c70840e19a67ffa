// Device-path walking, size and copy, as file access needs them.
//
// A device path is a chain of byte-packed nodes, each starting with a 4-byte
// header (type, subtype, little-endian length), closed by an
// end-of-entire-path node. Node fields are read byte by byte because nodes
// carry no alignment.
#ifndef QORVEX_SHELL_LIBRARY_DPATH_H
#define QORVEX_SHELL_LIBRARY_DPATH_H

#include "Efi.h"

// The node's type without bit 7, as the end-node test reads it.
inline UINT8 DevicePathType(const EFI_DEVICE_PATH_PROTOCOL* Node) { return Node->Type & EFI_DP_TYPE_MASK; }
inline UINT8 DevicePathSubType(const EFI_DEVICE_PATH_PROTOCOL* Node) { return Node->SubType; }

// The node's length in bytes, header included.
inline UINTN DevicePathNodeLength(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return UINTN(Node->Length[0]) | (UINTN(Node->Length[1]) << 8);
}

inline const EFI_DEVICE_PATH_PROTOCOL* NextDevicePathNode(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(reinterpret_cast<const UINT8*>(Node) +
                                                           DevicePathNodeLength(Node));
}

// True at the end-of-entire-path node (type 0x7F, subtype 0xFF).
inline bool IsDevicePathEnd(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return DevicePathType(Node) == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE;
}

// True for a media file-path node that holds a whole name: a whole number of
// UCS-2 units, one of them the terminator. The file system reads the name up
// to its terminator, so a name that runs on past its node would be read past
// the end of the path; and a node of an odd length would leave the names of
// the nodes after it unaligned. Only the end node may carry bit 7 in its
// type; a type of 0x84 is not media.
bool IsFilePathNode(const EFI_DEVICE_PATH_PROTOCOL* Node);

// Bytes of the path up to its end-of-entire-path node, plus 4 for that node.
// A node shorter than its own header is taken as the end, so that a damaged
// chain cannot make the walk loop or run away.
UINTN DevicePathSize(const EFI_DEVICE_PATH_PROTOCOL* DevicePath);

// A pool copy of DevicePathSize(DevicePath) bytes that the caller frees with
// ReleasePool, or null when the pool cannot supply it.
EFI_DEVICE_PATH_PROTOCOL* DuplicateDevicePath(const EFI_DEVICE_PATH_PROTOCOL* DevicePath);

#endif  // QORVEX_SHELL_LIBRARY_DPATH_H
