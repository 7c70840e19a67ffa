#include "FakeFirmware.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fake {

namespace {

FakeFirmware* current = nullptr;

// Bytes of a device path up to (not including) its end-of-entire-path node.
// A node shorter than its header ends the walk, so a broken path cannot loop.
size_t DevicePathPrefixSize(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  const UINT8* start = reinterpret_cast<const UINT8*>(Path);
  const UINT8* node = start;
  for (;;) {
    UINT8 type = node[0] & EFI_DP_TYPE_MASK;
    UINT16 length = UINT16(node[2] | (node[3] << 8));
    if ((type == END_DEVICE_PATH_TYPE && node[1] == END_ENTIRE_DEVICE_PATH_SUBTYPE) || length < 4) break;
    node += length;
  }
  return size_t(node - start);
}

// Whether Offset falls on a node boundary of Path.
bool IsNodeBoundary(const EFI_DEVICE_PATH_PROTOCOL* Path, size_t Offset) {
  const UINT8* start = reinterpret_cast<const UINT8*>(Path);
  size_t at = 0;
  while (at < Offset) {
    UINT16 length = UINT16(start[at + 2] | (start[at + 3] << 8));
    if (length < 4) return false;
    at += length;
  }
  return at == Offset;
}

}  // namespace

struct FakeFirmware::Handle {
  std::vector<std::pair<EFI_GUID, void*>> Protocols;
  std::vector<std::pair<EFI_GUID, EFI_STATUS>> LookupFailures;

  void* Find(const EFI_GUID& Guid) const {
    for (const auto& entry : Protocols) {
      if (SameGuid(entry.first, Guid)) return entry.second;
    }
    return nullptr;
  }
  bool Failure(const EFI_GUID& Guid, EFI_STATUS* Status) const {
    for (const auto& entry : LookupFailures) {
      if (SameGuid(entry.first, Guid)) {
        *Status = entry.second;
        return true;
      }
    }
    return false;
  }
};

