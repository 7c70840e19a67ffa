#include "vocabulary.h"

#include <stddef.h>

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

static_assert(every_field_has_section(), "a FieldTable type has no SectionTable row");
static_assert(SectionTable[sizeof(SectionTable) / sizeof(SectionTable[0]) - 1].type ==
                  kNoSectionType,
              "SectionTable must end with its end marker");
static_assert(FieldTable[sizeof(FieldTable) / sizeof(FieldTable[0]) - 1].type == kNoSectionType,
              "FieldTable must end with its end marker");

constexpr size_t kFieldCount = sizeof(FieldTable) / sizeof(FieldTable[0]) - 1;

// A code of at most 8 characters as one number, its letters a to z folded
// to A to Z, so that equal numbers mean codes equal without regard to case.
// Returns false for a longer code, which no field has.
constexpr bool code_key(const char* code, uint64_t* key) {
  uint64_t packed = 0;
  for (size_t i = 0; code[i] != '\0'; ++i) {
    if (i == sizeof(packed)) return false;
    const char c = code[i] >= 'a' && code[i] <= 'z' ? static_cast<char>(code[i] - 'a' + 'A') : code[i];
    packed |= static_cast<uint64_t>(static_cast<uint8_t>(c)) << (8 * i);
  }
  *key = packed;
  return true;
}

// The key of every FieldTable code, in table order.
struct CodeKeys {
  uint64_t keys[kFieldCount];
};

constexpr CodeKeys make_code_keys() {
  CodeKeys table = {};
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (!code_key(FieldTable[i].code, &table.keys[i])) table.keys[i] = 0;
  }
  return table;
}

constexpr CodeKeys kCodeKeys = make_code_keys();

constexpr bool every_code_has_a_key() {
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (kCodeKeys.keys[i] == 0) return false;
  }
  return true;
}

static_assert(every_code_has_a_key(), "a FieldTable code is empty or longer than 8 characters");

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
  uint64_t key = 0;
  if (!code_key(code, &key)) return nullptr;
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (kCodeKeys.keys[i] == key) return &FieldTable[i];
  }
  return nullptr;
}
