// The EFI system table with the boot services and runtime services tables.
//
// Every service slot is present in the standard order so that the table
// layout matches the firmware's. Slots that qorvex never calls stay as
// opaque pointers; the ones it calls (or that the host fake firmware fills
// for tests) carry their full prototype, and their offsets are checked below.
#ifndef QORVEX_EFI_SYSTEM_TABLE_H
#define QORVEX_EFI_SYSTEM_TABLE_H

#include "EfiTypes.h"

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;
struct EFI_DEVICE_PATH_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_ALLOCATE_POOL)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FREE_POOL)(VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_INSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE* Handle, const EFI_GUID* Protocol,
                                                           UINT32 InterfaceType, VOID* Interface);
typedef EFI_STATUS(EFIAPI* EFI_UNINSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE Handle, const EFI_GUID* Protocol,
                                                             VOID* Interface);
typedef EFI_STATUS(EFIAPI* EFI_HANDLE_PROTOCOL)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_HANDLE)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                              VOID* SearchKey, UINTN* BufferSize, EFI_HANDLE* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_DEVICE_PATH)(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                                   EFI_HANDLE* Device);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_LOAD)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                           EFI_DEVICE_PATH_PROTOCOL* DevicePath, VOID* SourceBuffer, UINTN SourceSize,
                                           EFI_HANDLE* ImageHandle);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_START)(EFI_HANDLE ImageHandle, UINTN* ExitDataSize, CHAR16** ExitData);
typedef EFI_STATUS(EFIAPI* EFI_EXIT)(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus, UINTN ExitDataSize,
                                     CHAR16* ExitData);
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_UNLOAD)(EFI_HANDLE ImageHandle);
typedef EFI_STATUS(EFIAPI* EFI_GET_NEXT_MONOTONIC_COUNT)(UINT64* Count);
typedef EFI_STATUS(EFIAPI* EFI_STALL)(UINTN Microseconds);
typedef EFI_STATUS(EFIAPI* EFI_SET_WATCHDOG_TIMER)(UINTN Timeout, UINT64 WatchdogCode, UINTN DataSize,
                                                   CHAR16* WatchdogData);
typedef EFI_STATUS(EFIAPI* EFI_OPEN_PROTOCOL)(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface,
                                              EFI_HANDLE AgentHandle, EFI_HANDLE ControllerHandle, UINT32 Attributes);
typedef EFI_STATUS(EFIAPI* EFI_CLOSE_PROTOCOL)(EFI_HANDLE Handle, const EFI_GUID* Protocol, EFI_HANDLE AgentHandle,
                                               EFI_HANDLE ControllerHandle);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_HANDLE_BUFFER)(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                                     VOID* SearchKey, UINTN* NoHandles, EFI_HANDLE** Buffer);
typedef EFI_STATUS(EFIAPI* EFI_LOCATE_PROTOCOL)(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface);
typedef EFI_STATUS(EFIAPI* EFI_COPY_MEM)(VOID* Destination, const VOID* Source, UINTN Length);
typedef EFI_STATUS(EFIAPI* EFI_SET_MEM)(VOID* Buffer, UINTN Size, UINT8 Value);

// Interface types of InstallProtocolInterface.
constexpr UINT32 EFI_NATIVE_INTERFACE = 0;

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // Task priority.
  VOID* RaiseTPL;
  VOID* RestoreTPL;
  // Memory.
  VOID* AllocatePages;
  VOID* FreePages;
  VOID* GetMemoryMap;
  EFI_ALLOCATE_POOL AllocatePool;
  EFI_FREE_POOL FreePool;
  // Events and timers.
  VOID* CreateEvent;
  VOID* SetTimer;
  VOID* WaitForEvent;
  VOID* SignalEvent;
  VOID* CloseEvent;
  VOID* CheckEvent;
  // Protocol handlers.
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  VOID* ReinstallProtocolInterface;
  EFI_UNINSTALL_PROTOCOL_INTERFACE UninstallProtocolInterface;
  EFI_HANDLE_PROTOCOL HandleProtocol;
  VOID* Reserved;
  VOID* RegisterProtocolNotify;
  EFI_LOCATE_HANDLE LocateHandle;
  EFI_LOCATE_DEVICE_PATH LocateDevicePath;
  VOID* InstallConfigurationTable;
  // Images.
  EFI_IMAGE_LOAD LoadImage;
  EFI_IMAGE_START StartImage;
  EFI_EXIT Exit;
  EFI_IMAGE_UNLOAD UnloadImage;
  VOID* ExitBootServices;
  // Miscellaneous.
  EFI_GET_NEXT_MONOTONIC_COUNT GetNextMonotonicCount;
  EFI_STALL Stall;
  EFI_SET_WATCHDOG_TIMER SetWatchdogTimer;
  // Driver support.
  VOID* ConnectController;
  VOID* DisconnectController;
  // Open and close protocol.
  EFI_OPEN_PROTOCOL OpenProtocol;
  EFI_CLOSE_PROTOCOL CloseProtocol;
  VOID* OpenProtocolInformation;
  // Library services.
  VOID* ProtocolsPerHandle;
  EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
  EFI_LOCATE_PROTOCOL LocateProtocol;
  VOID* InstallMultipleProtocolInterfaces;
  VOID* UninstallMultipleProtocolInterfaces;
  // 32-bit CRC.
  VOID* CalculateCrc32;
  // Memory helpers.
  EFI_COPY_MEM CopyMem;
  EFI_SET_MEM SetMem;
  VOID* CreateEventEx;
};
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePool) == 0x40, "BootServices->AllocatePool");
static_assert(offsetof(EFI_BOOT_SERVICES, FreePool) == 0x48, "BootServices->FreePool");
static_assert(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) == 0x80, "BootServices->InstallProtocolInterface");
static_assert(offsetof(EFI_BOOT_SERVICES, UninstallProtocolInterface) == 0x90,
              "BootServices->UninstallProtocolInterface");
