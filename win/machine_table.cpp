#include "machine_table.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kFirstBlock = 64 * 1024;
// Far beyond any real table; keeps a wrong file from taking all memory.
constexpr size_t kLargestFile = 64 * 1024 * 1024;

}  // namespace

bool read_whole_file(FILE* file, uint8_t** bytes, size_t* size) {
  size_t capacity = kFirstBlock;
  size_t used = 0;
  uint8_t* buffer = static_cast<uint8_t*>(malloc(capacity));
  while (buffer != nullptr) {
    used += fread(buffer + used, 1, capacity - used, file);
    if (ferror(file)) break;
    if (used < capacity) {
      *bytes = buffer;
      *size = used;
      return true;
    }
    uint8_t* larger = capacity < kLargestFile ? static_cast<uint8_t*>(realloc(buffer, capacity * 2)) : nullptr;
    if (larger == nullptr) {
      errno = ENOMEM;
      break;
    }
    buffer = larger;
    capacity *= 2;
  }
  free(buffer);
  return false;
}

TableLoad load_table_file(const char* name, FILE* file, MachineTable* loaded) {
  loaded->failed_name = name;
  size_t size = 0;
  errno = 0;
  if (!read_whole_file(file, &loaded->bytes, &size)) return errno == ENOMEM ? TableNoMemory : TableOpenFailed;
  SmbiosEntryPoint entry = {};
  const size_t entry_size = size < kTableFileTableOffset ? size : kTableFileTableOffset;
  if (!read_entry_point(loaded->bytes, entry_size, &entry)) return TableNoEntryPoint;
  size_t table_size = size - entry_size;
  if (table_size > entry.table_length) table_size = entry.table_length;
  loaded->table = SmbiosTable{loaded->bytes + entry_size, table_size, entry.structure_count, entry.major, entry.minor};
  return TableLoaded;
}

void release_machine_table(MachineTable* loaded) {
  free(loaded->bytes);
  loaded->bytes = nullptr;
}
