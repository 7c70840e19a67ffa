#include "table_verify.h"

#include "text_util.h"
#include "vocabulary.h"

namespace {

constexpr size_t kChunkSize = 512;

// Reads a stream line by line into a buffer of kVerifyLineSize bytes.
struct VkfLineReader {
  CoreStream* stream;
  uint8_t chunk[kChunkSize];
  size_t chunk_used;
  size_t chunk_size;
  bool at_end;
};

enum LineState { LineRead, LineEnd, LineTooLong, LineFailed };

// Fills the chunk when it is used up; false with *status set when the read fails.
bool refill(VkfLineReader* reader, uint64_t* status) {
  if (reader->chunk_used < reader->chunk_size || reader->at_end) return true;
  size_t size = kChunkSize;
  *status = reader->stream->ops->read(reader->stream->handle, reader->chunk, &size);
  if (*status != kStreamSuccess) return false;
  reader->chunk_used = 0;
  reader->chunk_size = size;
  reader->at_end = size == 0;
  return true;
}

// One line without its LF and a CR before it, NUL-terminated in `line`.
LineState next_vkf_line(VkfLineReader* reader, char* line, size_t* length, uint64_t* status) {
  size_t used = 0;
  for (;;) {
    if (!refill(reader, status)) return LineFailed;
    if (reader->at_end) {
      if (used == 0) return LineEnd;
      break;
    }
    const char c = static_cast<char>(reader->chunk[reader->chunk_used++]);
    if (c == '\n') break;
    if (used + 1 >= kVerifyLineSize) return LineTooLong;
    line[used++] = c;
  }
  if (used > 0 && line[used - 1] == '\r') --used;
  line[used] = '\0';
  *length = used;
  return LineRead;
}

const SectionRow* section_named(const char* name) {
  for (const SectionRow* row = SectionTable; row->name != nullptr; ++row) {
    if (text_equal_ignoring_case(row->name, name)) return row;
  }
  return nullptr;
}

const FieldRow* field_of(uint8_t type, const char* key) {
  for (const FieldRow* row = FieldTable; row->type != kNoSectionType; ++row) {
    if (row->type == type && text_equal_ignoring_case(row->key, key)) return row;
  }
  return nullptr;
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The hex digits of a number without hyphens, a trailing "h" and leading
// zeros, in upper case, at `digits`; false when anything else is there.
bool number_digits(const char* text, size_t length, char* digits, size_t* count) {
  if (length > 0 && (text[length - 1] == 'h' || text[length - 1] == 'H')) --length;
  size_t kept = 0;
  bool any = false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '-') continue;
    if (!is_hex_digit(text[i])) return false;
    any = true;
    if (kept == 0 && text[i] == '0') continue;
    digits[kept++] = fold_ascii(text[i]);
  }
  *count = kept;
  return any;
}

bool numbers_equal(const char* file_value, size_t file_length, const char* machine_value) {
  char file_digits[kVerifyLineSize];
  char machine_digits[kTableValueSize];
  size_t file_count = 0;
  size_t machine_count = 0;
  if (!number_digits(file_value, file_length, file_digits, &file_count)) return false;
  if (!number_digits(machine_value, text_length(machine_value), machine_digits, &machine_count)) return false;
  if (file_count != machine_count) return false;
  for (size_t i = 0; i < file_count; ++i) {
    if (file_digits[i] != machine_digits[i]) return false;
  }
  return true;
}

bool strings_equal(const char* file_value, size_t file_length, const char* machine_value) {
  if (file_length != text_length(machine_value)) return false;
  for (size_t i = 0; i < file_length; ++i) {
    if (file_value[i] != machine_value[i]) return false;
  }
  return true;
}

struct VerifyWalk {
  TableStructures found;
  const VerifyReport* report;
  const SectionRow* section;
  size_t oem_strings_seen;
  VerifyResult result;
};

void compare_field(VerifyWalk* walk, const FieldRow* row, const char* file_value, size_t file_length) {
  TableValue machine;
  table_value(&walk->found, row, field_repeats(row) ? walk->oem_strings_seen++ : 0, &machine);
  ++walk->result.compared;
  bool equal = machine.state == TableValuePresent &&
               (field_is_number(row) ? numbers_equal(file_value, file_length, machine.text)
                                     : strings_equal(file_value, file_length, machine.text));
  if (equal) return;
  ++walk->result.different;
  walk->report->difference(walk->report->context, walk->section->name, row->key, file_value,
                           machine.state == TableValueAbsent ? nullptr : machine.text);
}

// A header or a "Key = Value" line of a field; false when it is neither.
bool check_vkf_line(VerifyWalk* walk, char* line, size_t length) {
  if (length == 0) return true;
  if (line[0] == '[' && line[length - 1] == ']') {
    line[length - 1] = '\0';
    walk->section = section_named(line + 1);
    return walk->section != nullptr;
  }
  size_t at = 0;
  while (at + 3 <= length && !(line[at] == ' ' && line[at + 1] == '=' && line[at + 2] == ' ')) ++at;
  if (at + 3 > length || walk->section == nullptr) return false;
  line[at] = '\0';
  const FieldRow* row = field_of(walk->section->type, line);
  if (row == nullptr) return false;
  compare_field(walk, row, line + at + 3, length - at - 3);
  return true;
}

}  // namespace

VerifyResult run_table_verify(const SmbiosTable* table, CoreStream* vkf, const VerifyReport* report) {
  VerifyWalk walk = {};
  walk.report = report;
  find_structures(table, &walk.found);
  VkfLineReader reader = {vkf, {}, 0, 0, false};
  char line[kVerifyLineSize];
  uint64_t status = vkf->ops->set_position(vkf->handle, 0);
  for (size_t number = 1; status == kStreamSuccess; ++number) {
    size_t length = 0;
    const LineState state = next_vkf_line(&reader, line, &length, &status);
    if (state == LineEnd || state == LineFailed) break;
    if (state == LineTooLong || !check_vkf_line(&walk, line, length)) {
      walk.result.outcome = VerifyNotVkf;
      walk.result.line = number;
      return walk.result;
    }
  }
  if (status != kStreamSuccess) {
    walk.result.outcome = VerifyReadError;
    walk.result.read_status = status;
    return walk.result;
  }
  walk.result.outcome = walk.result.different != 0 ? VerifyDifferent : VerifyEqual;
  if (walk.result.compared == 0) walk.result.outcome = VerifyNoField;
  return walk.result;
}
