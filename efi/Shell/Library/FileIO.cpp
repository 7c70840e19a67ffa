#include "FileIO.h"

#include "DPath.h"
#include "Globals.h"
#include "Mem.h"
#include "Misc.h"
#include "Str.h"

static const CHAR8 kLibSource[] = "Shell/Library/FileIO";

// First guess for a file's information: the fixed part and a name of 100
// units, so that one call usually suffices.
static const UINTN kFileInfoFirstGuess = SIZE_OF_EFI_FILE_INFO + 100 * sizeof(CHAR16);
static_assert(kFileInfoFirstGuess == 280, "first information request");

EFI_STATUS FileOpenByName(const CHAR16* FileName, EFI_FILE_PROTOCOL** FileHandle, UINT64 OpenMode, UINT64 Attributes) {
  if (!LIB_CHECK_NOT_NULL(FileName) || !LIB_CHECK_NOT_NULL(FileHandle)) return EFI_INVALID_PARAMETER;
  // The shell owns the path it hands out; it is not released here.
  EFI_DEVICE_PATH_PROTOCOL* path = LibShellEnvironment->NameToPath(FileName);
  if (path == nullptr) return EFI_DEVICE_ERROR;
  EFI_HANDLE device = nullptr;
  return FileOpenByDevicePath(&path, &device, FileHandle, OpenMode, Attributes);
}

// Opens Name inside *FileHandle and closes the directory it was opened from.
// With create in OpenMode the name is first opened as it is, so that an
// existing file keeps its attributes; any failure of that leads to the create.
static EFI_STATUS OpenInside(EFI_FILE_PROTOCOL** FileHandle, const CHAR16* Name, UINT64 OpenMode, UINT64 Attributes) {
  EFI_FILE_PROTOCOL* last = *FileHandle;
  *FileHandle = nullptr;
  EFI_STATUS status = last->Open(last, FileHandle, Name, OpenMode & ~EFI_FILE_MODE_CREATE, 0);
  if (EFI_ERROR(status) && (OpenMode & EFI_FILE_MODE_CREATE) != 0) {
    *FileHandle = nullptr;
    status = last->Open(last, FileHandle, Name, OpenMode, Attributes);
  }
  last->Close(last);
  return status;
}

// Opens the file-path nodes of Path one inside the other, starting from the
// directory in *FileHandle. Every handle but the last one is closed.
static EFI_STATUS OpenFileNodes(const EFI_DEVICE_PATH_PROTOCOL* Path, EFI_FILE_PROTOCOL** FileHandle, UINT64 OpenMode,
                                UINT64 Attributes) {
  EFI_STATUS status = EFI_SUCCESS;
  for (const EFI_DEVICE_PATH_PROTOCOL* node = Path; !IsDevicePathEnd(node); node = NextDevicePathNode(node)) {
    if (!IsFilePathNode(node)) {
      (*FileHandle)->Close(*FileHandle);
      return EFI_UNSUPPORTED;
    }
    const CHAR16* name = reinterpret_cast<const FILEPATH_DEVICE_PATH*>(node)->PathName;
    status = OpenInside(FileHandle, name, OpenMode, Attributes);
    if (EFI_ERROR(status)) return status;
  }
  return status;
}

