// HII database protocol and the package list layout it takes.
#ifndef QORVEX_EFI_PROTOCOL_HII_DATABASE_H
#define QORVEX_EFI_PROTOCOL_HII_DATABASE_H

#include "../EfiTypes.h"

typedef VOID* EFI_HII_HANDLE;

// A package list: this header, the packages, and an end package.
struct EFI_HII_PACKAGE_LIST_HEADER {
  EFI_GUID PackageListGuid;
  UINT32 PackageLength;
};
static_assert(sizeof(EFI_HII_PACKAGE_LIST_HEADER) == 20, "package list header is 20 bytes");
static_assert(offsetof(EFI_HII_PACKAGE_LIST_HEADER, PackageLength) == 16, "PackageLength follows the GUID");

// Every package starts with a 24-bit length (header included) and a type byte.
struct EFI_HII_PACKAGE_HEADER {
  UINT32 Length : 24;
  UINT32 Type : 8;
};
static_assert(sizeof(EFI_HII_PACKAGE_HEADER) == 4, "package header is 4 bytes");

constexpr UINT8 EFI_HII_PACKAGE_STRINGS = 0x04;
constexpr UINT8 EFI_HII_PACKAGE_END = 0xDF;

struct EFI_HII_DATABASE_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_HII_DATABASE_NEW_PACK)(const EFI_HII_DATABASE_PROTOCOL* This,
                                                      const EFI_HII_PACKAGE_LIST_HEADER* PackageList,
                                                      EFI_HANDLE DriverHandle, EFI_HII_HANDLE* Handle);
typedef EFI_STATUS(EFIAPI* EFI_HII_DATABASE_REMOVE_PACK)(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle);

struct EFI_HII_DATABASE_PROTOCOL {
  EFI_HII_DATABASE_NEW_PACK NewPackageList;
  EFI_HII_DATABASE_REMOVE_PACK RemovePackageList;
  VOID* UpdatePackageList;
  VOID* ListPackageLists;
  VOID* ExportPackageLists;
  VOID* RegisterPackageNotify;
  VOID* UnregisterPackageNotify;
  VOID* FindKeyboards;
  VOID* GetKeyboardLayout;
  VOID* SetKeyboardLayout;
  VOID* GetPackageListHandle;
};
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, NewPackageList) == 0x00, "HiiDatabase->NewPackageList");
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, RemovePackageList) == 0x08, "HiiDatabase->RemovePackageList");
static_assert(sizeof(EFI_HII_DATABASE_PROTOCOL) == 0x58, "EFI_HII_DATABASE_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_HII_DATABASE_H
