#include "smbios_table.h"

#include "setting_writer.h"
#include "text_util.h"

namespace {

// Little-endian reads of `bytes`, which the caller has bounded.
uint16_t word_at(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }
uint32_t dword_at(const uint8_t* bytes) { return word_at(bytes) | (static_cast<uint32_t>(word_at(bytes + 2)) << 16); }
uint64_t qword_at(const uint8_t* bytes) { return dword_at(bytes) | (static_cast<uint64_t>(dword_at(bytes + 4)) << 32); }

bool starts_with(const uint8_t* bytes, size_t size, const char* anchor) {
  const size_t length = text_length(anchor);
  if (size < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != static_cast<uint8_t>(anchor[i])) return false;
  }
  return true;
}

bool checksum_is_right(const uint8_t* bytes, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum == 0;
}

// Entry point lengths: the fixed "_DMI_" one, the least the others may state.
constexpr size_t kLegacyEntryLength = 0x0F;
constexpr size_t kEntry3MinLength = 0x18;
// Version 2.1 stated 0x1E where 0x1F was meant; tools accept both.
constexpr size_t kEntry2MinLength = 0x1E;
constexpr size_t kEntry2LegacyPart = 0x10;

// The "_DMI_" entry point, alone or as the tail of "_SM_"; its version is
// one BCD byte.
bool read_legacy_entry(const uint8_t* bytes, size_t size, SmbiosEntryPoint* entry) {
  if (!starts_with(bytes, size, "_DMI_") || size < kLegacyEntryLength) return false;
  if (!checksum_is_right(bytes, kLegacyEntryLength)) return false;
  entry->table_length = word_at(bytes + 0x06);
  entry->table_address = dword_at(bytes + 0x08);
  entry->structure_count = word_at(bytes + 0x0C);
  entry->major = bytes[0x0E] >> 4;
  entry->minor = bytes[0x0E] & 0x0F;
  return true;
}

bool read_entry2(const uint8_t* bytes, size_t size, SmbiosEntryPoint* entry) {
  const size_t length = bytes[0x05];
  if (length < kEntry2MinLength || length > size || !checksum_is_right(bytes, length)) return false;
  // The "_DMI_" part is 15 bytes also where the stated length leaves out its last.
  if (!read_legacy_entry(bytes + kEntry2LegacyPart, size - kEntry2LegacyPart, entry)) return false;
  entry->major = bytes[0x06];
  entry->minor = bytes[0x07];
  return true;
}

bool read_entry3(const uint8_t* bytes, size_t size, SmbiosEntryPoint* entry) {
  const size_t length = bytes[0x06];
  if (length < kEntry3MinLength || length > size || !checksum_is_right(bytes, length)) return false;
  entry->major = bytes[0x07];
  entry->minor = bytes[0x08];
  entry->table_length = dword_at(bytes + 0x0C);
  entry->table_address = qword_at(bytes + 0x10);
  entry->structure_count = 0;
  return true;
}

constexpr uint8_t kEndOfTableType = 127;
constexpr size_t kHeaderLength = 4;

// Where the string set of the structure whose formatted area ends at `start`
// ends (the offset after its closing double NUL), or 0 when the table ends first.
size_t string_set_end(const SmbiosTable* table, size_t start, size_t* strings_size) {
  if (start + 1 < table->size && table->bytes[start] == 0 && table->bytes[start + 1] == 0) {
    *strings_size = 0;
    return start + 2;
  }
  for (size_t at = start; at + 1 < table->size; ++at) {
    if (table->bytes[at] == 0 && table->bytes[at + 1] == 0) {
      *strings_size = at + 1 - start;
      return at + 2;
    }
  }
  return 0;
}

void keep_if_first(const SmbiosTable* table, size_t at, size_t strings_size, TableStructures* found) {
  const SectionRow* section = find_section(table->bytes[at]);
  if (section == nullptr) return;
  SmbiosStructure* slot = &found->first[section - SectionTable];
  if (slot->formatted != nullptr) return;
  slot->formatted = table->bytes + at;
  slot->length = table->bytes[at + 1];
  slot->strings = table->bytes + at + slot->length;
  slot->strings_size = strings_size;
}

