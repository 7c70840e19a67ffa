// Reading a machine's SMBIOS table: its entry point, the first structure of
// each type the VKF sections hold, and the text of every field in the form
// the dump route gives it. Everything is bounded by the buffers handed in:
// a damaged table is never read past its end.
#ifndef QORVEX_CORE_SMBIOS_TABLE_H
#define QORVEX_CORE_SMBIOS_TABLE_H

#include <stddef.h>
#include <stdint.h>

#include "vocabulary.h"

// What an entry point says about its structure table.
struct SmbiosEntryPoint {
  uint64_t table_address;    // as the firmware wrote it
  uint32_t table_length;     // bytes (for "_SM3_" the most the table may take)
  uint16_t structure_count;  // 0: the entry point gives no count ("_SM3_")
  uint8_t major;
  uint8_t minor;
};

// Reads the "_SM3_", "_SM_" or "_DMI_" entry point at the start of the
// `size` bytes at `bytes`. Returns false when none is there whole with its
// checksums right.
bool read_entry_point(const uint8_t* bytes, size_t size, SmbiosEntryPoint* entry);

// Where a table file of `dmidecode --dump-bin` keeps the structure table.
constexpr size_t kTableFileTableOffset = 32;

// A structure table in memory and the SMBIOS version that tells how to read it.
struct SmbiosTable {
  const uint8_t* bytes;
  size_t size;               // bytes that may be read, no more
  uint16_t structure_count;  // 0: no limit
  uint8_t major;
  uint8_t minor;
};

// The first structure of one type: its formatted area and its strings.
struct SmbiosStructure {
  const uint8_t* formatted;  // null when the table has none of the type
  size_t length;             // bytes of the formatted area
  const uint8_t* strings;    // each string with its NUL, the closing NUL left out
  size_t strings_size;
};

// Number of VKF sections, one first structure for each.
constexpr size_t kTableSectionCount = sizeof(SectionTable) / sizeof(SectionTable[0]) - 1;

struct TableStructures {
  SmbiosStructure first[kTableSectionCount];  // by SectionTable row
  bool uuid_little_endian;                    // SMBIOS 2.6 on: the first three UUID fields
  bool cut_short;                             // a structure ran past the table's end
  size_t cut_offset;                          // where that structure starts
};

// Walks the table by structure length and string set up to its end, its
// structure count or type 127, and keeps the first structure of every
// section's type.
void find_structures(const SmbiosTable* table, TableStructures* found);

// Room for one value and its NUL: a record of the longest value still fits
// the writer's record text (checked where the values are made).
constexpr size_t kTableValueSize = 256;

enum TableValueState {
  TableValueAbsent,  // no such structure, too short to hold the field, or no n-th OEM string
  TableValuePresent,
  TableValueTooLong,  // the string does not fit kTableValueSize; the buffer holds its start
};

struct TableValue {
  TableValueState state;
  bool line_break_replaced;  // a CR or LF of the string was written as a blank
  char text[kTableValueSize];
};

// The value of FieldTable row `row` as the dump route would give it. For the
// OEM strings, `string_index` picks the string (0 is the first); other
// fields ignore it.
void table_value(const TableStructures* found, const FieldRow* row, size_t string_index, TableValue* value);

// True for the field that gives one record per string (the OEM strings).
bool field_repeats(const FieldRow* row);

// True for the fields whose values are numbers in hex digits (UUID, chassis
// type, chassis OEM value) rather than strings.
bool field_is_number(const FieldRow* row);

#endif  // QORVEX_CORE_SMBIOS_TABLE_H
