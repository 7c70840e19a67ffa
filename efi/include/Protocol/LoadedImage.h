// Loaded image protocol: what the firmware knows about a loaded image.
#ifndef QORVEX_EFI_PROTOCOL_LOADED_IMAGE_H
#define QORVEX_EFI_PROTOCOL_LOADED_IMAGE_H

#include "../EfiSystemTable.h"
#include "DevicePath.h"

struct EFI_LOADED_IMAGE_PROTOCOL {
  UINT32 Revision;
  EFI_HANDLE ParentHandle;
  EFI_SYSTEM_TABLE* SystemTable;
  EFI_HANDLE DeviceHandle;
  EFI_DEVICE_PATH_PROTOCOL* FilePath;
  VOID* Reserved;
  UINT32 LoadOptionsSize;
  VOID* LoadOptions;
  VOID* ImageBase;
  UINT64 ImageSize;
  EFI_MEMORY_TYPE ImageCodeType;
  EFI_MEMORY_TYPE ImageDataType;
  EFI_IMAGE_UNLOAD Unload;
};
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, SystemTable) == 0x10, "LoadedImage->SystemTable");
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, LoadOptionsSize) == 0x30, "LoadedImage->LoadOptionsSize");
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, ImageCodeType) == 0x50, "LoadedImage->ImageCodeType");
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, ImageDataType) == 0x54, "LoadedImage->ImageDataType");
static_assert(sizeof(EFI_LOADED_IMAGE_PROTOCOL) == 0x60, "EFI_LOADED_IMAGE_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_LOADED_IMAGE_H
