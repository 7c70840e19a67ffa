// Hand-made SMBIOS tables for the tests of the table reader and of verify.
#ifndef QORVEX_TESTS_CORE_SMBIOS_BUILDER_H
#define QORVEX_TESTS_CORE_SMBIOS_BUILDER_H

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "smbios_table.h"

// One structure: a formatted area of `length` bytes (type and length set,
// the rest zero) and its strings.
struct Structure {
  Structure(uint8_t type, uint8_t length, std::initializer_list<std::string> strings = {})
      : area(length, 0), strings(strings) {
    area[0] = type;
    area[1] = length;
  }
  Structure& set(size_t offset, std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes) area[offset++] = byte;
    return *this;
  }
  std::string bytes() const {
    std::string out(area.begin(), area.end());
    for (const std::string& text : strings) out += text + '\0';
    if (strings.empty()) out += '\0';
    return out + '\0';
  }
  std::vector<uint8_t> area;
  std::vector<std::string> strings;
};

inline std::string table_of(std::initializer_list<Structure> structures) {
  std::string out;
  for (const Structure& structure : structures) out += structure.bytes();
  return out;
}

// The board of examples/sample-dump.txt as its firmware would store it.
inline std::string sample_table() {
  return table_of({
      Structure(0, 0x12, {"Northwind Firmware Inc.", "4.20.1107", "11/07/2023"}).set(4, {1, 2}).set(8, {3}),
      Structure(1, 0x1B,
                {"Northwind Systems", "NW-4200 Workstation", "Rev. B", "NW42B0012345", "SKU-4200-EU", "Workstations"})
          .set(4, {1, 2, 3, 4})
          .set(8, {0x44, 0x45, 0x4C, 0x4C, 0x31, 0x00, 0x10, 0x34, 0x80, 0x52, 0xB4, 0xC0, 0x4F, 0x33, 0x35, 0x32})
          .set(0x19, {5, 6}),
      Structure(2, 0x0F, {"Northwind Systems", "NW-MB42", "1.02", "MB42-77810A", "Slot \"A\" (front)"})
          .set(4, {1, 2, 3, 4, 0})
          .set(0x0A, {5}),
      Structure(3, 0x16, {"Northwind Systems", "Tower v2", "CH-0099812H", "IT-000427", "TWR-42"})
          .set(4, {1, 3, 2, 3, 4})
          .set(0x15, {5}),
      Structure(11, 5, {"Assembled in Ireland", "Service tag: 7Q2-NW"}).set(4, {2}),
      Structure(127, 4),
  });
}

inline SmbiosTable table_view(const std::string& bytes, uint8_t major = 3, uint8_t minor = 0, uint16_t count = 0) {
  return SmbiosTable{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), count, major, minor};
}

// Sets the byte at `at` so that the `length` bytes from `from` sum to zero.
inline void fix_checksum(std::string& bytes, size_t from, size_t length, size_t at) {
  bytes[at] = 0;
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + bytes[from + i]);
  bytes[at] = static_cast<char>(-sum);
}

// An SMBIOS 3.5 entry point for a table of `max_size` bytes at `address`.
inline std::string smbios3_entry(uint32_t max_size, uint64_t address) {
  std::string e("_SM3_\0\x18\x03\x05\x00\x01\x00", 12);
  for (int i = 0; i < 4; ++i) e += static_cast<char>(max_size >> (8 * i));
  for (int i = 0; i < 8; ++i) e += static_cast<char>(address >> (8 * i));
  fix_checksum(e, 0, e.size(), 5);
  return e;
}

#endif  // QORVEX_TESTS_CORE_SMBIOS_BUILDER_H
