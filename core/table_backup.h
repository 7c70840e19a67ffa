// Backing up a machine's SMBIOS strings: the records of its table written
// to the VKF file in the field table's order, as the dump route writes them.
#ifndef QORVEX_CORE_TABLE_BACKUP_H
#define QORVEX_CORE_TABLE_BACKUP_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"
#include "smbios_table.h"
#include "vocabulary.h"

// Notices of a backup or a verify that the front end prints even when quiet:
// they say that the machine's data could not be taken exactly as stored.
struct TableNotices {
  // A CR or LF in the value of the field was written as a blank.
  void (*line_break)(void* context, const char* section, const char* key);
  // The structure at byte `offset` of the table runs past its end: the
  // fields from there on were not read.
  void (*cut_short)(void* context, size_t offset);
  void* context;
};

enum BackupOutcome {
  BackupCompleted,     // every record was written
  BackupNoField,       // the table holds none of the fields
  BackupValueTooLong,  // `field` holds a string too long for a VKF line; nothing after it was written
  BackupWriteFailed,   // a record could not be written; see write_status
  BackupOutOfMemory,   // a record could not be formatted for lack of memory
};

struct BackupResult {
  BackupOutcome outcome;
  uint64_t write_status;  // the failed write's status, kShortWriteStatus for a short one
  const FieldRow* field;  // for BackupValueTooLong
  size_t records;         // records written
};

// Writes the records of `table` to `vkf` (positioned at 0 first), tracing
// each on the console unless `quiet`. Stops at the first record that cannot
// be written whole, so that what is on disk is a leading part, never a file
// with a gap. Does not print the done message: the front end does that once
// the file is in place.
BackupResult run_table_backup(const SmbiosTable* table, CoreStream* vkf, bool quiet, const ConsoleOps* console,
                              const TableNotices* notices);

#endif  // QORVEX_CORE_TABLE_BACKUP_H
