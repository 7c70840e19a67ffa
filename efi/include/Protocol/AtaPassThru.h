// ATA pass-through protocol of an ATA controller (IDE or AHCI): sends an ATA
// command to a device on a port. qorvex sends only FLUSH CACHE, which some
// ATA block drivers never send for FlushBlocks; the other slots are kept
// for the layout.
#ifndef QORVEX_EFI_PROTOCOL_ATA_PASS_THRU_H
#define QORVEX_EFI_PROTOCOL_ATA_PASS_THRU_H

#include "../EfiTypes.h"
#include "DevicePath.h"

// The 20-byte register blocks of a command and of its answer.
struct EFI_ATA_COMMAND_BLOCK {
  UINT8 Reserved1[2];
  UINT8 AtaCommand;
  UINT8 AtaFeatures;
  UINT8 AtaSectorNumber;
  UINT8 AtaCylinderLow;
  UINT8 AtaCylinderHigh;
  UINT8 AtaDeviceHead;
  UINT8 Exp[4];  // sector number, cylinder low and high, features: upper bytes
  UINT8 AtaSectorCount;
  UINT8 AtaSectorCountExp;
  UINT8 Reserved2[6];
};
static_assert(sizeof(EFI_ATA_COMMAND_BLOCK) == 20, "EFI_ATA_COMMAND_BLOCK size");
static_assert(offsetof(EFI_ATA_COMMAND_BLOCK, AtaCommand) == 2, "Acb->AtaCommand");
static_assert(offsetof(EFI_ATA_COMMAND_BLOCK, AtaDeviceHead) == 7, "Acb->AtaDeviceHead");

struct EFI_ATA_STATUS_BLOCK {
  UINT8 Bytes[20];
};

struct EFI_ATA_PASS_THRU_COMMAND_PACKET {
  EFI_ATA_STATUS_BLOCK* Asb;
  EFI_ATA_COMMAND_BLOCK* Acb;
  UINT64 Timeout;  // in units of 100 ns; 0 waits for ever
  VOID* InDataBuffer;
  VOID* OutDataBuffer;
  UINT32 InTransferLength;
  UINT32 OutTransferLength;
  UINT8 Protocol;
  UINT8 Length;
};
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, Timeout) == 0x10, "Packet->Timeout");
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, InTransferLength) == 0x28, "Packet->InTransferLength");
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, Protocol) == 0x30, "Packet->Protocol");
static_assert(sizeof(EFI_ATA_PASS_THRU_COMMAND_PACKET) == 0x38, "EFI_ATA_PASS_THRU_COMMAND_PACKET size");

constexpr UINT8 EFI_ATA_PASS_THRU_PROTOCOL_ATA_NON_DATA = 0x02;
constexpr UINT8 EFI_ATA_PASS_THRU_LENGTH_NO_DATA_TRANSFER = 0x00;
constexpr UINT8 ATA_CMD_FLUSH_CACHE = 0xE7;

struct EFI_ATA_PASS_THRU_MODE {
  UINT32 Attributes;
  UINT32 IoAlign;  // buffers are aligned to this many bytes (0 and 1: any)
};

struct EFI_ATA_PASS_THRU_PROTOCOL;

// Blocking when Event is null.
typedef EFI_STATUS(EFIAPI* EFI_ATA_PASS_THRU_PASSTHRU)(EFI_ATA_PASS_THRU_PROTOCOL* This, UINT16 Port,
                                                       UINT16 PortMultiplierPort,
                                                       EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet, EFI_EVENT Event);
// The port of the device that the node DevicePath (SATA or ATAPI) names.
typedef EFI_STATUS(EFIAPI* EFI_ATA_PASS_THRU_GET_DEVICE)(EFI_ATA_PASS_THRU_PROTOCOL* This,
                                                         EFI_DEVICE_PATH_PROTOCOL* DevicePath, UINT16* Port,
                                                         UINT16* PortMultiplierPort);

struct EFI_ATA_PASS_THRU_PROTOCOL {
  EFI_ATA_PASS_THRU_MODE* Mode;
  EFI_ATA_PASS_THRU_PASSTHRU PassThru;
  VOID* GetNextPort;
  VOID* GetNextDevice;
  VOID* BuildDevicePath;
  EFI_ATA_PASS_THRU_GET_DEVICE GetDevice;
  VOID* ResetPort;
  VOID* ResetDevice;
};
static_assert(offsetof(EFI_ATA_PASS_THRU_PROTOCOL, PassThru) == 0x08, "AtaPassThru->PassThru");
static_assert(offsetof(EFI_ATA_PASS_THRU_PROTOCOL, GetDevice) == 0x28, "AtaPassThru->GetDevice");
static_assert(sizeof(EFI_ATA_PASS_THRU_PROTOCOL) == 0x40, "EFI_ATA_PASS_THRU_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_ATA_PASS_THRU_H