// The service functions. Each acts on the current firmware.
struct FakeFirmware::Impl {
  static EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer) {
    FakeFirmware& fw = Current();
    fw.Log("AllocatePool");
    return Allocate(fw, Type, Size, Buffer);
  }

  static EFI_STATUS Allocate(FakeFirmware& fw, EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer) {
    ++fw.allocationCalls_;
    bool badType = Type == EfiConventionalMemory || Type == EfiPersistentMemory ||
                   (Type >= EfiMaxMemoryType && Type < 0x70000000u);
    if (Buffer == nullptr || badType) return EFI_INVALID_PARAMETER;
    if (fw.ShouldFailAllocation()) return fw.AllocationFailureStatus;
    *Buffer = fw.AllocateBlock(Size, Type);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI FreePool(VOID* Buffer) {
    FakeFirmware& fw = Current();
    fw.Log("FreePool");
    ++fw.freeCalls_;
    auto found = fw.blocks_.find(Buffer);
    if (found == fw.blocks_.end()) {
      ADD_FAILURE() << "FreePool(" << Buffer << "): not a live pool block (double or foreign free)";
      return EFI_INVALID_PARAMETER;
    }
    fw.blocks_.erase(found);
    std::free(Buffer);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetMem(VOID* Buffer, UINTN Size, UINT8 Value) {
    FakeFirmware& fw = Current();
    fw.Log("SetMem");
    ++fw.setMemCalls_;
    if (Size != 0) std::memset(Buffer, Value, Size);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI CopyMem(VOID* Destination, const VOID* Source, UINTN Length) {
    Current().Log("CopyMem");
    if (Length != 0) std::memmove(Destination, Source, Length);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE* Handle, const EFI_GUID* Protocol, UINT32 InterfaceType,
                                                    VOID* Interface) {
    FakeFirmware& fw = Current();
    fw.Log("InstallProtocolInterface");
    if (Handle == nullptr || Protocol == nullptr || InterfaceType != EFI_NATIVE_INTERFACE) {
      return EFI_INVALID_PARAMETER;
    }
    return fw.InstallProtocol(Handle, *Protocol, Interface);
  }

  static EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID* Interface) {
    FakeFirmware& fw = Current();
    fw.Log("UninstallProtocolInterface");
    if (Protocol == nullptr || fw.InterfaceOf(Handle, *Protocol) != Interface) return EFI_NOT_FOUND;
    return fw.UninstallProtocol(Handle, *Protocol);
  }

  // HandleProtocol and OpenProtocol share the lookup: the interface pointer
  // is cleared first, as firmware does.
  static EFI_STATUS Lookup(FakeFirmware& fw, EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface) {
    if (Interface != nullptr) *Interface = nullptr;
    FakeFirmware::Handle* record = fw.FindHandle(Handle);
    if (record == nullptr || Protocol == nullptr) return EFI_INVALID_PARAMETER;
    EFI_STATUS failure;
    if (record->Failure(*Protocol, &failure)) return failure;
    void* found = record->Find(*Protocol);
    if (found == nullptr) return EFI_UNSUPPORTED;
    if (Interface != nullptr) *Interface = found;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface) {
    FakeFirmware& fw = Current();
    fw.Log("HandleProtocol");
    if (Interface == nullptr) return EFI_INVALID_PARAMETER;
    return Lookup(fw, Handle, Protocol, Interface);
  }

  static EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE Handle, const EFI_GUID* Protocol, VOID** Interface,
                                        EFI_HANDLE AgentHandle, EFI_HANDLE ControllerHandle, UINT32 Attributes) {
    FakeFirmware& fw = Current();
    fw.Log("OpenProtocol");
    EFI_GUID guid = Protocol != nullptr ? *Protocol : EFI_GUID{};
    fw.openProtocolCalls_.push_back({Handle, guid, AgentHandle, ControllerHandle, Attributes});
    if (Interface == nullptr && Attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL) return EFI_INVALID_PARAMETER;
    return Lookup(fw, Handle, Protocol, Interface);
  }

  static EFI_STATUS EFIAPI CloseProtocol(EFI_HANDLE, const EFI_GUID*, EFI_HANDLE, EFI_HANDLE) {
    Current().Log("CloseProtocol");
    return EFI_SUCCESS;
  }

  static EFI_STATUS Search(FakeFirmware& fw, EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                           std::vector<EFI_HANDLE>* Found) {
    if (SearchType == AllHandles) {
      for (const auto& handle : fw.handles_) Found->push_back(handle.get());
      return EFI_SUCCESS;
    }
    if (SearchType != ByProtocol) return EFI_UNSUPPORTED;
    if (Protocol == nullptr) return EFI_INVALID_PARAMETER;
    *Found = fw.HandlesWith(*Protocol);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateHandle(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol, VOID* SearchKey,
                                        UINTN* BufferSize, EFI_HANDLE* Buffer) {
    (void)SearchKey;
    FakeFirmware& fw = Current();
    fw.Log("LocateHandle");
    if (BufferSize == nullptr) return EFI_INVALID_PARAMETER;
    std::vector<EFI_HANDLE> found;
    EFI_STATUS status = Search(fw, SearchType, Protocol, &found);
    if (EFI_ERROR(status)) return status;
    if (found.empty()) {
      *BufferSize = 0;
      return EFI_NOT_FOUND;
    }
    UINTN needed = found.size() * sizeof(EFI_HANDLE);
    if (*BufferSize < needed) {
      *BufferSize = needed;
      return EFI_BUFFER_TOO_SMALL;
    }
    if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
    std::memcpy(Buffer, found.data(), needed);
    *BufferSize = needed;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol,
                                              VOID* SearchKey, UINTN* NoHandles, EFI_HANDLE** Buffer) {
    (void)SearchKey;
    FakeFirmware& fw = Current();
    fw.Log("LocateHandleBuffer");
    if (NoHandles == nullptr || Buffer == nullptr) return EFI_INVALID_PARAMETER;
    *NoHandles = 0;
    *Buffer = nullptr;
    std::vector<EFI_HANDLE> found;
    EFI_STATUS status = Search(fw, SearchType, Protocol, &found);
    if (EFI_ERROR(status)) return status;
    if (found.empty()) return EFI_NOT_FOUND;
    VOID* block = nullptr;
    if (EFI_ERROR(Allocate(fw, EfiBootServicesData, found.size() * sizeof(EFI_HANDLE), &block))) {
      return EFI_OUT_OF_RESOURCES;
    }
    std::memcpy(block, found.data(), found.size() * sizeof(EFI_HANDLE));
    *Buffer = static_cast<EFI_HANDLE*>(block);
    *NoHandles = found.size();
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateProtocol(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface) {
    (void)Registration;
    FakeFirmware& fw = Current();
    fw.Log("LocateProtocol");
    if (Protocol == nullptr || Interface == nullptr) return EFI_INVALID_PARAMETER;
    *Interface = nullptr;
    std::vector<EFI_HANDLE> handles = fw.HandlesWith(*Protocol);
    if (handles.empty()) return EFI_NOT_FOUND;
    *Interface = fw.InterfaceOf(handles.front(), *Protocol);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateDevicePath(const EFI_GUID* Protocol, EFI_DEVICE_PATH_PROTOCOL** DevicePath,
                                            EFI_HANDLE* Device) {
    FakeFirmware& fw = Current();
    fw.Log("LocateDevicePath");
    if (Protocol == nullptr || DevicePath == nullptr || *DevicePath == nullptr || Device == nullptr) {
      return EFI_INVALID_PARAMETER;
    }
    const EFI_DEVICE_PATH_PROTOCOL* path = *DevicePath;
    size_t pathSize = DevicePathPrefixSize(path);
    EFI_HANDLE best = nullptr;
    size_t bestSize = 0;
    for (EFI_HANDLE handle : fw.HandlesWith(*Protocol)) {
      auto* own = static_cast<const EFI_DEVICE_PATH_PROTOCOL*>(fw.InterfaceOf(handle, gEfiDevicePathProtocolGuid));
      if (own == nullptr) continue;
      size_t ownSize = DevicePathPrefixSize(own);
      bool prefix = ownSize <= pathSize && std::memcmp(own, path, ownSize) == 0 && IsNodeBoundary(path, ownSize);
      if (prefix && (best == nullptr || ownSize > bestSize)) {
        best = handle;
        bestSize = ownSize;
      }
    }
    if (best == nullptr) return EFI_NOT_FOUND;
    *DevicePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(reinterpret_cast<UINT8*>(*DevicePath) + bestSize);
    *Device = best;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Exit(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus, UINTN ExitDataSize, CHAR16* ExitData) {
    FakeFirmware& fw = Current();
    fw.Log("Exit");
    ++fw.exitCalls_;
    fw.lastExit_ = {true, ImageHandle, ExitStatus, ExitDataSize, ExitData};
    if (fw.exitTarget_ == nullptr) {
      ADD_FAILURE() << "Exit called outside RunImage";
      return EFI_INVALID_PARAMETER;
    }
    std::longjmp(*fw.exitTarget_, 1);
  }

  static EFI_STATUS EFIAPI GetNextMonotonicCount(UINT64* Count) {
    FakeFirmware& fw = Current();
    fw.Log("GetNextMonotonicCount");
    if (Count == nullptr) return EFI_INVALID_PARAMETER;
    *Count = fw.NextMonotonicCount++;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Stall(UINTN) {
    Current().Log("Stall");
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetVariable(const CHAR16* Name, const EFI_GUID* Vendor, UINT32* Attributes, UINTN* DataSize,
                                       VOID* Data) {
    FakeFirmware& fw = Current();
    fw.Log("GetVariable");
    if (Name == nullptr || Vendor == nullptr || DataSize == nullptr) return EFI_INVALID_PARAMETER;
    ++fw.getVariableCalls_[Name];
    const Variable* variable = fw.FindVariable(Name, *Vendor);
    if (variable == nullptr) return EFI_NOT_FOUND;
    if (*DataSize < variable->Data.size()) {
      *DataSize = variable->Data.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    if (Data == nullptr) return EFI_INVALID_PARAMETER;
    if (!variable->Data.empty()) std::memcpy(Data, variable->Data.data(), variable->Data.size());
    *DataSize = variable->Data.size();
    if (Attributes != nullptr) *Attributes = variable->Attributes;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetVariable(const CHAR16* Name, const EFI_GUID* Vendor, UINT32 Attributes, UINTN DataSize,
                                       const VOID* Data) {
    FakeFirmware& fw = Current();
    fw.Log("SetVariable");
    if (Name == nullptr || Vendor == nullptr || (DataSize != 0 && Data == nullptr)) return EFI_INVALID_PARAMETER;
    if (DataSize == 0) {
      if (fw.FindVariable(Name, *Vendor) == nullptr) return EFI_NOT_FOUND;
      fw.DeleteVariable(Name, *Vendor);
      return EFI_SUCCESS;
    }
    const UINT8* bytes = static_cast<const UINT8*>(Data);
    fw.SetVariable(Name, *Vendor, std::vector<UINT8>(bytes, bytes + DataSize), Attributes);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Assert(EFI_DEBUG_ASSERT_PROTOCOL* This, const CHAR8* FileName, INTN LineNumber,
                                  const CHAR8* Description) {
    FakeFirmware* fw = reinterpret_cast<DebugAssertInstance*>(This)->Owner;
    fw->asserts_.push_back(
        {FileName != nullptr ? FileName : "", LineNumber, Description != nullptr ? Description : ""});
    return EFI_SUCCESS;
  }
};

EFI_TIME TimeOf(UINT16 Year, UINT8 Month, UINT8 Day, UINT8 Hour, UINT8 Minute, UINT8 Second) {
  EFI_TIME time{};
  time.Year = Year;
  time.Month = Month;
  time.Day = Day;
  time.Hour = Hour;
  time.Minute = Minute;
  time.Second = Second;
  return time;
}

FakeFirmware::FakeFirmware() {
  if (current != nullptr) {
    std::fprintf(stderr, "fake firmware: a second instance while one is current\n");
    std::abort();
  }
  current = this;

  bootServices_.Hdr.Signature = 0x56524553544F4F42ULL;  // "BOOTSERV"
  bootServices_.Hdr.HeaderSize = sizeof(EFI_BOOT_SERVICES);
  bootServices_.AllocatePool = &Impl::AllocatePool;
  bootServices_.FreePool = &Impl::FreePool;
  bootServices_.InstallProtocolInterface = &Impl::InstallProtocolInterface;
  bootServices_.UninstallProtocolInterface = &Impl::UninstallProtocolInterface;
  bootServices_.HandleProtocol = &Impl::HandleProtocol;
  bootServices_.LocateHandle = &Impl::LocateHandle;
  bootServices_.LocateDevicePath = &Impl::LocateDevicePath;
  bootServices_.Exit = &Impl::Exit;
  bootServices_.GetNextMonotonicCount = &Impl::GetNextMonotonicCount;
  bootServices_.Stall = &Impl::Stall;
  bootServices_.OpenProtocol = &Impl::OpenProtocol;
  bootServices_.CloseProtocol = &Impl::CloseProtocol;
  bootServices_.LocateHandleBuffer = &Impl::LocateHandleBuffer;
  bootServices_.LocateProtocol = &Impl::LocateProtocol;
  bootServices_.CopyMem = &Impl::CopyMem;
  bootServices_.SetMem = &Impl::SetMem;

  runtimeServices_.Hdr.Signature = 0x56524553544E5552ULL;  // "RUNTSERV"
  runtimeServices_.Hdr.HeaderSize = sizeof(EFI_RUNTIME_SERVICES);
  runtimeServices_.GetVariable = &Impl::GetVariable;
  runtimeServices_.SetVariable = &Impl::SetVariable;

  systemTable_.Hdr.Signature = 0x5453595320494249ULL;  // "IBI SYST"
  systemTable_.Hdr.HeaderSize = sizeof(EFI_SYSTEM_TABLE);
  systemTable_.FirmwareVendor = const_cast<CHAR16*>(u"qorvex fake firmware");
  systemTable_.BootServices = &bootServices_;
  systemTable_.RuntimeServices = &runtimeServices_;
  systemTable_.ConOut = conOut_.Protocol();
  systemTable_.StdErr = stdErr_.Protocol();
  systemTable_.ConsoleOutHandle = InstallProtocol(gEfiSimpleTextOutProtocolGuid, conOut_.Protocol());
  systemTable_.StandardErrorHandle = InstallProtocol(gEfiSimpleTextOutProtocolGuid, stdErr_.Protocol());

  loadedImage_.Revision = 0x1000;
  loadedImage_.SystemTable = &systemTable_;
  loadedImage_.ImageCodeType = EfiLoaderCode;
  loadedImage_.ImageDataType = EfiLoaderData;
  imageHandle_ = InstallProtocol(gEfiLoadedImageProtocolGuid, &loadedImage_);

  debugAssert_.Protocol.Assert = &Impl::Assert;
  debugAssert_.Owner = this;
  debugAssertHandle_ = InstallProtocol(gEfiDebugAssertProtocolGuid, &debugAssert_.Protocol);
}

FakeFirmware::~FakeFirmware() {
  for (const auto& block : blocks_) std::free(const_cast<void*>(block.first));
  current = nullptr;
}

FakeFirmware& FakeFirmware::Current() {
  if (current == nullptr) {
    std::fprintf(stderr, "fake firmware: a service was called with no firmware instance\n");
    std::abort();
  }
  return *current;
}

FakeFirmware* FakeFirmware::CurrentOrNull() { return current; }

// ---- Pool ----

void* FakeFirmware::AllocateBlock(UINTN Size, EFI_MEMORY_TYPE Type) {
  void* address = std::malloc(Size != 0 ? Size : 1);
  if (address == nullptr) std::abort();
  std::memset(address, 0xAF, Size);
  PoolBlock& block = blocks_[address];
  block.Size = Size;
  block.Type = Type;
  block.Serial = nextSerial_++;
  return address;
}

bool FakeFirmware::ShouldFailAllocation() {
  return allocationCalls_ == failAt_ || (failFrom_ != 0 && allocationCalls_ >= failFrom_);
}

void FakeFirmware::FailAllocation(size_t Nth) { failAt_ = allocationCalls_ + Nth; }
void FakeFirmware::FailAllocationsFrom(size_t Nth) { failFrom_ = allocationCalls_ + Nth; }

void FakeFirmware::StopFailingAllocations() {
  failAt_ = 0;
  failFrom_ = 0;
}

size_t FakeFirmware::UnownedLiveBlockCount() const {
  size_t count = 0;
  for (const auto& block : blocks_) count += !block.second.Owned;
  return count;
}

std::string FakeFirmware::DescribeLiveBlocks() const {
  std::string text;
  char line[96];
  for (const auto& block : blocks_) {
    std::snprintf(line, sizeof line, "  block #%llu: %llu bytes, type %u%s\n",
                  static_cast<unsigned long long>(block.second.Serial),
                  static_cast<unsigned long long>(block.second.Size), unsigned(block.second.Type),
                  block.second.Owned ? " (owned by the test)" : "");
    text += line;
  }
  return text;
}

const PoolBlock* FakeFirmware::FindBlock(const void* Address) const {
  auto found = blocks_.find(Address);
  return found == blocks_.end() ? nullptr : &found->second;
}

std::vector<const void*> FakeFirmware::LiveBlocks() const {
  std::vector<const void*> live;
  for (const auto& block : blocks_) live.push_back(block.first);
  return live;
}

void FakeFirmware::MarkOwned(const void* Address) {
  auto found = blocks_.find(Address);
  if (found == blocks_.end()) {
    ADD_FAILURE() << "MarkOwned(" << Address << "): not a live pool block";
    return;
  }
  found->second.Owned = true;
}

void* FakeFirmware::AllocateForTest(UINTN Size, EFI_MEMORY_TYPE Type) { return AllocateBlock(Size, Type); }

CHAR16* FakeFirmware::CloneForTest(const std::u16string& Text) {
  auto* copy = static_cast<CHAR16*>(AllocateForTest((Text.size() + 1) * sizeof(CHAR16)));
  std::memcpy(copy, Text.c_str(), (Text.size() + 1) * sizeof(CHAR16));
  return copy;
}

void FakeFirmware::FreeForTest(void* Address) {
  auto found = blocks_.find(Address);
  if (found == blocks_.end()) {
    ADD_FAILURE() << "FreeForTest(" << Address << "): not a live pool block";
    return;
  }
  blocks_.erase(found);
  std::free(Address);
}

// ---- Handles ----

FakeFirmware::Handle* FakeFirmware::FindHandle(EFI_HANDLE Handle) const {
  for (const auto& handle : handles_) {
    if (handle.get() == Handle) return handle.get();
  }
  return nullptr;
}

EFI_HANDLE FakeFirmware::CreateHandle() {
  handles_.push_back(std::make_unique<Handle>());
  return handles_.back().get();
}

EFI_STATUS FakeFirmware::InstallProtocol(EFI_HANDLE* Handle, const EFI_GUID& Guid, void* Interface) {
  if (*Handle == nullptr) *Handle = CreateHandle();
  FakeFirmware::Handle* record = FindHandle(*Handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  for (const auto& entry : record->Protocols) {
    if (SameGuid(entry.first, Guid)) return EFI_INVALID_PARAMETER;
  }
  record->Protocols.emplace_back(Guid, Interface);
  return EFI_SUCCESS;
}

EFI_HANDLE FakeFirmware::InstallProtocol(const EFI_GUID& Guid, void* Interface) {
  EFI_HANDLE handle = nullptr;
  InstallProtocol(&handle, Guid, Interface);
  return handle;
}

EFI_STATUS FakeFirmware::UninstallProtocol(EFI_HANDLE Handle, const EFI_GUID& Guid) {
  FakeFirmware::Handle* record = FindHandle(Handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  for (auto entry = record->Protocols.begin(); entry != record->Protocols.end(); ++entry) {
    if (SameGuid(entry->first, Guid)) {
      record->Protocols.erase(entry);
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

void FakeFirmware::FailProtocolLookup(EFI_HANDLE Handle, const EFI_GUID& Guid, EFI_STATUS Status) {
  FakeFirmware::Handle* record = FindHandle(Handle);
  if (record == nullptr) {
    ADD_FAILURE() << "FailProtocolLookup on an unknown handle";
    return;
  }
  record->LookupFailures.emplace_back(Guid, Status);
}

std::vector<EFI_HANDLE> FakeFirmware::HandlesWith(const EFI_GUID& Guid) const {
  std::vector<EFI_HANDLE> found;
  for (const auto& handle : handles_) {
    if (handle->Find(Guid) != nullptr) found.push_back(handle.get());
  }
  return found;
}

void* FakeFirmware::InterfaceOf(EFI_HANDLE Handle, const EFI_GUID& Guid) const {
  FakeFirmware::Handle* record = FindHandle(Handle);
  return record != nullptr ? record->Find(Guid) : nullptr;
}

// ---- Images ----

ImageRunResult FakeFirmware::RunImage(const std::function<EFI_STATUS()>& Body) {
  std::jmp_buf target;
  std::jmp_buf* const saved = exitTarget_;
  exitTarget_ = &target;
  if (setjmp(target) != 0) {
    exitTarget_ = saved;
    return lastExit_;
  }
  EFI_STATUS status = Body();
  exitTarget_ = saved;
  ImageRunResult result;
  result.Status = status;
  return result;
}

// ---- Variables ----

static std::pair<std::u16string, std::string> VariableKey(const std::u16string& Name, const EFI_GUID& Vendor) {
  return {Name, GuidText(Vendor)};
}

void FakeFirmware::SetVariable(const std::u16string& Name, const EFI_GUID& Vendor, const std::vector<UINT8>& Data,
                               UINT32 Attributes) {
  variables_[VariableKey(Name, Vendor)] = Variable{Attributes, Data};
}

void FakeFirmware::SetStringVariable(const std::u16string& Name, const EFI_GUID& Vendor, const std::string& Text,
                                     bool WithNul) {
  std::vector<UINT8> data(Text.begin(), Text.end());
  if (WithNul) data.push_back(0);
  SetVariable(Name, Vendor, data);
}

void FakeFirmware::DeleteVariable(const std::u16string& Name, const EFI_GUID& Vendor) {
  variables_.erase(VariableKey(Name, Vendor));
}

const Variable* FakeFirmware::FindVariable(const std::u16string& Name, const EFI_GUID& Vendor) const {
  auto found = variables_.find(VariableKey(Name, Vendor));
  return found == variables_.end() ? nullptr : &found->second;
}

size_t FakeFirmware::GetVariableCalls(const std::u16string& Name) const {
  auto found = getVariableCalls_.find(Name);
  return found == getVariableCalls_.end() ? 0 : found->second;
}

// ---- Asserts, calls, hooks ----

std::vector<AssertRecord> FakeFirmware::TakeAsserts() {
  std::vector<AssertRecord> taken;
  taken.swap(asserts_);
  return taken;
}

std::vector<std::string> FakeFirmware::TakeAssertConditions() {
  std::vector<std::string> conditions;
  for (const AssertRecord& record : TakeAsserts()) conditions.push_back(record.Condition);
  return conditions;
}

size_t FakeFirmware::ServiceCallCount(const std::string& Service) const {
  size_t count = 0;
  for (const std::string& call : serviceCalls_) count += call == Service;
  return count;
}

size_t FakeFirmware::AddTestEndHook(std::function<void()> Hook) {
  testEndHooks_[nextHookId_] = std::move(Hook);
  return nextHookId_++;
}

void FakeFirmware::RemoveTestEndHook(size_t Id) { testEndHooks_.erase(Id); }

void FakeFirmware::RunTestEndHooks() {
  auto hooks = std::move(testEndHooks_);
  testEndHooks_.clear();
  for (auto& hook : hooks) hook.second();
}

std::string GuidText(const EFI_GUID& Guid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(Guid.Data1),
                unsigned(Guid.Data2), unsigned(Guid.Data3), Guid.Data4[0], Guid.Data4[1], Guid.Data4[2], Guid.Data4[3],
                Guid.Data4[4], Guid.Data4[5], Guid.Data4[6], Guid.Data4[7]);
  return text;
}

bool SameGuid(const EFI_GUID& A, const EFI_GUID& B) { return std::memcmp(&A, &B, sizeof(EFI_GUID)) == 0; }

}  // namespace fake
