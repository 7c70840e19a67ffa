// Writes records to the VKF setting file: a "[Section]" header line whenever
// the record's type differs from the last header written, then one
// "Key = Value" line; every line ends with CR LF.
#ifndef QORVEX_CORE_SETTING_WRITER_H
#define QORVEX_CORE_SETTING_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"
#include "dump_record.h"

// Size of the text buffer of one record. The longest record that a 255
// character dump line can produce (a new [BaseBoard] header and a
// LocInChassis value) needs under 300 bytes, so no record is ever cut.
constexpr size_t kRecordTextSize = 512;

// Returns 1 when the record's text was handed to the stream, 0 when nothing
// was written (missing argument, or a type without a section).
// `last_written_type` is updated before the write, so a header whose write
// failed is not repeated for the next record. When `write_status` is given
// it receives the write's status: kStreamSuccess, the stream's failure
// status, or kShortWriteStatus for a short write reported as success.
int write_record(const DumpRecord* record, CoreStream* vkf, uint64_t* write_status = nullptr);

#endif  // QORVEX_CORE_SETTING_WRITER_H
