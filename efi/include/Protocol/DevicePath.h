// Device path nodes: a chain of variable-length nodes closed by an end node.
#ifndef QORVEX_EFI_PROTOCOL_DEVICE_PATH_H
#define QORVEX_EFI_PROTOCOL_DEVICE_PATH_H

#include "../EfiTypes.h"

// Every node starts with this header; Length (little-endian, header
// included) gives the distance to the next node.
struct EFI_DEVICE_PATH_PROTOCOL {
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];
};
static_assert(sizeof(EFI_DEVICE_PATH_PROTOCOL) == 4, "device path node header is 4 bytes");

constexpr UINT8 HARDWARE_DEVICE_PATH = 0x01;
constexpr UINT8 ACPI_DEVICE_PATH = 0x02;
constexpr UINT8 MESSAGING_DEVICE_PATH = 0x03;
constexpr UINT8 MEDIA_DEVICE_PATH = 0x04;
constexpr UINT8 BBS_DEVICE_PATH = 0x05;
constexpr UINT8 END_DEVICE_PATH_TYPE = 0x7F;

constexpr UINT8 MEDIA_HARDDRIVE_DP = 0x01;
constexpr UINT8 MEDIA_FILEPATH_DP = 0x04;
constexpr UINT8 END_ENTIRE_DEVICE_PATH_SUBTYPE = 0xFF;
constexpr UINT8 END_INSTANCE_DEVICE_PATH_SUBTYPE = 0x01;

// Bit 7 of the type byte is not part of the type when nodes are tested.
constexpr UINT8 EFI_DP_TYPE_MASK = 0x7F;

// A media file-path node: the header, then a NUL-terminated UCS-2 path name.
struct FILEPATH_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Header;
  CHAR16 PathName[1];
};
static_assert(offsetof(FILEPATH_DEVICE_PATH, PathName) == 4, "file path name follows the header");

#endif  // QORVEX_EFI_PROTOCOL_DEVICE_PATH_H