// The string numbered `number` (1 on) of `structure`; false when there is none.
bool string_number(const SmbiosStructure* structure, size_t number, const uint8_t** text, size_t* length) {
  size_t at = 0;
  for (size_t n = 1; number != 0 && at < structure->strings_size; ++n) {
    size_t end = at;
    while (end < structure->strings_size && structure->strings[end] != 0) ++end;
    if (n == number) {
      *text = structure->strings + at;
      *length = end - at;
      return true;
    }
    at = end + 1;
  }
  return false;
}

// How a field's value is found in its structure.
enum ValueFormat : uint8_t {
  FormatString,           // the string whose number is the byte at the offset
  FormatUuid,             // 16 bytes
  FormatTypeByte,         // the byte as two hex digits and "h"
  FormatDword,            // 4 bytes as 8 hex digits
  FormatStringAfterList,  // a string number behind a list: byte 13h entries of byte 14h bytes each
  FormatEveryString,      // every string of the structure in turn
};

struct FieldLocation {
  const char* code;
  uint8_t offset;
  ValueFormat format;
};

// One row per FieldTable row, in its order (checked below).
constexpr FieldLocation kFieldLocations[] = {
    {"IVN", 0x04, FormatString},          {"IV", 0x05, FormatString},
    {"ID", 0x08, FormatString},           {"SM", 0x04, FormatString},
    {"SP", 0x05, FormatString},           {"SV", 0x06, FormatString},
    {"SS", 0x07, FormatString},           {"SU", 0x08, FormatUuid},
    {"SK", 0x19, FormatString},           {"SF", 0x1A, FormatString},
    {"BM", 0x04, FormatString},           {"BP", 0x05, FormatString},
    {"BV", 0x06, FormatString},           {"BS", 0x07, FormatString},
    {"BT", 0x08, FormatString},           {"BLC", 0x0A, FormatString},
    {"CM", 0x04, FormatString},           {"CT", 0x05, FormatTypeByte},
    {"CV", 0x06, FormatString},           {"CS", 0x07, FormatString},
    {"CA", 0x08, FormatString},           {"CO", 0x0D, FormatDword},
    {"CSK", 0x15, FormatStringAfterList}, {"OS", 0x00, FormatEveryString},
};

constexpr size_t kFieldLocationCount = sizeof(kFieldLocations) / sizeof(kFieldLocations[0]);

constexpr bool same_text(const char* left, const char* right) {
  for (; *left != '\0' || *right != '\0'; ++left, ++right) {
    if (*left != *right) return false;
  }
  return true;
}

constexpr bool locations_follow_field_table() {
  if (FieldTable[kFieldLocationCount].type != kNoSectionType) return false;
  for (size_t i = 0; i < kFieldLocationCount; ++i) {
    if (!same_text(FieldTable[i].code, kFieldLocations[i].code)) return false;
  }
  return true;
}

static_assert(locations_follow_field_table(), "kFieldLocations must have one row per FieldTable row, in its order");

// The longest value must still make a record the writer can format.
constexpr size_t longest_table_record() {
  size_t longest = 0;
  for (size_t i = 0; i < kFieldLocationCount; ++i) {
    const size_t record = longest_record_text(FieldTable[i], kTableValueSize - 1);
    if (record > longest) longest = record;
  }
  return longest;
}

static_assert(longest_table_record() < kRecordTextSize, "a value of kTableValueSize cannot be written whole");

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends `byte` as two upper-case hex digits at `text`.
char* put_hex_byte(char* text, uint8_t byte) {
  text[0] = kHexDigits[byte >> 4];
  text[1] = kHexDigits[byte & 0x0F];
  return text + 2;
}

// 8-4-4-4-12 hex digits; the first three fields stored little-endian from 2.6 on.
void format_uuid(const uint8_t* bytes, bool little_endian, char* text) {
  // Byte order of the printed digits, for the little-endian layout.
  constexpr uint8_t kSwapped[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *text++ = '-';
    text = put_hex_byte(text, bytes[little_endian ? kSwapped[i] : i]);
  }
  *text = '\0';
}

void format_dword(uint32_t number, char* text) {
  for (int shift = 24; shift >= 0; shift -= 8) text = put_hex_byte(text, static_cast<uint8_t>(number >> shift));
  *text = '\0';
}

