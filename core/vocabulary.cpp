#include "vocabulary.h"

#include "text_util.h"

namespace {

// Every field's type must have a section, or its records could never be
// written; checked here so that a table edit cannot break it silently.
constexpr bool has_section(uint8_t type) {
  for (const SectionRow& row : SectionTable) {
    if (row.type == type) return true;
  }
  return false;
}

constexpr bool every_field_has_section() {
  for (const FieldRow& row : FieldTable) {
    if (row.type != kNoSectionType && !has_section(row.type)) return false;
  }
  return true;
}

// find_field's first-character test relies on this.
constexpr bool every_code_starts_upper_case() {
  for (const FieldRow& row : FieldTable) {
    if (row.type != kNoSectionType && !(row.code[0] >= 'A' && row.code[0] <= 'Z')) return false;
  }
  return true;
}

static_assert(every_field_has_section(), "a FieldTable type has no SectionTable row");
static_assert(every_code_starts_upper_case(), "a FieldTable code must start with A to Z");
static_assert(SectionTable[sizeof(SectionTable) / sizeof(SectionTable[0]) - 1].type ==
                  kNoSectionType,
              "SectionTable must end with its end marker");
static_assert(FieldTable[sizeof(FieldTable) / sizeof(FieldTable[0]) - 1].type == kNoSectionType,
              "FieldTable must end with its end marker");

}  // namespace

const SectionRow* find_section(uint8_t type) {
  if (type == kNoSectionType) return nullptr;
  for (const SectionRow* row = SectionTable; row->type != kNoSectionType; ++row) {
    if (row->type == type) return row;
  }
  return nullptr;
}

const FieldRow* find_field(const char* code) {
  if (code == nullptr) return nullptr;
  for (const FieldRow* row = FieldTable; row->type != kNoSectionType; ++row) {
    // Every code starts with an upper-case letter: a cheap first test.
    if (row->code[0] != (code[0] & ~0x20)) continue;
    if (text_equal_ignoring_case(row->code, code)) return row;
  }
  return nullptr;
}
