// The running machine's table on Linux: the kernel's copies of the entry
// point and the structure table in sysfs, which only root may read.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include "machine_table.h"

namespace {

constexpr char kEntryPointFile[] = "/sys/firmware/dmi/tables/smbios_entry_point";
constexpr char kTableFile[] = "/sys/firmware/dmi/tables/DMI";

// Reads the file `name`; the load's result when it fails.
TableLoad read_sysfs_file(const char* name, uint8_t** bytes, size_t* size) {
  errno = 0;
  FILE* file = fopen(name, "rb");
  if (file == nullptr) {
    if (errno == EACCES || errno == EPERM) return TableNeedsRoot;
    return errno == ENOENT ? TableUnavailable : TableOpenFailed;
  }
  const bool read = read_whole_file(file, bytes, size);
  fclose(file);
  if (read) return TableLoaded;
  return errno == ENOMEM ? TableNoMemory : TableOpenFailed;
}

}  // namespace

TableLoad load_machine_table(MachineTable* loaded) {
  loaded->failed_name = kEntryPointFile;
  uint8_t* entry_bytes = nullptr;
  size_t entry_size = 0;
  TableLoad load = read_sysfs_file(kEntryPointFile, &entry_bytes, &entry_size);
  if (load != TableLoaded) return load;
  SmbiosEntryPoint entry = {};
  const bool valid = read_entry_point(entry_bytes, entry_size, &entry);
  free(entry_bytes);
  if (!valid) return TableNoEntryPoint;
  loaded->failed_name = kTableFile;
  size_t size = 0;
  load = read_sysfs_file(kTableFile, &loaded->bytes, &size);
  if (load != TableLoaded) return load;
  if (size > entry.table_length) size = entry.table_length;
  loaded->table = SmbiosTable{loaded->bytes, size, entry.structure_count, entry.major, entry.minor};
  return TableLoaded;
}
