#include "DPath.h"

#include "Globals.h"
#include "Mem.h"

static const CHAR8 kLibSource[] = "Shell/Library/DPath";

bool IsFilePathNode(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  if (Node->Type != MEDIA_DEVICE_PATH || Node->SubType != MEDIA_FILEPATH_DP) return false;
  const UINTN length = DevicePathNodeLength(Node);
  if (length < sizeof(EFI_DEVICE_PATH_PROTOCOL) + sizeof(CHAR16) || length % sizeof(CHAR16) != 0) return false;
  const UINT8* bytes = reinterpret_cast<const UINT8*>(Node);
  for (UINTN at = sizeof(EFI_DEVICE_PATH_PROTOCOL); at < length; at += sizeof(CHAR16)) {
    if (bytes[at] == 0 && bytes[at + 1] == 0) return true;
  }
  return false;
}

UINTN DevicePathSize(const EFI_DEVICE_PATH_PROTOCOL* DevicePath) {
  if (!LIB_CHECK_NOT_NULL(DevicePath)) return 0;
  const EFI_DEVICE_PATH_PROTOCOL* node = DevicePath;
  while (!IsDevicePathEnd(node) && DevicePathNodeLength(node) >= sizeof(EFI_DEVICE_PATH_PROTOCOL)) {
    node = NextDevicePathNode(node);
  }
  UINTN prefix = UINTN(reinterpret_cast<const UINT8*>(node) - reinterpret_cast<const UINT8*>(DevicePath));
  return prefix + sizeof(EFI_DEVICE_PATH_PROTOCOL);
}

EFI_DEVICE_PATH_PROTOCOL* DuplicateDevicePath(const EFI_DEVICE_PATH_PROTOCOL* DevicePath) {
  if (!LIB_CHECK_NOT_NULL(DevicePath)) return nullptr;
  UINTN size = DevicePathSize(DevicePath);
  auto* copy = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(AllocatePool(size));
  if (copy != nullptr) MoveMem(copy, DevicePath, size);
  return copy;
}
