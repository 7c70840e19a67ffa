#include "dump_parser.h"

#include "binding.h"
#include "text_util.h"
#include "vocabulary.h"

namespace {

// Lines shorter than this cannot be field lines.
constexpr size_t kShortestFieldLine = 10;
// Field codes are 1 to 5 characters long.
constexpr size_t kLongestCode = 5;
// "(/" before the code.
constexpr size_t kCodeStart = 2;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Characters of a line, not NUL-terminated.
struct TextSpan {
  const char* text;
  size_t length;
};

TextSpan without_blanks(TextSpan line) {
  while (line.length > 0 && is_blank(line.text[0])) {
    ++line.text;
    --line.length;
  }
  while (line.length > 0 && is_blank(line.text[line.length - 1])) --line.length;
  return line;
}

// Where the parts of a field line lie inside the trimmed line.
struct FieldLineShape {
  size_t code_length;
  size_t open_quote;
  size_t close_quote;
};

// Checks the outer shape of a trimmed line: "(/", a code closed by the first
// ')', and two distinct double quotes.
bool find_field_line_shape(TextSpan line, FieldLineShape* shape) {
  if (line.length < kShortestFieldLine) return false;
  if (line.text[0] != '(' || line.text[1] != '/') return false;
  // The code ends at the first ')'; one further on than the longest code
  // reaches is too late anyway. (A field line is longer than that reach.)
  static_assert(kShortestFieldLine > kCodeStart + kLongestCode, "the code's reach lies in the line");
  size_t close = kCodeStart;
  while (close <= kCodeStart + kLongestCode && line.text[close] != ')') ++close;
  if (close == kCodeStart || close > kCodeStart + kLongestCode) return false;
  const size_t open_quote = find_char(line.text, line.length, '"');
  const size_t close_quote = find_last_char(line.text, line.length, '"');
  if (open_quote == line.length || close_quote <= open_quote) return false;
  shape->code_length = close - kCodeStart;
  shape->open_quote = open_quote;
  shape->close_quote = close_quote;
  return true;
}

}  // namespace

void trim_blanks(char* text) {
  TextSpan trimmed = without_blanks(TextSpan{text, text_length(text)});
  for (size_t i = 0; i < trimmed.length; ++i) text[i] = trimmed.text[i];
  text[trimmed.length] = '\0';
}

ParseOutcome parse_text(const char* line, size_t length, DumpRecord* record) {
  if (line == nullptr || record == nullptr) return ParseSkipped;
  const TextSpan text = without_blanks(TextSpan{line, length});
  FieldLineShape shape;
  if (!find_field_line_shape(text, &shape)) return ParseSkipped;
  // The code is looked up before anything is allocated, so that only a
  // field line can run out of memory.
  const char* code_text = text.text + kCodeStart;
  const FieldRow* row = find_field(code_text, shape.code_length);
  if (row == nullptr) return ParseSkipped;

  *record = DumpRecord{};
  const char* value_text = text.text + shape.open_quote + 1;
  size_t value_length = shape.close_quote - shape.open_quote - 1;
  if (row->strip_h != 0 && value_length > 0 && value_text[value_length - 1] == 'h') --value_length;
  char* code = duplicate_text(code_text, shape.code_length);
  char* key = duplicate_text(row->key, field_key_length(row));
  char* value = duplicate_text(value_text, value_length);
  if (code == nullptr || key == nullptr || value == nullptr) {
    release_memory(code);
    release_memory(key);
    release_memory(value);
    return ParseOutOfMemory;
  }

  record->type = row->type;
  record->code = code;
  record->key = key;
  record->value = value;
  return ParseRecord;
}

ParseOutcome parse_line(const char* line, DumpRecord* record) {
  if (line == nullptr) return ParseSkipped;
  return parse_text(line, text_length(line), record);
}