// Copies a string into the value; a CR or LF, which cannot stand in a VKF
// line, becomes a blank.
void copy_string(const uint8_t* text, size_t length, TableValue* value) {
  value->state = TableValuePresent;
  if (length >= kTableValueSize) {
    value->state = TableValueTooLong;
    length = kTableValueSize - 1;
  }
  for (size_t i = 0; i < length; ++i) {
    char c = static_cast<char>(text[i]);
    if (c == '\r' || c == '\n') {
      c = ' ';
      value->line_break_replaced = true;
    }
    value->text[i] = c;
  }
  value->text[length] = '\0';
}

// The string numbered `number`; number 0 or one past the strings is empty.
void string_value(const SmbiosStructure* structure, size_t number, TableValue* value) {
  const uint8_t* text = nullptr;
  size_t length = 0;
  if (!string_number(structure, number, &text, &length)) length = 0;
  copy_string(text, length, value);
}

void located_value(const TableStructures* found, const SmbiosStructure* structure, const FieldLocation* location,
                   size_t string_index, TableValue* value) {
  const uint8_t* bytes = structure->formatted;
  const size_t at = location->offset;
  switch (location->format) {
    case FormatString:
      if (at < structure->length) string_value(structure, bytes[at], value);
      return;
    case FormatUuid:
      if (at + 16 > structure->length) return;
      format_uuid(bytes + at, found->uuid_little_endian, value->text);
      value->state = TableValuePresent;
      return;
    case FormatTypeByte:
      if (at >= structure->length) return;
      put_hex_byte(value->text, bytes[at]);
      value->text[2] = 'h';
      value->text[3] = '\0';
      value->state = TableValuePresent;
      return;
    case FormatDword:
      if (at + 4 > structure->length) return;
      format_dword(dword_at(bytes + at), value->text);
      value->state = TableValuePresent;
      return;
    case FormatStringAfterList: {
      if (at > structure->length) return;
      const size_t after = at + static_cast<size_t>(bytes[at - 2]) * bytes[at - 1];
      if (after < structure->length) string_value(structure, bytes[after], value);
      return;
    }
    case FormatEveryString: {
      const uint8_t* text = nullptr;
      size_t length = 0;
      if (string_number(structure, string_index + 1, &text, &length)) copy_string(text, length, value);
      return;
    }
  }
}

}  // namespace

bool read_entry_point(const uint8_t* bytes, size_t size, SmbiosEntryPoint* entry) {
  if (starts_with(bytes, size, "_SM3_") && size > 0x06) return read_entry3(bytes, size, entry);
  if (starts_with(bytes, size, "_SM_") && size > 0x05) return read_entry2(bytes, size, entry);
  return read_legacy_entry(bytes, size, entry);
}

void find_structures(const SmbiosTable* table, TableStructures* found) {
  *found = TableStructures{};
  found->uuid_little_endian = table->major > 2 || (table->major == 2 && table->minor >= 6);
  size_t at = 0;
  for (size_t count = 0; table->structure_count == 0 || count < table->structure_count; ++count) {
    if (at + kHeaderLength > table->size) break;
    if (table->bytes[at] == kEndOfTableType) return;
    const size_t length = table->bytes[at + 1];
    size_t strings_size = 0;
    const size_t next = length < kHeaderLength ? 0 : string_set_end(table, at + length, &strings_size);
    if (next == 0) {
      found->cut_short = true;
      found->cut_offset = at;
      return;
    }
    keep_if_first(table, at, strings_size, found);
    at = next;
  }
}

void table_value(const TableStructures* found, const FieldRow* row, size_t string_index, TableValue* value) {
  value->state = TableValueAbsent;
  value->line_break_replaced = false;
  value->text[0] = '\0';
  const SectionRow* section = find_section(row->type);
  const size_t index = static_cast<size_t>(row - FieldTable);
  if (section == nullptr || index >= kFieldLocationCount) return;
  const SmbiosStructure* structure = &found->first[section - SectionTable];
  if (structure->formatted == nullptr) return;
  located_value(found, structure, &kFieldLocations[index], string_index, value);
}

bool field_is_number(const FieldRow* row) {
  const size_t index = static_cast<size_t>(row - FieldTable);
  if (index >= kFieldLocationCount) return false;
  const ValueFormat format = kFieldLocations[index].format;
  return format == FormatUuid || format == FormatTypeByte || format == FormatDword;
}

bool field_repeats(const FieldRow* row) {
  const size_t index = static_cast<size_t>(row - FieldTable);
  return index < kFieldLocationCount && kFieldLocations[index].format == FormatEveryString;
}
