// Writes records to the VKF setting file: a "[Section]" header line whenever
// the record's type differs from the last header written, then one
// "Key = Value" line; every line ends with CR LF.
#ifndef QORVEX_CORE_SETTING_WRITER_H
#define QORVEX_CORE_SETTING_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"
#include "dump_record.h"
#include "text_util.h"
#include "vocabulary.h"

// Size of the text buffer of one record. It holds the longest record that a
// 255-character dump line can give (a new header, the key and a value that
// fills the rest of the line) even when every value byte comes out as two:
// the UEFI formatter writes each line feed byte of a value as CR LF. The
// bound is checked against the tables at compile time.
constexpr size_t kRecordTextSize = 640;

// The length of the longest record text a field of `row` gives with a value
// of `value_length` bytes: a new "[Section]" header, then "Key = Value",
// each line ended by CR LF, with every value byte counted twice. Checked
// against kRecordTextSize for every source of values at compile time.
constexpr size_t longest_record_text(const FieldRow& row, size_t value_length) {
  size_t section = 0;
  for (const SectionRow& named : SectionTable) {
    if (named.type == row.type && named.name != nullptr) section = text_length(named.name);
  }
  return section + 4 + text_length(row.key) + 3 + 2 * value_length + 2;
}

// Returns true when the record's text was handed to the stream, false when
// nothing was written: a missing argument, a type without a section, or a
// text that could not be formatted whole (the front end's formatter ran out
// of memory). `last_written_type` is updated once the text is formatted and
// before the write, so a header whose write failed is not repeated for the
// next record, while a header that was never formatted is still owed.
// When `write_status` is given it receives the write's status:
// kStreamSuccess, the stream's failure status, or kShortWriteStatus for a
// short write reported as success. It is not written when nothing was written.
bool write_record(const DumpRecord* record, CoreStream* vkf, uint64_t* write_status = nullptr);

// What became of one record that a run traced and wrote.
enum RecordOutcome {
  RecordWritten,       // handed whole to the stream
  RecordNotFormatted,  // the formatter ran out of memory; nothing was written
  RecordWriteFailed,   // the write failed or stored less; see *write_status
};

// Prints the record's trace line unless `quiet`, then writes it. Every run
// that writes records (the dump's and the SMBIOS table's) goes through here,
// so both trace and fail alike.
RecordOutcome trace_and_write_record(const DumpRecord* record, CoreStream* vkf, bool quiet, const ConsoleOps* console,
                                     uint64_t* write_status);

// Counts a record that `outcome` says was written in `*written`, or gives
// the run's `result` the outcome that tells why it was not written whole
// (for a failed write, with its status); returns whether it was written.
template <typename Result, typename Outcome>
bool count_record(RecordOutcome outcome, uint64_t write_status, Result* result, size_t* written, Outcome not_formatted,
                  Outcome write_failed) {
  if (outcome == RecordWritten) {
    ++*written;
    return true;
  }
  result->outcome = outcome == RecordNotFormatted ? not_formatted : write_failed;
  if (outcome == RecordWriteFailed) result->write_status = write_status;
  return false;
}

#endif  // QORVEX_CORE_SETTING_WRITER_H
