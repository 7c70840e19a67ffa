// A fake UEFI firmware for host tests of the shell support library.
//
// FakeFirmware owns a system table, boot services and runtime services whose
// slots point at recording C++ implementations. The services are ms_abi
// functions without a context argument, so they act on the one "current"
// instance: constructing a FakeFirmware makes it current, destroying it
// clears it. One test, one instance (FirmwareTest in FirmwareTest.h does this).
//
// What it provides:
//   * Pool (AllocatePool, FreePool, SetMem, CopyMem): every block is tracked
//     with its size and memory type. New blocks are filled with 0xAF so that
//     code relying on cleared memory shows up. Allocation failures can be
//     injected (the Nth call, or every call from the Nth on). Freeing a block
//     that is not live (double or foreign free) is a gtest failure.
//   * Handle database: protocols are installed on handles (InstallProtocol),
//     found by HandleProtocol, OpenProtocol, LocateHandle (with the
//     EFI_BUFFER_TOO_SMALL size answer), LocateHandleBuffer (a pool block the
//     caller frees), LocateProtocol and LocateDevicePath (the longest device
//     path of a handle carrying the protocol that is a prefix of the path).
//   * Exit: longjmps back into RunImage, which records its arguments.
//   * GetNextMonotonicCount, and variables with the GetVariable size protocol.
//   * Two recording consoles (ConOut, StdErr) and a recording debug-assert
//     protocol, installed on handles of their own.
//   * An image handle carrying a loaded image protocol (ImageDataType
//     EfiLoaderData unless a test changes it).
//
// Pieces added later (file systems, HII, shell protocols) live in their own
// files and use the public API here: InstallProtocol for their interfaces,
// AllocateForTest / FreeForTest for pool blocks they hand to the library,
// AddTestEndHook for clean-up that must run before the live-block check.
#ifndef QORVEX_TESTS_FAKE_FAKE_FIRMWARE_H
#define QORVEX_TESTS_FAKE_FAKE_FIRMWARE_H

#include <csetjmp>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Efi.h"
#include "FakeConsole.h"

namespace fake {

// An EFI_TIME of the given date and time, the other members zero.
EFI_TIME TimeOf(UINT16 Year, UINT8 Month, UINT8 Day, UINT8 Hour, UINT8 Minute, UINT8 Second = 0);

// Pool block bookkeeping.
struct PoolBlock {
  UINTN Size = 0;
  EFI_MEMORY_TYPE Type = EfiReservedMemoryType;
  UINT64 Serial = 0;   // order of allocation, from 1
  bool Owned = false;  // the test keeps it past its end (MarkOwned)
};

// What Exit was called with (or how the image body returned).
struct ImageRunResult {
  bool Exited = false;  // true when the body ended through Exit
  EFI_HANDLE ExitHandle = nullptr;
  EFI_STATUS Status = EFI_SUCCESS;  // Exit's status, or the body's return value
  UINTN ExitDataSize = 0;
  const CHAR16* ExitData = nullptr;
};

// One call of the debug-assert protocol's first function.
struct AssertRecord {
  std::string File;
  INTN Line = 0;
  std::string Condition;
};

// One OpenProtocol call.
struct OpenProtocolCall {
  EFI_HANDLE Handle;
  EFI_GUID Protocol;
  EFI_HANDLE AgentHandle;
  EFI_HANDLE ControllerHandle;
  UINT32 Attributes;
};

// One stored variable.
struct Variable {
  UINT32 Attributes = 0;
  std::vector<UINT8> Data;
};

class FakeFirmware {
 public:
  FakeFirmware();
  ~FakeFirmware();
  FakeFirmware(const FakeFirmware&) = delete;
  FakeFirmware& operator=(const FakeFirmware&) = delete;

  // The instance the services act on. Aborts the test program when none exists.
  static FakeFirmware& Current();
  static FakeFirmware* CurrentOrNull();