static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == 0x98, "BootServices->HandleProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateHandle) == 0xB0, "BootServices->LocateHandle");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateDevicePath) == 0xB8, "BootServices->LocateDevicePath");
static_assert(offsetof(EFI_BOOT_SERVICES, LoadImage) == 0xC8, "BootServices->LoadImage");
static_assert(offsetof(EFI_BOOT_SERVICES, StartImage) == 0xD0, "BootServices->StartImage");
static_assert(offsetof(EFI_BOOT_SERVICES, Exit) == 0xD8, "BootServices->Exit");
static_assert(offsetof(EFI_BOOT_SERVICES, UnloadImage) == 0xE0, "BootServices->UnloadImage");
static_assert(offsetof(EFI_BOOT_SERVICES, GetNextMonotonicCount) == 0xF0, "BootServices->GetNextMonotonicCount");
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == 0xF8, "BootServices->Stall");
static_assert(offsetof(EFI_BOOT_SERVICES, SetWatchdogTimer) == 0x100, "BootServices->SetWatchdogTimer");
static_assert(offsetof(EFI_BOOT_SERVICES, OpenProtocol) == 0x118, "BootServices->OpenProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, CloseProtocol) == 0x120, "BootServices->CloseProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == 0x138, "BootServices->LocateHandleBuffer");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 0x140, "BootServices->LocateProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, CopyMem) == 0x160, "BootServices->CopyMem");
static_assert(offsetof(EFI_BOOT_SERVICES, SetMem) == 0x168, "BootServices->SetMem");
static_assert(sizeof(EFI_BOOT_SERVICES) == 0x178, "EFI_BOOT_SERVICES size");

typedef EFI_STATUS(EFIAPI* EFI_GET_TIME)(EFI_TIME* Time, VOID* Capabilities);
typedef EFI_STATUS(EFIAPI* EFI_GET_VARIABLE)(const CHAR16* VariableName, const EFI_GUID* VendorGuid, UINT32* Attributes,
                                             UINTN* DataSize, VOID* Data);
typedef EFI_STATUS(EFIAPI* EFI_SET_VARIABLE)(const CHAR16* VariableName, const EFI_GUID* VendorGuid, UINT32 Attributes,
                                             UINTN DataSize, const VOID* Data);

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // Time.
  EFI_GET_TIME GetTime;
  VOID* SetTime;
  VOID* GetWakeupTime;
  VOID* SetWakeupTime;
  // Virtual memory.
  VOID* SetVirtualAddressMap;
  VOID* ConvertPointer;
  // Variables.
  EFI_GET_VARIABLE GetVariable;
  VOID* GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  // Miscellaneous.
  VOID* GetNextHighMonotonicCount;
  VOID* ResetSystem;
  // Capsules and variable information.
  VOID* UpdateCapsule;
  VOID* QueryCapsuleCapabilities;
  VOID* QueryVariableInfo;
};
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetTime) == 0x18, "RuntimeServices->GetTime");
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 0x48, "RuntimeServices->GetVariable");
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 0x58, "RuntimeServices->SetVariable");
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 0x88, "EFI_RUNTIME_SERVICES size");

struct EFI_CONFIGURATION_TABLE {
  EFI_GUID VendorGuid;
  VOID* VendorTable;
};

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  CHAR16* FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  VOID* ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* StdErr;
  EFI_RUNTIME_SERVICES* RuntimeServices;
  EFI_BOOT_SERVICES* BootServices;
  UINTN NumberOfTableEntries;
  EFI_CONFIGURATION_TABLE* ConfigurationTable;
};
static_assert(offsetof(EFI_SYSTEM_TABLE, FirmwareVendor) == 0x18, "SystemTable->FirmwareVendor");
static_assert(offsetof(EFI_SYSTEM_TABLE, ConIn) == 0x30, "SystemTable->ConIn");
static_assert(offsetof(EFI_SYSTEM_TABLE, ConOut) == 0x40, "SystemTable->ConOut");
static_assert(offsetof(EFI_SYSTEM_TABLE, StdErr) == 0x50, "SystemTable->StdErr");
static_assert(offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 0x58, "SystemTable->RuntimeServices");
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 0x60, "SystemTable->BootServices");
static_assert(sizeof(EFI_SYSTEM_TABLE) == 0x78, "EFI_SYSTEM_TABLE size");

// The entry point of every UEFI application image.
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_ENTRY_POINT)(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

#endif  // QORVEX_EFI_SYSTEM_TABLE_H
