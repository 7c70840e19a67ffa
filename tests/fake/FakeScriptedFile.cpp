#include "FakeScriptedFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FakeFileSystem.h"

namespace fake {

struct FakeScriptedFile::Handle {
  EFI_FILE_PROTOCOL Protocol;
  FakeScriptedFile* Owner;
  bool Root;
  bool Open;
  UINT64 Position;
};

namespace {

// A hardware vendor node that no other fake volume uses.
std::vector<UINT8> VendorNode() {
  // Type, subtype and length 20, then the vendor GUID.
  // The bytes stay ten to a line.
  // clang-format off
  return {HARDWARE_DEVICE_PATH, 0x04, 20,   0,    0x5C, 0x9A, 0x21, 0x7E, 0x43, 0x10,
          0x4B,                 0x88, 0x9D, 0x02, 0x6A, 0xE1, 0x37, 0xC4, 0x55, 0x0B};
  // clang-format on
}

// The next scripted answer of a list, EFI_SUCCESS once it is used up.
EFI_STATUS NextScripted(std::vector<EFI_STATUS>& Statuses) {
  if (Statuses.empty()) return EFI_SUCCESS;
  EFI_STATUS status = Statuses.front();
  Statuses.erase(Statuses.begin());
  return status;
}

}  // namespace

FakeScriptedFile::FakeScriptedFile(FakeFirmware& Firmware) : fw_(Firmware) {
  volume_.Protocol.Revision = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_REVISION;
  volume_.Protocol.OpenVolume = &FakeScriptedFile::OpenVolume;
  volume_.Owner = this;
  volumePath_ = JoinNodes({VendorNode(), EndOfPathNode()});
  fw_.InstallProtocol(&handle_, gEfiSimpleFileSystemProtocolGuid, &volume_.Protocol);
  fw_.InstallProtocol(&handle_, gEfiDevicePathProtocolGuid, volumePath_.data());
}

FakeScriptedFile::~FakeScriptedFile() {
  EXPECT_EQ(OpenHandleCount(), 0u) << "scripted file handles left open";
  fw_.UninstallProtocol(handle_, gEfiSimpleFileSystemProtocolGuid);
  fw_.UninstallProtocol(handle_, gEfiDevicePathProtocolGuid);
}

std::vector<UINT8> FakeScriptedFile::DevicePath() const {
  return JoinNodes({VendorNode(), FilePathNode(u"\\scripted"), EndOfPathNode()});
}

size_t FakeScriptedFile::OpenHandleCount() const {
  return size_t(std::count_if(handles_.begin(), handles_.end(), [](const auto& handle) { return handle->Open; }));
}

FakeScriptedFile::Handle* FakeScriptedFile::From(EFI_FILE_PROTOCOL* This) {
  Handle* handle = reinterpret_cast<Handle*>(This);
  EXPECT_TRUE(handle->Open) << "call on a closed scripted file handle";
  return handle;
}

EFI_FILE_PROTOCOL* FakeScriptedFile::NewHandle(bool Root) {
  auto handle = std::make_unique<Handle>();
  handle->Protocol.Revision = EFI_FILE_PROTOCOL_REVISION;
  handle->Protocol.Open = &FakeScriptedFile::Open;
  handle->Protocol.Close = &FakeScriptedFile::Close;
  handle->Protocol.Delete = &FakeScriptedFile::Delete;
  handle->Protocol.Read = &FakeScriptedFile::Read;
  handle->Protocol.Write = &FakeScriptedFile::Write;
  handle->Protocol.GetPosition = &FakeScriptedFile::GetPosition;
  handle->Protocol.SetPosition = &FakeScriptedFile::SetPosition;
  handle->Protocol.GetInfo = &FakeScriptedFile::GetInfo;
  handle->Protocol.Flush = &FakeScriptedFile::Flush;
  handle->Owner = this;
  handle->Root = Root;
  handle->Open = true;
  handle->Position = 0;
  handles_.push_back(std::move(handle));
  return &handles_.back()->Protocol;
}

EFI_STATUS EFIAPI FakeScriptedFile::OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root) {
  FakeScriptedFile* self = reinterpret_cast<Volume*>(This)->Owner;
  *Root = self->NewHandle(true);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Open(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle, const CHAR16*,
                                         UINT64 OpenMode, UINT64) {
  FakeScriptedFile* self = From(This)->Owner;
  self->Calls.push_back("Open");
  if (!self->Exists && (OpenMode & EFI_FILE_MODE_CREATE) == 0) return EFI_NOT_FOUND;
  if (!self->Exists) {
    self->Exists = true;
    self->Contents.clear();
  }
  *NewHandle = self->NewHandle(false);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Close(EFI_FILE_PROTOCOL* This) {
  Handle* handle = From(This);
  if (!handle->Root) handle->Owner->Calls.push_back("Close");
  handle->Open = false;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Delete(EFI_FILE_PROTOCOL* This) {
  Handle* handle = From(This);
  handle->Owner->Calls.push_back("Delete");
  handle->Owner->Exists = false;
  handle->Open = false;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer) {
  Handle* handle = From(This);
  FakeScriptedFile* self = handle->Owner;
  self->Calls.push_back("Read");
  EFI_STATUS scripted = NextScripted(self->ReadStatuses);
  if (scripted == EFI_SUCCESS) scripted = self->ReadStatus;
  if (scripted != EFI_SUCCESS) {
    *BufferSize = 0;
    return scripted;
  }
  UINT64 size = self->Contents.size();
  UINTN count = handle->Position >= size ? 0 : UINTN(std::min<UINT64>(*BufferSize, size - handle->Position));
  std::memcpy(Buffer, self->Contents.data() + handle->Position, count);
  handle->Position += count;
  *BufferSize = count;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Write(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer) {
  Handle* handle = From(This);
  FakeScriptedFile* self = handle->Owner;
  self->Calls.push_back("Write");
  if (EFI_STATUS scripted = NextScripted(self->WriteStatuses); scripted != EFI_SUCCESS) {
    *BufferSize = 0;
    return scripted;
  }
  if (self->WriteLimit != 0 && *BufferSize > self->WriteLimit) *BufferSize = self->WriteLimit;
  if (self->Contents.size() < handle->Position + *BufferSize) self->Contents.resize(handle->Position + *BufferSize);
  std::memcpy(&self->Contents[handle->Position], Buffer, *BufferSize);
  handle->Position += *BufferSize;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::GetPosition(EFI_FILE_PROTOCOL* This, UINT64* Position) {
  *Position = From(This)->Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::SetPosition(EFI_FILE_PROTOCOL* This, UINT64 Position) {
  if (EFI_STATUS scripted = NextScripted(From(This)->Owner->SetPositionStatuses); scripted != EFI_SUCCESS) {
    return scripted;
  }
  From(This)->Position = Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::GetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID*, UINTN* BufferSize, VOID* Buffer) {
  FakeScriptedFile* self = From(This)->Owner;
  self->Calls.push_back("GetInfo");
  if (EFI_STATUS scripted = NextScripted(self->GetInfoStatuses); scripted != EFI_SUCCESS) return scripted;
  const std::u16string name = u"scripted";
  const UINTN needed = SIZE_OF_EFI_FILE_INFO + (name.size() + 1) * sizeof(CHAR16);
  if (*BufferSize < needed) {
    *BufferSize = needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  EFI_FILE_INFO* info = static_cast<EFI_FILE_INFO*>(Buffer);
  std::memset(info, 0, needed);
  info->Size = needed;
  info->FileSize = self->Contents.size();
  info->PhysicalSize = self->Contents.size();
  std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(CHAR16));
  *BufferSize = needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeScriptedFile::Flush(EFI_FILE_PROTOCOL* This) {
  From(This)->Owner->Calls.push_back("Flush");
  return EFI_SUCCESS;
}

}  // namespace fake
