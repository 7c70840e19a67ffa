#include "table_backup.h"

#include "dump_record.h"
#include "setting_writer.h"

namespace {

// Traces and writes one record; false when the run must stop, with `result` saying why.
bool back_up_value(const FieldRow* row, TableValue* value, CoreStream* vkf, bool quiet, const ConsoleOps* console,
                   const TableNotices* notices, BackupResult* result) {
  const char* section = find_section(row->type)->name;
  if (value->state == TableValueTooLong) {
    result->outcome = BackupValueTooLong;
    result->field = row;
    return false;
  }
  if (value->line_break_replaced) notices->line_break(notices->context, section, row->key);
  // The writer only reads the record's strings.
  DumpRecord record = {row->type, const_cast<char*>(row->code), const_cast<char*>(row->key), value->text};
  uint64_t status = kStreamSuccess;
  const RecordOutcome outcome = trace_and_write_record(&record, vkf, quiet, console, &status);
  return count_record(outcome, status, result, &result->records, BackupOutOfMemory, BackupWriteFailed);
}

// Writes every record of `row`: one, none, or one per OEM string.
bool back_up_field(const TableStructures* found, const FieldRow* row, CoreStream* vkf, bool quiet,
                   const ConsoleOps* console, const TableNotices* notices, BackupResult* result) {
  for (size_t string_index = 0;; ++string_index) {
    TableValue value;
    table_value(found, row, string_index, &value);
    if (value.state == TableValueAbsent) return true;
    if (!back_up_value(row, &value, vkf, quiet, console, notices, result)) return false;
    if (!field_repeats(row)) return true;
  }
}

}  // namespace

BackupResult run_table_backup(const SmbiosTable* table, CoreStream* vkf, bool quiet, const ConsoleOps* console,
                              const TableNotices* notices) {
  BackupResult result = {BackupCompleted, kStreamSuccess, nullptr, 0};
  TableStructures found;
  find_structures(table, &found);
  // A fresh file stands at 0; a failure here shows up in the first write.
  (void)vkf->ops->set_position(vkf->handle, 0);
  for (const FieldRow* row = FieldTable; row->type != kNoSectionType; ++row) {
    if (!back_up_field(&found, row, vkf, quiet, console, notices, &result)) break;
  }
  if (found.cut_short) notices->cut_short(notices->context, found.cut_offset);
  if (result.outcome == BackupCompleted && result.records == 0) result.outcome = BackupNoField;
  return result;
}
