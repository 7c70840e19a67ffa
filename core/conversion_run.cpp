#include "conversion_run.h"

#include "dump_parser.h"
#include "dump_record.h"
#include "line_reader.h"
#include "run_state.h"
#include "setting_writer.h"
#include "vocabulary.h"

namespace {

constexpr uint8_t kByteOrderMark[2] = {0xFF, 0xFE};

// Reads the first two bytes and selects the dump's encoding. Returns false
// with `result` filled when the run must end here.
bool detect_encoding(CoreStream* dump, RunResult* result) {
  uint8_t mark[2] = {0, 0};
  size_t got = sizeof(mark);
  uint64_t status = dump->ops->read(dump->handle, mark, &got);
  if (status != kStreamSuccess) {
    result->outcome = RunReadError;
    result->read_status = status;
    return false;
  }
  if (got < sizeof(mark)) {
    result->outcome = RunDumpTooShort;
    return false;
  }
  if (mark[0] == kByteOrderMark[0] && mark[1] == kByteOrderMark[1]) {
    text_is_8bit = false;
    return true;
  }
  // 8-bit text starts at byte 0: missing its first two bytes, the first
  // line would be cut.
  status = dump->ops->set_position(dump->handle, 0);
  if (status != kStreamSuccess) {
    result->outcome = RunReadError;
    result->read_status = status;
    return false;
  }
  text_is_8bit = true;
  return true;
}

void release_record(DumpRecord* record) {
  release_memory(record->code);
  release_memory(record->key);
  release_memory(record->value);
}

// Traces and writes one parsed record. Returns false with `result` filled
// when the record could not be written whole.
bool convert_record(DumpRecord* record, CoreStream* vkf, bool quiet, const ConsoleOps* console, RunResult* result) {
  uint64_t status = kStreamSuccess;
  const RecordOutcome outcome = trace_and_write_record(record, vkf, quiet, console, &status);
  release_record(record);
  return count_record(outcome, status, result, &result->records_written, RunOutOfMemory, RunWriteError);
}

}  // namespace

RunResult run_conversion(CoreStream* dump, CoreStream* vkf, char* line_buffer, bool quiet, const ConsoleOps* console) {
  RunResult result = {RunCompleted, kStreamSuccess, kStreamSuccess, 0};
  // Both streams come freshly opened, so they already stand at 0; a failure
  // here would show up in the first read or write, which are checked.
  (void)dump->ops->set_position(dump->handle, 0);
  (void)vkf->ops->set_position(vkf->handle, 0);
  if (!detect_encoding(dump, &result)) return result;
  if (!quiet) console->progress(console->context);

  // One run per process; see kReadWindowSize.
  static uint8_t window[kReadWindowSize];
  LineReader reader;
  start_line_reader(&reader, dump, window, sizeof(window));
  for (;;) {
    uint64_t status = kStreamSuccess;
    const DumpLine line = next_line(&reader, line_buffer, &status);
    if (status != kStreamSuccess) {
      result.outcome = RunReadError;
      result.read_status = status;
      return result;
    }
    if (line.characters == 0) break;
    DumpRecord record = {};
    // A line is read as a C string: it ends at its first NUL.
    ParseOutcome parsed = parse_text(line.text, line.text_length, &record);
    if (parsed == ParseRecord && !convert_record(&record, vkf, quiet, console, &result)) return result;
    if (parsed == ParseOutOfMemory) {
      result.outcome = RunOutOfMemory;
      return result;
    }
  }
  if (result.records_written == 0) result.outcome = RunNoFields;
  return result;
}