  EFI_SYSTEM_TABLE* SystemTable() { return &systemTable_; }
  EFI_BOOT_SERVICES* BootServices() { return &bootServices_; }
  EFI_RUNTIME_SERVICES* RuntimeServices() { return &runtimeServices_; }
  EFI_HANDLE ImageHandle() const { return imageHandle_; }
  EFI_LOADED_IMAGE_PROTOCOL& LoadedImage() { return loadedImage_; }

  // ---- Pool ----
  size_t LiveBlockCount() const { return blocks_.size(); }
  // Live blocks not marked owned: what a test must have freed by its end.
  size_t UnownedLiveBlockCount() const;
  std::string DescribeLiveBlocks() const;
  const PoolBlock* FindBlock(const void* Address) const;  // null unless live
  std::vector<const void*> LiveBlocks() const;            // in address order
  bool IsLiveBlock(const void* Address) const { return FindBlock(Address) != nullptr; }
  void MarkOwned(const void* Address);
  // AllocatePool calls so far (failed ones included).
  size_t AllocationCalls() const { return allocationCalls_; }
  size_t FreeCalls() const { return freeCalls_; }
  size_t SetMemCalls() const { return setMemCalls_; }
  // The Nth AllocatePool call from now (1 = the next one) fails.
  void FailAllocation(size_t Nth);
  // Every AllocatePool call from the Nth from now on fails.
  void FailAllocationsFrom(size_t Nth);
  void StopFailingAllocations();
  EFI_STATUS AllocationFailureStatus = EFI_OUT_OF_RESOURCES;
  // A live pool block made by the test (for data it hands to the library,
  // such as shell arguments). Not counted as an AllocatePool call and never
  // failed by injection.
  void* AllocateForTest(UINTN Size, EFI_MEMORY_TYPE Type = EfiBootServicesData);
  CHAR16* CloneForTest(const std::u16string& Text);
  void FreeForTest(void* Address);

  // ---- Handles ----
  EFI_HANDLE CreateHandle();
  // Installs Interface under Guid on *Handle (a new handle when *Handle is
  // null). EFI_INVALID_PARAMETER when the handle already carries Guid.
  EFI_STATUS InstallProtocol(EFI_HANDLE* Handle, const EFI_GUID& Guid, void* Interface);
  // Installs on a new handle and returns it.
  EFI_HANDLE InstallProtocol(const EFI_GUID& Guid, void* Interface);
  EFI_STATUS UninstallProtocol(EFI_HANDLE Handle, const EFI_GUID& Guid);
  // HandleProtocol and OpenProtocol answer Status for this pair from now on.
  void FailProtocolLookup(EFI_HANDLE Handle, const EFI_GUID& Guid, EFI_STATUS Status);
  // Handles that carry Guid, in creation order.
  std::vector<EFI_HANDLE> HandlesWith(const EFI_GUID& Guid) const;
  void* InterfaceOf(EFI_HANDLE Handle, const EFI_GUID& Guid) const;
  const std::vector<OpenProtocolCall>& OpenProtocolCalls() const { return openProtocolCalls_; }

  // ---- Images ----
  // Runs Body as an image would run; an Exit call inside it comes back here.
  // Code between here and Exit is left by longjmp: keep objects with
  // destructors out of those frames.
  ImageRunResult RunImage(const std::function<EFI_STATUS()>& Body);
  size_t ExitCalls() const { return exitCalls_; }
  const ImageRunResult& LastExit() const { return lastExit_; }

  // ---- Counters and variables ----
  UINT64 NextMonotonicCount = 1;
  void SetVariable(const std::u16string& Name, const EFI_GUID& Vendor, const std::vector<UINT8>& Data,
                   UINT32 Attributes = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS);
  // Stores the 8-bit text and, unless WithNul is false, its terminator.
  void SetStringVariable(const std::u16string& Name, const EFI_GUID& Vendor, const std::string& Text,
                         bool WithNul = true);
  void DeleteVariable(const std::u16string& Name, const EFI_GUID& Vendor);
  const Variable* FindVariable(const std::u16string& Name, const EFI_GUID& Vendor) const;
  // GetVariable calls for Name so far (any vendor).
  size_t GetVariableCalls(const std::u16string& Name) const;

