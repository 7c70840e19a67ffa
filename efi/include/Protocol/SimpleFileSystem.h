// Simple file system protocol, the file protocol and the file information record.
#ifndef QORVEX_EFI_PROTOCOL_SIMPLE_FILE_SYSTEM_H
#define QORVEX_EFI_PROTOCOL_SIMPLE_FILE_SYSTEM_H

#include "../EfiTypes.h"

struct EFI_FILE_PROTOCOL;
struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_SIMPLE_FILE_SYSTEM_OPEN_VOLUME)(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This,
                                                               EFI_FILE_PROTOCOL** Root);

struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL {
  UINT64 Revision;
  EFI_SIMPLE_FILE_SYSTEM_OPEN_VOLUME OpenVolume;
};
static_assert(offsetof(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL, OpenVolume) == 0x08, "SimpleFileSystem->OpenVolume");

typedef EFI_STATUS(EFIAPI* EFI_FILE_OPEN)(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle,
                                          const CHAR16* FileName, UINT64 OpenMode, UINT64 Attributes);
typedef EFI_STATUS(EFIAPI* EFI_FILE_CLOSE)(EFI_FILE_PROTOCOL* This);
typedef EFI_STATUS(EFIAPI* EFI_FILE_DELETE)(EFI_FILE_PROTOCOL* This);
typedef EFI_STATUS(EFIAPI* EFI_FILE_READ)(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FILE_WRITE)(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FILE_GET_POSITION)(EFI_FILE_PROTOCOL* This, UINT64* Position);
typedef EFI_STATUS(EFIAPI* EFI_FILE_SET_POSITION)(EFI_FILE_PROTOCOL* This, UINT64 Position);
typedef EFI_STATUS(EFIAPI* EFI_FILE_GET_INFO)(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType,
                                              UINTN* BufferSize, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FILE_SET_INFO)(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType,
                                              UINTN BufferSize, const VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_FILE_FLUSH)(EFI_FILE_PROTOCOL* This);

struct EFI_FILE_PROTOCOL {
  UINT64 Revision;
  EFI_FILE_OPEN Open;
  EFI_FILE_CLOSE Close;
  EFI_FILE_DELETE Delete;
  EFI_FILE_READ Read;
  EFI_FILE_WRITE Write;
  EFI_FILE_GET_POSITION GetPosition;
  EFI_FILE_SET_POSITION SetPosition;
  EFI_FILE_GET_INFO GetInfo;
  EFI_FILE_SET_INFO SetInfo;
  EFI_FILE_FLUSH Flush;
  // Revision 2 adds the asynchronous variants, which qorvex does not use.
  VOID* OpenEx;
  VOID* ReadEx;
  VOID* WriteEx;
  VOID* FlushEx;
};
static_assert(offsetof(EFI_FILE_PROTOCOL, Open) == 0x08, "File->Open");
static_assert(offsetof(EFI_FILE_PROTOCOL, Close) == 0x10, "File->Close");
static_assert(offsetof(EFI_FILE_PROTOCOL, Delete) == 0x18, "File->Delete");
static_assert(offsetof(EFI_FILE_PROTOCOL, Read) == 0x20, "File->Read");
static_assert(offsetof(EFI_FILE_PROTOCOL, Write) == 0x28, "File->Write");
static_assert(offsetof(EFI_FILE_PROTOCOL, GetPosition) == 0x30, "File->GetPosition");
static_assert(offsetof(EFI_FILE_PROTOCOL, SetPosition) == 0x38, "File->SetPosition");
static_assert(offsetof(EFI_FILE_PROTOCOL, GetInfo) == 0x40, "File->GetInfo");
static_assert(offsetof(EFI_FILE_PROTOCOL, SetInfo) == 0x48, "File->SetInfo");
static_assert(offsetof(EFI_FILE_PROTOCOL, Flush) == 0x50, "File->Flush");

constexpr UINT64 EFI_FILE_PROTOCOL_REVISION = 0x00010000;
constexpr UINT64 EFI_FILE_PROTOCOL_REVISION2 = 0x00020000;
constexpr UINT64 EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_REVISION = 0x00010000;

// Open modes.
constexpr UINT64 EFI_FILE_MODE_READ = 0x0000000000000001ULL;
constexpr UINT64 EFI_FILE_MODE_WRITE = 0x0000000000000002ULL;
constexpr UINT64 EFI_FILE_MODE_CREATE = 0x8000000000000000ULL;

// The three combinations of them that a file protocol accepts.
constexpr UINT64 kOpenForReading = EFI_FILE_MODE_READ;
constexpr UINT64 kOpenForWriting = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE;
constexpr UINT64 kOpenOrCreate = EFI_FILE_MODE_CREATE | EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE;

// File attributes.
constexpr UINT64 EFI_FILE_READ_ONLY = 0x01;
constexpr UINT64 EFI_FILE_HIDDEN = 0x02;
constexpr UINT64 EFI_FILE_SYSTEM = 0x04;
constexpr UINT64 EFI_FILE_RESERVED = 0x08;
constexpr UINT64 EFI_FILE_DIRECTORY = 0x10;
constexpr UINT64 EFI_FILE_ARCHIVE = 0x20;
constexpr UINT64 EFI_FILE_VALID_ATTR = 0x37;

// The file information record; Size covers the fixed part and the name.
struct EFI_FILE_INFO {
  UINT64 Size;
  UINT64 FileSize;
  UINT64 PhysicalSize;
  EFI_TIME CreateTime;
  EFI_TIME LastAccessTime;
  EFI_TIME ModificationTime;
  UINT64 Attribute;
  CHAR16 FileName[1];
};
static_assert(offsetof(EFI_FILE_INFO, FileSize) == 0x08, "FileInfo->FileSize");
static_assert(offsetof(EFI_FILE_INFO, CreateTime) == 0x18, "FileInfo->CreateTime");
static_assert(offsetof(EFI_FILE_INFO, Attribute) == 0x48, "FileInfo->Attribute");
static_assert(offsetof(EFI_FILE_INFO, FileName) == 0x50, "FileInfo->FileName");

// Size of the fixed part of EFI_FILE_INFO, in front of the file name.
constexpr UINTN SIZE_OF_EFI_FILE_INFO = offsetof(EFI_FILE_INFO, FileName);
static_assert(SIZE_OF_EFI_FILE_INFO == 80, "the fixed part of EFI_FILE_INFO is 80 bytes");

#endif  // QORVEX_EFI_PROTOCOL_SIMPLE_FILE_SYSTEM_H
