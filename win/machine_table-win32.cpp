// The running machine's table on Windows: GetSystemFirmwareTable with the
// raw SMBIOS provider. It is looked up at run time, so that qorvexw.exe still
// starts on Windows versions that lack it.
#include <stdlib.h>
#include <windows.h>

#include "machine_table.h"

namespace {

typedef UINT(WINAPI* GetFirmwareTable)(DWORD provider, DWORD id, PVOID buffer, DWORD size);

// The provider 'RSMB' as Windows spells a four-character code.
constexpr DWORD kRawSmbiosProvider = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B';

// What the provider puts in front of the structure table.
constexpr size_t kHeaderSize = 8;
constexpr size_t kMajorVersion = 1;
constexpr size_t kMinorVersion = 2;
constexpr size_t kTableLength = 4;

const char kProviderName[] = "GetSystemFirmwareTable";

GetFirmwareTable find_firmware_table_call() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<GetFirmwareTable>(reinterpret_cast<void*>(GetProcAddress(kernel, kProviderName)));
}

}  // namespace

TableLoad load_machine_table(MachineTable* loaded) {
  loaded->failed_name = kProviderName;
  GetFirmwareTable get_table = find_firmware_table_call();
  if (get_table == nullptr) return TableUnavailable;
  const UINT size = get_table(kRawSmbiosProvider, 0, nullptr, 0);
  if (size < kHeaderSize) return TableUnavailable;
  loaded->bytes = static_cast<uint8_t*>(malloc(size));
  if (loaded->bytes == nullptr) return TableNoMemory;
  if (get_table(kRawSmbiosProvider, 0, loaded->bytes, size) != size) return TableUnavailable;
  const uint8_t* header = loaded->bytes;
  size_t length = header[kTableLength] | (header[kTableLength + 1] << 8) | (header[kTableLength + 2] << 16) |
                  (static_cast<size_t>(header[kTableLength + 3]) << 24);
  if (length > size - kHeaderSize) length = size - kHeaderSize;
  loaded->table = SmbiosTable{loaded->bytes + kHeaderSize, length, 0, header[kMajorVersion], header[kMinorVersion]};
  return TableLoaded;
}
