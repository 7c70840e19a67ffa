#include "setting_writer.h"

#include "line_reader.h"
#include "run_state.h"
#include "text_util.h"
#include "vocabulary.h"

namespace {

// The longest record text any field line can give: "(/", the code, ")" and
// the two quotes leave the rest of the line to the value.
constexpr size_t longest_dump_record() {
  size_t longest = 0;
  for (const FieldRow& row : FieldTable) {
    if (row.type == kNoSectionType) break;
    const size_t record = longest_record_text(row, (kLineBufferSize - 1) - (3 + text_length(row.code)) - 2);
    if (record > longest) longest = record;
  }
  return longest;
}

static_assert(longest_dump_record() < kRecordTextSize, "kRecordTextSize cannot hold the longest record");

// Writes all `length` bytes of `text`; returns the status to report.
uint64_t write_text(CoreStream* vkf, const char* text, size_t length) {
  size_t written = length;
  uint64_t status = vkf->ops->write(vkf->handle, text, &written);
  if (status != kStreamSuccess) return status;
  return written == length ? kStreamSuccess : kShortWriteStatus;
}

}  // namespace

RecordOutcome trace_and_write_record(const DumpRecord* record, CoreStream* vkf, bool quiet, const ConsoleOps* console,
                                     uint64_t* write_status) {
  if (!quiet) {
    const SectionRow* section = find_section(record->type);
    console->trace(console->context, record->type, section != nullptr ? section->name : "", record->code, record->key,
                   record->value);
  }
  *write_status = kStreamSuccess;
  // Every record of a run has a section, so a record that was not written
  // could not be formatted: the front end's formatter ran out of memory.
  if (!write_record(record, vkf, write_status)) return RecordNotFormatted;
  return *write_status == kStreamSuccess ? RecordWritten : RecordWriteFailed;
}

bool write_record(const DumpRecord* record, CoreStream* vkf, uint64_t* write_status) {
  if (record == nullptr || vkf == nullptr || vkf->ops == nullptr) return false;
  const char* section_name = nullptr;
  if (record->type != last_written_type) {
    const SectionRow* section = find_section(record->type);
    if (section == nullptr) return false;
    section_name = section->name;
  }
  // On the stack: a record is written for every dump line, and a pool
  // allocation per record cost more than the formatting itself.
  char text[kRecordTextSize];
  size_t length = format_vkf_text(text, kRecordTextSize, section_name, record->key, record->value);
  if (length == 0) return false;
  if (section_name != nullptr) last_written_type = record->type;
  uint64_t status = write_text(vkf, text, length);
  if (write_status != nullptr) *write_status = status;
  return true;
}
