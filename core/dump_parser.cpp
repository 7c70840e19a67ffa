#include "dump_parser.h"

#include <stddef.h>

#include "binding.h"
#include "text_util.h"
#include "vocabulary.h"

namespace {

// Lines shorter than this cannot be field lines.
constexpr size_t kShortestFieldLine = 10;
// Field codes are 1 to 5 characters long.
constexpr size_t kLongestCode = 5;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Where the parts of a field line lie inside the trimmed line.
struct FieldLineShape {
  size_t code_length;
  char* open_quote;
  char* close_quote;
};

// Checks the outer shape of a trimmed line: "(/", a code closed by the first
// ')', and two distinct double quotes.
bool find_field_line_shape(char* line, FieldLineShape* shape) {
  if (text_length(line) < kShortestFieldLine) return false;
  if (line[0] != '(' || line[1] != '/') return false;
  char* close = find_first_char(line, ')');
  if (close == nullptr || close - line <= 2) return false;
  size_t code_length = static_cast<size_t>(close - line) - 2;
  if (code_length > kLongestCode) return false;
  char* open_quote = find_first_char(line, '"');
  char* close_quote = find_last_char(line, '"');
  if (open_quote == nullptr || close_quote == nullptr || close_quote <= open_quote) return false;
  shape->code_length = code_length;
  shape->open_quote = open_quote;
  shape->close_quote = close_quote;
  return true;
}

}  // namespace

void trim_blanks(char* text) {
  size_t first = 0;
  while (is_blank(text[first])) ++first;
  size_t length = 0;
  if (first == 0) {
    length = text_length(text);
  } else {
    for (; text[first + length] != '\0'; ++length) text[length] = text[first + length];
  }
  while (length > 0 && is_blank(text[length - 1])) --length;
  text[length] = '\0';
}

ParseOutcome parse_line(char* line, DumpRecord* record) {
  if (line == nullptr || record == nullptr) return ParseSkipped;
  trim_blanks(line);
  FieldLineShape shape;
  if (!find_field_line_shape(line, &shape)) return ParseSkipped;
  // The code is looked up before anything is allocated, so that only a
  // field line can run out of memory.
  char code_text[kLongestCode + 1] = {};
  copy_text(code_text, line + 2, shape.code_length);
  const FieldRow* row = find_field(code_text);
  if (row == nullptr) return ParseSkipped;

  *record = DumpRecord{};
  const size_t value_length = static_cast<size_t>(shape.close_quote - shape.open_quote) - 1;
  char* code = duplicate_text(code_text);
  char* key = duplicate_text(row->key);
  char* value = static_cast<char*>(alloc_zeroed(value_length + 1));
  if (code == nullptr || key == nullptr || value == nullptr) {
    release_memory(code);
    release_memory(key);
    release_memory(value);
    return ParseOutOfMemory;
  }
  if (row->strip_h != 0 && shape.close_quote[-1] == 'h') shape.close_quote[-1] = '\0';
  copy_text(value, shape.open_quote + 1, value_length);

  record->type = row->type;
  record->code = code;
  record->key = key;
  record->value = value;
  return ParseRecord;
}