EFI_STATUS FileOpenByDevicePath(EFI_DEVICE_PATH_PROTOCOL** FilePath, EFI_HANDLE* DeviceHandle,
                                EFI_FILE_PROTOCOL** FileHandle, UINT64 OpenMode, UINT64 Attributes) {
  if (!LIB_CHECK_NOT_NULL(FilePath) || !LIB_CHECK_NOT_NULL(DeviceHandle) || !LIB_CHECK_NOT_NULL(FileHandle)) {
    return EFI_INVALID_PARAMETER;
  }
  EFI_STATUS status = LibBootServices->LocateDevicePath(&gEfiSimpleFileSystemProtocolGuid, FilePath, DeviceHandle);
  if (EFI_ERROR(status)) return status;
  *FileHandle = FileOpenVolumeRoot(*DeviceHandle);
  if (*FileHandle == nullptr) return EFI_UNSUPPORTED;
  // The walk runs on a pool copy of the rest of the path, whose nodes are
  // then aligned as the copy is.
  EFI_DEVICE_PATH_PROTOCOL* rest = DuplicateDevicePath(*FilePath);
  if (rest == nullptr) {
    (*FileHandle)->Close(*FileHandle);
    *FileHandle = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  status = OpenFileNodes(rest, FileHandle, OpenMode, Attributes);
  ReleasePool(rest);
  if (EFI_ERROR(status)) *FileHandle = nullptr;
  return status;
}

EFI_FILE_PROTOCOL* FileOpenVolumeRoot(EFI_HANDLE DeviceHandle) {
  VOID* interface = nullptr;
  EFI_STATUS status = LibBootServices->HandleProtocol(DeviceHandle, &gEfiSimpleFileSystemProtocolGuid, &interface);
  if (EFI_ERROR(status)) return nullptr;
  auto* volume = static_cast<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*>(interface);
  EFI_FILE_PROTOCOL* root = nullptr;
  status = volume->OpenVolume(volume, &root);
  return EFI_ERROR(status) ? nullptr : root;
}

// The file's information in a new pool buffer, or null with the failing
// status in *Status.
static EFI_FILE_INFO* QueryInfo(EFI_FILE_PROTOCOL* FileHandle, EFI_STATUS* Status) {
  VOID* buffer = nullptr;
  UINTN size = kFileInfoFirstGuess;
  // The first pass of the retry step sets the status, since there is no buffer yet.
  EFI_STATUS status = EFI_SUCCESS;
  while (LibBufferRetry(&status, &buffer, size)) {
    status = FileHandle->GetInfo(FileHandle, &gEfiFileInfoGuid, &size, buffer);
  }
  // The retry step keeps the buffer on a warning; no caller could free it.
  if (status != EFI_SUCCESS && buffer != nullptr) {
    ReleasePool(buffer);
    buffer = nullptr;
  }
  *Status = status == EFI_SUCCESS || EFI_ERROR(status) ? status : EFI_DEVICE_ERROR;
  return static_cast<EFI_FILE_INFO*>(buffer);
}

EFI_FILE_INFO* FileQueryInfo(EFI_FILE_PROTOCOL* FileHandle) {
  if (!LIB_CHECK_NOT_NULL(FileHandle)) return nullptr;
  EFI_STATUS status = EFI_SUCCESS;
  return QueryInfo(FileHandle, &status);
}

BOOLEAN FileIsPlain(EFI_FILE_PROTOCOL* FileHandle) {
  EFI_FILE_INFO* info = FileQueryInfo(FileHandle);
  if (info == nullptr) return FALSE;
  const BOOLEAN plain = (info->Attribute & EFI_FILE_DIRECTORY) == 0;
  ReleasePool(info);
  return plain;
}

EFI_STATUS FileSetPosition(EFI_FILE_PROTOCOL* FileHandle, UINT64 Position) {
  if (!LIB_CHECK_NOT_NULL(FileHandle)) return EFI_INVALID_PARAMETER;
  return FileHandle->SetPosition(FileHandle, Position);
}

EFI_STATUS FileGetPosition(EFI_FILE_PROTOCOL* FileHandle, UINT64* Position) {
  if (!LIB_CHECK_NOT_NULL(FileHandle) || !LIB_CHECK_NOT_NULL(Position)) return EFI_INVALID_PARAMETER;
  return FileHandle->GetPosition(FileHandle, Position);
}

EFI_STATUS FileRead(EFI_FILE_PROTOCOL* FileHandle, UINTN* BufferSize, VOID* Buffer) {
  return FileHandle->Read(FileHandle, BufferSize, Buffer);
}

EFI_STATUS FileWrite(EFI_FILE_PROTOCOL* FileHandle, UINTN* BufferSize, const VOID* Buffer) {
  return FileHandle->Write(FileHandle, BufferSize, Buffer);
}

EFI_STATUS FileFlush(EFI_FILE_PROTOCOL* FileHandle) {
  if (!LIB_CHECK_NOT_NULL(FileHandle)) return EFI_INVALID_PARAMETER;
  return FileHandle->Flush(FileHandle);
}

EFI_STATUS FileDelete(EFI_FILE_PROTOCOL* FileHandle) {
  if (!LIB_CHECK_NOT_NULL(FileHandle)) return EFI_INVALID_PARAMETER;
  return FileHandle->Delete(FileHandle);
}

EFI_STATUS FileClose(EFI_FILE_PROTOCOL* FileHandle) { return FileHandle->Close(FileHandle); }

EFI_STATUS FileRename(EFI_FILE_PROTOCOL* FileHandle, const CHAR16* NewName) {
  if (!LIB_CHECK_NOT_NULL(FileHandle) || !LIB_CHECK_NOT_NULL(NewName)) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = EFI_SUCCESS;
  EFI_FILE_INFO* current = QueryInfo(FileHandle, &status);
  if (current == nullptr) return status;
  // The record keeps the file's size, times and attributes, so that the
  // name is the only thing SetInfo changes.
  const UINTN nameBytes = (Str16Length(NewName) + 1) * sizeof(CHAR16);
  auto* renamed = static_cast<EFI_FILE_INFO*>(AllocatePool(SIZE_OF_EFI_FILE_INFO + nameBytes));
  if (renamed == nullptr) {
    ReleasePool(current);
    return EFI_OUT_OF_RESOURCES;
  }
  MoveMem(renamed, current, SIZE_OF_EFI_FILE_INFO);
  MoveMem(renamed->FileName, NewName, nameBytes);
  renamed->Size = SIZE_OF_EFI_FILE_INFO + nameBytes;
  ReleasePool(current);
  status = FileHandle->SetInfo(FileHandle, &gEfiFileInfoGuid, renamed->Size, renamed);
  ReleasePool(renamed);
  return status;
}

EFI_STATUS FileVolumeOf(const CHAR16* FileName, EFI_HANDLE* Volume) {
  if (!LIB_CHECK_NOT_NULL(FileName) || !LIB_CHECK_NOT_NULL(Volume)) return EFI_INVALID_PARAMETER;
  // The shell owns the path it hands out; it is not released here.
  EFI_DEVICE_PATH_PROTOCOL* path = LibShellEnvironment->NameToPath(FileName);
  if (path == nullptr) return EFI_NOT_FOUND;
  return LibBootServices->LocateDevicePath(&gEfiSimpleFileSystemProtocolGuid, &path, Volume);
}

// The block driver's own flush: disk I/O 2 where the handle has it, else
// block I/O; EFI_UNSUPPORTED without either.
static EFI_STATUS FlushBlockDevice(EFI_HANDLE Volume) {
  VOID* interface = nullptr;
  if (LibBootServices->HandleProtocol(Volume, &gEfiDiskIo2ProtocolGuid, &interface) == EFI_SUCCESS) {
    auto* disk = static_cast<EFI_DISK_IO2_PROTOCOL*>(interface);
    return disk->FlushDiskEx(disk, nullptr);
  }
  if (LibBootServices->HandleProtocol(Volume, &gEfiBlockIoProtocolGuid, &interface) == EFI_SUCCESS) {
    auto* blocks = static_cast<EFI_BLOCK_IO_PROTOCOL*>(interface);
    return blocks->FlushBlocks(blocks);
  }
  return EFI_UNSUPPORTED;
}

// Sends FLUSH CACHE to the device on Port through Ata, its register blocks
// aligned as the controller asks.
static EFI_STATUS SendAtaFlush(EFI_ATA_PASS_THRU_PROTOCOL* Ata, UINT16 Port, UINT16 Multiplier) {
  const UINTN align = Ata->Mode != nullptr && Ata->Mode->IoAlign > 1 ? Ata->Mode->IoAlign : 1;
  auto* pool = static_cast<UINT8*>(AllocateZeroedPool(2 * (sizeof(EFI_ATA_COMMAND_BLOCK) + align)));
  if (pool == nullptr) return EFI_OUT_OF_RESOURCES;
  const UINTN first = (UINTN(pool) + align - 1) / align * align;
  const UINTN second = (first + sizeof(EFI_ATA_COMMAND_BLOCK) + align - 1) / align * align;
  auto* acb = reinterpret_cast<EFI_ATA_COMMAND_BLOCK*>(first);
  acb->AtaCommand = ATA_CMD_FLUSH_CACHE;
  acb->AtaDeviceHead = 0xE0;
  EFI_ATA_PASS_THRU_COMMAND_PACKET packet = {};
  packet.Acb = acb;
  packet.Asb = reinterpret_cast<EFI_ATA_STATUS_BLOCK*>(second);
  packet.Timeout = 300000000;  // 30 s
  packet.Protocol = EFI_ATA_PASS_THRU_PROTOCOL_ATA_NON_DATA;
  packet.Length = EFI_ATA_PASS_THRU_LENGTH_NO_DATA_TRANSFER;
  EFI_STATUS status = Ata->PassThru(Ata, Port, Multiplier, &packet, nullptr);
  ReleasePool(pool);
  return status;
}

// FLUSH CACHE to the ATA disk under Volume, when an ATA controller is above
// it: OVMF's ATA block driver answers FlushBlocks and FlushDiskEx without
// sending it, so a disk with a write cache would keep its writes in any order.
static EFI_STATUS FlushAtaDevice(EFI_HANDLE Volume) {
  VOID* interface = nullptr;
  EFI_STATUS status = LibBootServices->HandleProtocol(Volume, &gEfiDevicePathProtocolGuid, &interface);
  if (EFI_ERROR(status)) return status;
  auto* rest = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(interface);
  EFI_HANDLE controller = nullptr;
  status = LibBootServices->LocateDevicePath(&gEfiAtaPassThruProtocolGuid, &rest, &controller);
  if (!EFI_ERROR(status))
    status = LibBootServices->HandleProtocol(controller, &gEfiAtaPassThruProtocolGuid, &interface);
  if (EFI_ERROR(status)) return status;
  auto* ata = static_cast<EFI_ATA_PASS_THRU_PROTOCOL*>(interface);
  UINT16 port = 0;
  UINT16 multiplier = 0;
  status = ata->GetDevice(ata, rest, &port, &multiplier);
  return EFI_ERROR(status) ? status : SendAtaFlush(ata, port, multiplier);
}

EFI_STATUS FileFlushDevice(EFI_HANDLE Volume) {
  EFI_STATUS status = FlushBlockDevice(Volume);
  EFI_STATUS ata = FlushAtaDevice(Volume);
  return status == EFI_SUCCESS ? ata : status;
}
