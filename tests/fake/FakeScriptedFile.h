// One file on a volume of its own, whose failures a test scripts one by
// one: a read or write that fails (with any status, once or more), a write
// that stores less than it was given, an information query that fails. The in-memory
// file system fails such calls for every file at once; the shell
// application's failure paths need one file to fail while the others work.
//
//   fake::FakeScriptedFile file(fw);
//   file.Contents = "dump";  file.ReadStatus = EFI_DEVICE_ERROR;
//   std::vector<UINT8> path = file.DevicePath();   // hand out from NameToPath
//
// The volume root opens the one file under any name: it exists when Exists
// is set, and an open with EFI_FILE_MODE_CREATE makes it exist (empty).
// Positions, reads, writes, flush, delete and close work on Contents.
// Handles are host objects; a handle left open fails the test at destruction.
#ifndef QORVEX_TESTS_FAKE_FAKE_SCRIPTED_FILE_H
#define QORVEX_TESTS_FAKE_FAKE_SCRIPTED_FILE_H

#include <memory>
#include <string>
#include <vector>

#include "FakeFirmware.h"

namespace fake {

class FakeScriptedFile {
 public:
  explicit FakeScriptedFile(FakeFirmware& Firmware);
  ~FakeScriptedFile();
  FakeScriptedFile(const FakeScriptedFile&) = delete;
  FakeScriptedFile& operator=(const FakeScriptedFile&) = delete;

  // The volume's device path and a file-path node "\scripted", end included.
  std::vector<UINT8> DevicePath() const;

  bool Exists = true;
  std::string Contents;
  // Answered by every read in place of the real answer when not EFI_SUCCESS.
  EFI_STATUS ReadStatus = EFI_SUCCESS;
  // Read, Write, SetPosition and GetInfo take one of these per call, in
  // order, and answer it in place of the real answer unless it is
  // EFI_SUCCESS (the position then stays); once a list is used up they
  // answer truthfully.
  std::vector<EFI_STATUS> ReadStatuses;
  std::vector<EFI_STATUS> WriteStatuses;
  std::vector<EFI_STATUS> SetPositionStatuses;
  std::vector<EFI_STATUS> GetInfoStatuses;
  // A write stores at most this many bytes and reports success; 0: no limit.
  UINTN WriteLimit = 0;

  size_t OpenHandleCount() const;
  // Functions called on the file's handles ("Open", "Read", ...), in order.
  std::vector<std::string> Calls;

  struct Handle;

 private:
  static EFI_STATUS EFIAPI OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root);
  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle, const CHAR16* FileName,
                                UINT64 OpenMode, UINT64 Attributes);
  static EFI_STATUS EFIAPI Close(EFI_FILE_PROTOCOL* This);
  static EFI_STATUS EFIAPI Delete(EFI_FILE_PROTOCOL* This);
  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer);
  static EFI_STATUS EFIAPI Write(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer);
  static EFI_STATUS EFIAPI GetPosition(EFI_FILE_PROTOCOL* This, UINT64* Position);
  static EFI_STATUS EFIAPI SetPosition(EFI_FILE_PROTOCOL* This, UINT64 Position);
  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN* BufferSize,
                                   VOID* Buffer);
  static EFI_STATUS EFIAPI Flush(EFI_FILE_PROTOCOL* This);
  static Handle* From(EFI_FILE_PROTOCOL* This);
  EFI_FILE_PROTOCOL* NewHandle(bool Root);

  FakeFirmware& fw_;
  struct Volume {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL Protocol;
    FakeScriptedFile* Owner;
  } volume_{};
  EFI_HANDLE handle_ = nullptr;
  std::vector<UINT8> volumePath_;
  std::vector<std::unique_ptr<Handle>> handles_;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_SCRIPTED_FILE_H
