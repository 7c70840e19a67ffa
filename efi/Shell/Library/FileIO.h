// File access through the UEFI file protocols: opening by shell file name or
// device path, the file information query, and thin pass-through routines.
//
// Whoever opens a file owns the handle and ends it with FileClose or
// FileDelete (a delete always closes the handle too). The library keeps no
// state of its own for files.
#ifndef QORVEX_SHELL_LIBRARY_FILE_IO_H
#define QORVEX_SHELL_LIBRARY_FILE_IO_H

#include "Efi.h"

// Opens the file that the shell maps FileName to ("fs0:\dir\file", or a name
// relative to the current directory). EFI_DEVICE_ERROR when the shell cannot
// map the name; then *FileHandle is not written.
EFI_STATUS FileOpenByName(const CHAR16* FileName, EFI_FILE_PROTOCOL** FileHandle, UINT64 OpenMode, UINT64 Attributes);

// Opens the file that *FilePath names: the device part selects the volume,
// each following file-path node is opened inside the one before. A path that
// names only a volume opens its root directory. *FilePath is left pointing
// behind the device part, *DeviceHandle is the volume's handle. With
// EFI_FILE_MODE_CREATE a node is first opened without creating it, and
// created (with Attributes) only when that fails. Every intermediate handle is
// closed; on an error *FileHandle is null.
EFI_STATUS FileOpenByDevicePath(EFI_DEVICE_PATH_PROTOCOL** FilePath, EFI_HANDLE* DeviceHandle,
                                EFI_FILE_PROTOCOL** FileHandle, UINT64 OpenMode, UINT64 Attributes);

// The open root directory of the volume on DeviceHandle, or null.
EFI_FILE_PROTOCOL* FileOpenVolumeRoot(EFI_HANDLE DeviceHandle);

// A new pool buffer holding the file's EFI_FILE_INFO, whatever the length of
// its name; the caller frees it with ReleasePool. Null on any failure.
EFI_FILE_INFO* FileQueryInfo(EFI_FILE_PROTOCOL* FileHandle);

// TRUE when the file's information can be had and it is no directory.
BOOLEAN FileIsPlain(EFI_FILE_PROTOCOL* FileHandle);

// Pass-through routines: each returns the file protocol's status unchanged.
EFI_STATUS FileSetPosition(EFI_FILE_PROTOCOL* FileHandle, UINT64 Position);
EFI_STATUS FileGetPosition(EFI_FILE_PROTOCOL* FileHandle, UINT64* Position);
// *BufferSize: bytes asked for on entry, bytes read (written) on return.
EFI_STATUS FileRead(EFI_FILE_PROTOCOL* FileHandle, UINTN* BufferSize, VOID* Buffer);
EFI_STATUS FileWrite(EFI_FILE_PROTOCOL* FileHandle, UINTN* BufferSize, const VOID* Buffer);
EFI_STATUS FileFlush(EFI_FILE_PROTOCOL* FileHandle);
// Closes the handle whatever the outcome; EFI_WARN_DELETE_FAILURE when the
// file system kept the file.
EFI_STATUS FileDelete(EFI_FILE_PROTOCOL* FileHandle);
EFI_STATUS FileClose(EFI_FILE_PROTOCOL* FileHandle);

// Gives the open file the name NewName in its own directory, through
// SetInfo with the file's current information and the new FileName; the
// handle stays open on the renamed file. The file system refuses a name
// that another entry of the directory has (EFI_ACCESS_DENIED on FAT) and
// a handle opened for reading only. The failing status of the information
// query (EFI_OUT_OF_RESOURCES without pool), else SetInfo's status.
EFI_STATUS FileRename(EFI_FILE_PROTOCOL* FileHandle, const CHAR16* NewName);

// The handle of the volume (the device with the simple file system
// protocol) that the shell maps FileName onto. EFI_NOT_FOUND when the shell
// cannot map the name, else LocateDevicePath's status.
EFI_STATUS FileVolumeOf(const CHAR16* FileName, EFI_HANDLE* Volume);

// Asks the device of the volume on Volume to write its cache to the media.
// A file system's Flush only hands its own cache to the device, which may
// keep the writes in any order until it is flushed itself. Uses the disk
// I/O 2 protocol's FlushDiskEx where the handle carries it, else the block
// I/O protocol's FlushBlocks; and, for a disk behind an ATA controller,
// sends it FLUSH CACHE itself, which some ATA block drivers never do.
// EFI_SUCCESS when every flush tried succeeded; else the first failure
// (EFI_UNSUPPORTED for a handle with no block flush).
EFI_STATUS FileFlushDevice(EFI_HANDLE Volume);

#endif  // QORVEX_SHELL_LIBRARY_FILE_IO_H
