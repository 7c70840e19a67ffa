// Where qorvexw gets an SMBIOS table from: a table file in the format of
// `dmidecode --dump-bin`, or the running machine (machine_table-posix.cpp
// reads Linux's sysfs copy, machine_table-win32.cpp asks Windows).
#ifndef QORVEX_WIN_MACHINE_TABLE_H
#define QORVEX_WIN_MACHINE_TABLE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "smbios_table.h"

enum TableLoad {
  TableLoaded,
  TableOpenFailed,    // `failed_name` could not be opened or read
  TableNeedsRoot,     // the machine's table is there, but only root may read it
  TableUnavailable,   // the machine publishes no table qorvexw can reach
  TableNoEntryPoint,  // `failed_name` holds no valid entry point
  TableNoMemory,
};

// A table in memory. `bytes` is a block of malloc that release_machine_table frees.
struct MachineTable {
  uint8_t* bytes;
  SmbiosTable table;
  const char* failed_name;  // the file a failed load is about
};

// Reads all of `file` into a new malloc block; false on a read error or
// without memory (errno tells which).
bool read_whole_file(FILE* file, uint8_t** bytes, size_t* size);

// Loads the table file `name`, already open as `file`: the entry point at
// 0, the table at kTableFileTableOffset, as long as the entry point says or
// as the file holds, whichever is less.
TableLoad load_table_file(const char* name, FILE* file, MachineTable* loaded);

// Loads the table of the machine qorvexw runs on.
TableLoad load_machine_table(MachineTable* loaded);

void release_machine_table(MachineTable* loaded);

#endif  // QORVEX_WIN_MACHINE_TABLE_H
