#include "vocabulary.h"

#include <stddef.h>

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

static_assert(every_field_has_section(), "a FieldTable type has no SectionTable row");
static_assert(SectionTable[sizeof(SectionTable) / sizeof(SectionTable[0]) - 1].type == kNoSectionType,
              "SectionTable must end with its end marker");
static_assert(FieldTable[sizeof(FieldTable) / sizeof(FieldTable[0]) - 1].type == kNoSectionType,
              "FieldTable must end with its end marker");

constexpr size_t kFieldCount = sizeof(FieldTable) / sizeof(FieldTable[0]) - 1;
constexpr size_t kSectionCount = sizeof(SectionTable) / sizeof(SectionTable[0]) - 1;

constexpr size_t type_count() {
  size_t count = 0;
  for (size_t i = 0; i < kSectionCount; ++i) {
    if (SectionTable[i].type >= count) count = SectionTable[i].type + 1;
  }
  return count;
}

// SectionTable row index plus one for every type up to the largest; 0 for a
// type without a section. A record's section is one look into it.
constexpr size_t kTypeCount = type_count();
static_assert(kSectionCount < 256, "a SectionsByType entry holds a row index plus one in a byte");
struct SectionsByType {
  uint8_t rows[kTypeCount];
};

constexpr SectionsByType make_sections_by_type() {
  SectionsByType table = {};
  // From the last row to the first, so that the first row of a type wins.
  for (size_t i = kSectionCount; i > 0; --i) table.rows[SectionTable[i - 1].type] = static_cast<uint8_t>(i);
  return table;
}

constexpr SectionsByType kSectionsByType = make_sections_by_type();

// A code of at most 8 characters (none of them NUL) as one number, its
// letters a to z folded to A to Z, so that equal numbers mean codes equal
// without regard to case. Returns false for a longer code, which no field has.
constexpr bool code_key(const char* code, size_t length, uint64_t* key) {
  if (length > sizeof(*key)) return false;
  uint64_t packed = 0;
  for (size_t i = 0; i < length; ++i) {
    const char c = fold_ascii(code[i]);
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
    if (!code_key(FieldTable[i].code, text_length(FieldTable[i].code), &table.keys[i])) {
      table.keys[i] = 0;
    }
  }
  return table;
}

constexpr CodeKeys kCodeKeys = make_code_keys();

constexpr bool every_code_has_its_own_key() {
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (kCodeKeys.keys[i] == 0) return false;
    for (size_t j = 0; j < i; ++j) {
      if (kCodeKeys.keys[j] == kCodeKeys.keys[i]) return false;
    }
  }
  return true;
}

static_assert(every_code_has_its_own_key(), "a FieldTable code is empty, longer than 8 characters or there twice");

// Every code key has a slot of its own in a table of kSlotBits bits, found
// by one multiplication: a lookup is one comparison, not a search of the
// table. The multiplier is searched for at compile time.
constexpr unsigned kSlotBits = 6;
constexpr size_t kSlotCount = size_t{1} << kSlotBits;

constexpr size_t slot_of(uint64_t key, uint64_t multiplier) {
  return static_cast<size_t>((key * multiplier) >> (64 - kSlotBits));
}

constexpr bool slots_are_distinct(uint64_t multiplier) {
  bool taken[kSlotCount] = {};
  for (uint64_t key : kCodeKeys.keys) {
    if (taken[slot_of(key, multiplier)]) return false;
    taken[slot_of(key, multiplier)] = true;
  }
  return true;
}

// The first odd multiplier from a golden-ratio start that gives distinct
// slots; 0 when none of the first thousand does.
constexpr uint64_t find_multiplier() {
  for (uint64_t multiplier = 0x9E3779B97F4A7C15ull, tries = 0; tries < 1000; multiplier += 2, ++tries) {
    if (slots_are_distinct(multiplier)) return multiplier;
  }
  return 0;
}

constexpr uint64_t kSlotMultiplier = find_multiplier();
static_assert(kSlotMultiplier != 0, "no multiplier gives every field code a slot of its own");

// FieldTable row index plus one for every slot; 0 for a slot no code has.
static_assert(kFieldCount < 256, "a slot holds a row index plus one in a byte");
struct CodeSlots {
  uint8_t rows[kSlotCount];
};

constexpr CodeSlots make_code_slots() {
  CodeSlots slots = {};
  for (size_t i = 0; i < kFieldCount; ++i) {
    slots.rows[slot_of(kCodeKeys.keys[i], kSlotMultiplier)] = static_cast<uint8_t>(i + 1);
  }
  return slots;
}

constexpr CodeSlots kCodeSlots = make_code_slots();

// The length of every FieldTable key, in table order.
struct KeyLengths {
  size_t lengths[kFieldCount];
};

constexpr KeyLengths make_key_lengths() {
  KeyLengths table = {};
  for (size_t i = 0; i < kFieldCount; ++i) table.lengths[i] = text_length(FieldTable[i].key);
  return table;
}

constexpr KeyLengths kKeyLengths = make_key_lengths();

}  // namespace

const SectionRow* find_section(uint8_t type) {
  if (type >= kTypeCount || kSectionsByType.rows[type] == 0) return nullptr;
  return &SectionTable[kSectionsByType.rows[type] - 1];
}

const FieldRow* find_field(const char* code) {
  if (code == nullptr) return nullptr;
  return find_field(code, text_length(code));
}

const FieldRow* find_field(const char* code, size_t length) {
  uint64_t key = 0;
  if (!code_key(code, length, &key)) return nullptr;
  const size_t row = kCodeSlots.rows[slot_of(key, kSlotMultiplier)];
  if (row == 0 || kCodeKeys.keys[row - 1] != key) return nullptr;
  return &FieldTable[row - 1];
}

size_t field_key_length(const FieldRow* row) { return kKeyLengths.lengths[row - FieldTable]; }