  // ---- Consoles ----
  FakeConsole& ConOut() { return conOut_; }
  FakeConsole& StdErr() { return stdErr_; }
  // The system table's StdErr becomes null (ConOut stays).
  void DetachStdErr() { systemTable_.StdErr = nullptr; }

  // ---- Debug-assert protocol ----
  EFI_DEBUG_ASSERT_PROTOCOL* DebugAssert() { return &debugAssert_.Protocol; }
  EFI_HANDLE DebugAssertHandle() const { return debugAssertHandle_; }
  const std::vector<AssertRecord>& Asserts() const { return asserts_; }
  // Returns the records and forgets them, so that the end-of-test check
  // (no unexpected assertion) passes.
  std::vector<AssertRecord> TakeAsserts();
  // The condition texts of TakeAsserts, in order.
  std::vector<std::string> TakeAssertConditions();

  // ---- Service call log ----
  // Names of the boot and runtime services called, in order ("AllocatePool",
  // "HandleProtocol", ...).
  const std::vector<std::string>& ServiceCalls() const { return serviceCalls_; }
  size_t ServiceCallCount(const std::string& Service) const;

  // ---- End of test ----
  // Runs before the end-of-test checks (for example to give back shell
  // argument blocks). Returns an id for RemoveTestEndHook.
  size_t AddTestEndHook(std::function<void()> Hook);
  void RemoveTestEndHook(size_t Id);
  void RunTestEndHooks();

  // Implementation hooks for the service functions; not for tests.
  struct Impl;

 private:
  struct Handle;
  struct DebugAssertInstance {
    EFI_DEBUG_ASSERT_PROTOCOL Protocol;
    FakeFirmware* Owner;
  };

  friend struct Impl;
  Handle* FindHandle(EFI_HANDLE Handle) const;
  void* AllocateBlock(UINTN Size, EFI_MEMORY_TYPE Type);
  bool ShouldFailAllocation();
  void Log(const char* Service) { serviceCalls_.emplace_back(Service); }

  EFI_SYSTEM_TABLE systemTable_{};
  EFI_BOOT_SERVICES bootServices_{};
  EFI_RUNTIME_SERVICES runtimeServices_{};
  EFI_LOADED_IMAGE_PROTOCOL loadedImage_{};
  EFI_HANDLE imageHandle_ = nullptr;
  FakeConsole conOut_;
  FakeConsole stdErr_;
  DebugAssertInstance debugAssert_{};
  EFI_HANDLE debugAssertHandle_ = nullptr;

  std::map<const void*, PoolBlock> blocks_;
  UINT64 nextSerial_ = 1;
  size_t allocationCalls_ = 0;
  size_t freeCalls_ = 0;
  size_t setMemCalls_ = 0;
  size_t failAt_ = 0;    // absolute call number that fails; 0 = none
  size_t failFrom_ = 0;  // absolute call number from which all fail; 0 = none

  std::vector<std::unique_ptr<Handle>> handles_;
  std::vector<OpenProtocolCall> openProtocolCalls_;

  std::jmp_buf* exitTarget_ = nullptr;
  size_t exitCalls_ = 0;
  ImageRunResult lastExit_;

  std::map<std::pair<std::u16string, std::string>, Variable> variables_;
  std::map<std::u16string, size_t> getVariableCalls_;

  std::vector<AssertRecord> asserts_;
  std::vector<std::string> serviceCalls_;
  std::map<size_t, std::function<void()>> testEndHooks_;
  size_t nextHookId_ = 1;
};

// Text form of a GUID for messages: 8-4-4-4-12 uppercase hexadecimal.
std::string GuidText(const EFI_GUID& Guid);
bool SameGuid(const EFI_GUID& A, const EFI_GUID& B);

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_FIRMWARE_H
