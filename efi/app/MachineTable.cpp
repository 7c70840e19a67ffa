#include "MachineTable.h"

#include "FileIO.h"
#include "Guids.h"
#include "Mem.h"
#include "Misc.h"

namespace {

// The configuration tables to look for, the preferred one first, and the
// length of the entry point each points at.
struct EntryPointTable {
  const EFI_GUID* Guid;
  UINTN EntryLength;
};

constexpr EntryPointTable kEntryPointTables[] = {
    {&gEfiSmbios3TableGuid, 0x18},
    {&gEfiSmbiosTableGuid, 0x1F},
};

const VOID* FindConfigurationTable(const EFI_SYSTEM_TABLE* SystemTable, const EFI_GUID* Guid) {
  for (UINTN i = 0; i < SystemTable->NumberOfTableEntries; ++i) {
    if (LibGuidCompare(&SystemTable->ConfigurationTable[i].VendorGuid, Guid) == 0) {
      return SystemTable->ConfigurationTable[i].VendorTable;
    }
  }
  return nullptr;
}

}  // namespace

EFI_STATUS FindFirmwareTable(const EFI_SYSTEM_TABLE* SystemTable, SmbiosTable* Table) {
  for (const EntryPointTable& kind : kEntryPointTables) {
    const auto* entry = static_cast<const UINT8*>(FindConfigurationTable(SystemTable, kind.Guid));
    if (entry == nullptr) continue;
    // The firmware's memory is mapped one to one: the table is at its address,
    // as long as the entry point says.
    SmbiosEntryPoint point = {};
    if (!read_entry_point(entry, kind.EntryLength, &point)) return EFI_CRC_ERROR;
    const auto* bytes = reinterpret_cast<const UINT8*>(static_cast<UINTN>(point.table_address));
    *Table = SmbiosTable{bytes, point.table_length, point.structure_count, point.major, point.minor};
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS LoadTableFile(EFI_FILE_PROTOCOL* File, UINT8** Bytes, SmbiosTable* Table) {
  EFI_FILE_INFO* info = FileQueryInfo(File);
  if (info == nullptr) return EFI_LOAD_ERROR;
  const bool directory = (info->Attribute & EFI_FILE_DIRECTORY) != 0;
  const UINT64 fileSize = info->FileSize;
  ReleasePool(info);
  if (directory) return EFI_LOAD_ERROR;
  UINTN size = static_cast<UINTN>(fileSize);
  *Bytes = static_cast<UINT8*>(AllocatePool(size + 1));
  if (*Bytes == nullptr) return EFI_OUT_OF_RESOURCES;
  for (UINTN done = 0; done < size;) {
    UINTN chunk = size - done;
    EFI_STATUS status = FileRead(File, &chunk, *Bytes + done);
    if (EFI_ERROR(status)) return status;
    if (chunk == 0) size = done;  // the file ended before its stated size
    done += chunk;
  }
  const UINTN entrySize = size < kTableFileTableOffset ? size : kTableFileTableOffset;
  SmbiosEntryPoint point = {};
  if (!read_entry_point(*Bytes, entrySize, &point)) return EFI_CRC_ERROR;
  // As much of the table as the entry point states and the file holds.
  const UINTN tableSize = size - entrySize < point.table_length ? size - entrySize : point.table_length;
  *Table = SmbiosTable{*Bytes + entrySize, tableSize, point.structure_count, point.major, point.minor};
  return EFI_SUCCESS;
}
