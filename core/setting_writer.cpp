#include "setting_writer.h"

#include "run_state.h"
#include "vocabulary.h"

namespace {

// Writes all `length` bytes of `text`; returns the status to report.
uint64_t write_text(CoreStream* vkf, const char* text, size_t length) {
  size_t written = length;
  uint64_t status = vkf->ops->write(vkf->handle, text, &written);
  if (status != kStreamSuccess) return status;
  return written == length ? kStreamSuccess : kShortWriteStatus;
}

}  // namespace

int write_record(const DumpRecord* record, CoreStream* vkf, uint64_t* write_status) {
  if (record == nullptr || vkf == nullptr || vkf->ops == nullptr) return 0;
  const char* section_name = nullptr;
  if (record->type != last_written_type) {
    const SectionRow* section = find_section(record->type);
    if (section == nullptr) return 0;
    last_written_type = record->type;
    section_name = section->name;
  }
  // On the stack: a record is written for every dump line, and a pool
  // allocation per record cost more than the formatting itself.
  char text[kRecordTextSize];
  size_t length = format_vkf_text(text, kRecordTextSize, section_name, record->key, record->value);
  uint64_t status = write_text(vkf, text, length);
  if (write_status != nullptr) *write_status = status;
  return 1;
}
