// The conversion vocabulary: which dump field code belongs to which SMBIOS
// structure type, VKF section and setting key.
#ifndef QORVEX_CORE_VOCABULARY_H
#define QORVEX_CORE_VOCABULARY_H

#include <stddef.h>
#include <stdint.h>

#include "run_state.h"

struct SectionRow {
  uint8_t type;  // kNoSectionType marks the end of the table.
  const char* name;
};

struct FieldRow {
  const char* code;  // Field code as the dump writes it, in upper case.
  uint8_t type;      // kNoSectionType marks the end of the table.
  uint8_t strip_h;   // 1: a lowercase 'h' before the closing quote is dropped.
  const char* key;   // Setting key in the VKF file.
};

inline constexpr SectionRow SectionTable[] = {
    {0, "BIOS"}, {1, "System"}, {2, "BaseBoard"}, {3, "Chassis"}, {11, "OemString"}, {kNoSectionType, nullptr},
};

inline constexpr FieldRow FieldTable[] = {
    {"IVN", 0, 0, "Name"},
    {"IV", 0, 0, "Version"},
    {"ID", 0, 0, "Date"},
    {"SM", 1, 0, "Manufacturer"},
    {"SP", 1, 0, "Product"},
    {"SV", 1, 0, "Version"},
    {"SS", 1, 1, "SerialNum"},
    {"SU", 1, 1, "UUID"},
    {"SK", 1, 1, "SKUNum"},
    {"SF", 1, 0, "Family"},
    {"BM", 2, 0, "Manufacturer"},
    {"BP", 2, 0, "Product"},
    {"BV", 2, 0, "Version"},
    {"BS", 2, 1, "SerialNum"},
    {"BT", 2, 0, "AssetTag"},
    {"BLC", 2, 0, "LocInChassis"},
    {"CM", 3, 0, "Manufacturer"},
    {"CT", 3, 0, "ChassisType"},
    {"CV", 3, 0, "Version"},
    {"CS", 3, 1, "SerialNum"},
    {"CA", 3, 1, "TagNum"},
    {"CO", 3, 1, "ChassisOEM"},
    {"CSK", 3, 0, "ChassisSKU"},
    {"OS", 11, 0, "String"},
    {nullptr, kNoSectionType, 0, nullptr},
};

// The SectionTable row of `type`, or null. kNoSectionType never has a row.
const SectionRow* find_section(uint8_t type);

// The first FieldTable row whose code equals `code` with the ASCII letters
// compared without regard to case, or null.
const FieldRow* find_field(const char* code);

// The same for the `length` characters at `code`.
const FieldRow* find_field(const char* code, size_t length);

// The length of the key of `row`, a FieldTable row other than the end marker.
size_t field_key_length(const FieldRow* row);

#endif  // QORVEX_CORE_VOCABULARY_H
