#include "smbios_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "run_state.h"
#include "smbios_builder.h"
#include "table_backup.h"
#include "test_binding.h"

namespace {

const uint8_t* bytes_of(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string legacy_entry(uint16_t length, uint32_t address, uint16_t count, uint8_t bcd) {
  std::string e("_DMI_\0", 6);
  e += static_cast<char>(length & 0xFF);
  e += static_cast<char>(length >> 8);
  for (int i = 0; i < 4; ++i) e += static_cast<char>(address >> (8 * i));
  e += static_cast<char>(count & 0xFF);
  e += static_cast<char>(count >> 8);
  e += static_cast<char>(bcd);
  fix_checksum(e, 0, e.size(), 5);
  return e;
}

std::string entry2(uint8_t stated_length, uint8_t bcd = 0x28) {
  std::string e("_SM_\0\0\x02\x08\x00\x01\x00\0\0\0\0\0", 16);
  e[5] = static_cast<char>(stated_length);
  e += legacy_entry(0x1234, 0xF0000, 7, bcd);
  fix_checksum(e, 0, stated_length, 4);
  return e;
}

struct EntryRow {
  const char* name;
  std::string bytes;
  bool valid;
  uint32_t length;
  uint64_t address;
  uint16_t count;
  uint8_t major, minor;
};

TEST(EntryPointTest, EachFormatAndEachCheckIsRead) {
  std::string bad_sum3 = smbios3_entry(0x200, 0x7F000);
  bad_sum3[0x10] ^= 1;
  std::string bad_inner = entry2(0x1F);
  bad_inner[0x18] ^= 1;
  fix_checksum(bad_inner, 0, 0x1F, 4);
  std::string long3 = smbios3_entry(0x200, 0);
  long3[6] = 0x19;
  fix_checksum(long3, 0, 0x18, 5);
  const EntryRow rows[] = {
      {"_SM3_", smbios3_entry(0x200, 0x7F000), true, 0x200, 0x7F000, 0, 3, 5},
      {"_SM3_ with a byte changed", bad_sum3, false},
      {"_SM3_ cut by the buffer", smbios3_entry(0x200, 0).substr(0, 0x17), false},
      {"_SM3_ longer than the buffer says", long3, false},
      {"_SM_", entry2(0x1F), true, 0x1234, 0xF0000, 7, 2, 8},
      {"_SM_ stating 0x1E", entry2(0x1E), true, 0x1234, 0xF0000, 7, 2, 8},
      {"_SM_ whose BCD revision is 0: major and minor count", entry2(0x1F, 0x00), true, 0x1234, 0xF0000, 7, 2, 8},
      {"_SM_ whose _DMI_ part is wrong", bad_inner, false},
      {"_SM_ without its last byte", entry2(0x1F).substr(0, 0x1E), false},
      {"_DMI_", legacy_entry(0x300, 0xE0000, 9, 0x21), true, 0x300, 0xE0000, 9, 2, 1},
      {"nothing", std::string(32, 'x'), false},
      {"empty", std::string(), false},
  };
  for (const EntryRow& row : rows) {
    SmbiosEntryPoint entry = {};
    EXPECT_EQ(read_entry_point(bytes_of(row.bytes), row.bytes.size(), &entry), row.valid) << row.name;
    if (!row.valid) continue;
    EXPECT_EQ(entry.table_length, row.length) << row.name;
    EXPECT_EQ(entry.table_address, row.address) << row.name;
    EXPECT_EQ(entry.structure_count, row.count) << row.name;
    EXPECT_EQ(entry.major, row.major) << row.name;
    EXPECT_EQ(entry.minor, row.minor) << row.name;
  }
}

// Records the console and the notices of a backup.
struct BackupLog {
  std::string console;
  std::string notices;
  ConsoleOps console_ops() { return ConsoleOps{nullptr, trace, nullptr, this}; }
  TableNotices notice_ops() { return TableNotices{line_break, cut_short, this}; }
  static BackupLog* of(void* self) { return static_cast<BackupLog*>(self); }
  static void trace(void* self, uint8_t type, const char* section, const char* code, const char* key,
                    const char* value) {
    of(self)->console += "(" + std::to_string(type) + ")" + section + " (" + code + ")" + key + ": " + value + "\n";
  }
  static void line_break(void* self, const char* section, const char* key) {
    of(self)->notices += std::string("line break [") + section + "] " + key + "\n";
  }
  static void cut_short(void* self, size_t offset) { of(self)->notices += "cut at " + std::to_string(offset) + "\n"; }
};

class TableBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_run_state();
    test_memory::reset();
  }
  BackupResult back_up(const std::string& table_bytes, uint8_t major = 3, uint8_t minor = 0, uint16_t count = 0,
                       bool quiet = true) {
    reset_run_state();
    vkf.data.clear();
    log.notices.clear();
    bytes = table_bytes;
    SmbiosTable table = table_view(bytes, major, minor, count);
    CoreStream stream = vkf.stream();
    ConsoleOps console = log.console_ops();
    TableNotices notices = log.notice_ops();
    return run_table_backup(&table, &stream, quiet, &console, &notices);
  }
  std::string bytes;
  MemoryStream vkf;
  BackupLog log;
};

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(TableBackupTest, SampleBoardGivesTheSampleFileOfTheDumpRoute) {
  BackupResult result = back_up(sample_table(), 3, 0, 0, false);
  EXPECT_EQ(result.outcome, BackupCompleted);
  EXPECT_EQ(result.records, 25u);
  EXPECT_EQ(vkf.data, file_text(QORVEX_SOURCE_DIR "/examples/sample.vkf"));
  EXPECT_EQ(log.console.substr(0, 74), "(0)BIOS (IVN)Name: Northwind Firmware Inc.\n(0)BIOS (IV)Version: 4.20.1107\n");
  EXPECT_EQ(log.notices, "");
}

struct ValueRow {
  const char* name;
  Structure structure;
  uint8_t major, minor;
  std::string vkf;
};

// Each value format and each bound of a structure once.
TEST_F(TableBackupTest, ValueFormatsAndStructureBounds) {
  const uint8_t uuid[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  auto with_uuid = [&](uint8_t length) {
    Structure s(1, length);
    for (size_t i = 0; i < 16 && 8 + i < length; ++i) s.area[8 + i] = uuid[i];
    return s;
  };
  const std::string system_strings = "Manufacturer = \r\nProduct = \r\nVersion = \r\nSerialNum = \r\n";
  const std::string chassis_without_sku =
      "[Chassis]\r\nManufacturer = \r\nChassisType = 00h\r\nVersion = \r\nSerialNum = \r\nTagNum = \r\n"
      "ChassisOEM = 00000000\r\n";
  const ValueRow rows[] = {
      {"UUID from 2.6 on", with_uuid(0x18), 2, 6,
       "[System]\r\n" + system_strings + "UUID = 33221100-5544-7766-8899-AABBCCDDEEFF\r\n"},
      {"UUID before 2.6", with_uuid(0x18), 2, 5,
       "[System]\r\n" + system_strings + "UUID = 00112233-4455-6677-8899-AABBCCDDEEFF\r\n"},
      {"a UUID one byte short", with_uuid(0x17), 3, 0, "[System]\r\n" + system_strings},
      {"SKU and family just held", Structure(1, 0x1B, {"s", "f"}).set(0x19, {1, 2}), 3, 0,
       "[System]\r\n" + system_strings + "UUID = 00000000-0000-0000-0000-000000000000\r\nSKUNum = s\r\nFamily = f\r\n"},
      {"family one byte short", Structure(1, 0x1A, {"s"}).set(0x19, {1}), 3, 0,
       "[System]\r\n" + system_strings + "UUID = 00000000-0000-0000-0000-000000000000\r\nSKUNum = s\r\n"},
      {"a header only", Structure(0, 4), 3, 0, ""},
      {"string numbers 0 and past the strings", Structure(0, 9, {"v"}).set(4, {0, 2}).set(8, {1}), 3, 0,
       "[BIOS]\r\nName = \r\nVersion = \r\nDate = v\r\n"},
      {"chassis type with its lock bit, OEM value",
       Structure(3, 0x11).set(5, {0x83}).set(0x0D, {0x78, 0x56, 0x34, 0x12}), 3, 0,
       "[Chassis]\r\nManufacturer = \r\nChassisType = 83h\r\nVersion = \r\nSerialNum = \r\nTagNum = \r\n"
       "ChassisOEM = 12345678\r\n"},
      {"OEM value one byte short", Structure(3, 0x10).set(5, {0x03}), 3, 0,
       "[Chassis]\r\nManufacturer = \r\nChassisType = 03h\r\nVersion = \r\nSerialNum = \r\nTagNum = \r\n"},
      {"chassis SKU behind 2 elements of 3 bytes",
       Structure(3, 0x1C, {"sku", "x"}).set(0x13, {2, 3}).set(0x15, {2, 2, 2, 2, 2, 2, 1}), 3, 0,
       chassis_without_sku + "ChassisSKU = sku\r\n"},
      {"chassis SKU one byte past the area", Structure(3, 0x1B).set(0x13, {2, 3}), 3, 0, chassis_without_sku},
      {"board location just held, asset tag", Structure(2, 0x0B, {"t", "l"}).set(8, {1, 0, 2}), 3, 0,
       "[BaseBoard]\r\nManufacturer = \r\nProduct = \r\nVersion = \r\nSerialNum = \r\nAssetTag = t\r\n"
       "LocInChassis = l\r\n"},
      {"OEM strings in order", Structure(11, 5, {"a", "b", "c"}), 3, 0,
       "[OemString]\r\nString = a\r\nString = b\r\nString = c\r\n"},
      {"an empty string set holds no OEM string", Structure(11, 5), 3, 0, ""},
      {"chassis type one byte short", Structure(3, 5), 3, 0, "[Chassis]\r\nManufacturer = \r\n"},
  };
  for (const ValueRow& row : rows) {
    back_up(table_of({row.structure}), row.major, row.minor);
    EXPECT_EQ(vkf.data, row.vkf) << row.name;
  }
}

struct WalkRow {
  const char* name;
  std::string table;
  uint16_t count;
  BackupOutcome outcome;
  std::string vkf;
  std::string notices;
};

TEST_F(TableBackupTest, TheWalkStopsAtEveryBoundOfTheTable) {
  const std::string bios = Structure(0, 5, {"A"}).set(4, {1}).bytes();
  const std::string other_bios = Structure(0, 5, {"B"}).set(4, {1}).bytes();
  const std::string oem = Structure(11, 5, {"o"}).bytes();
  const std::string end = Structure(127, 4).bytes();
  const std::string bios_vkf = "[BIOS]\r\nName = A\r\n";
  const WalkRow rows[] = {
      {"the first structure of a type counts", bios + other_bios + end, 0, BackupCompleted, bios_vkf, ""},
      {"type 127 ends the table", bios + end + oem, 0, BackupCompleted, bios_vkf, ""},
      {"the structure count ends it", bios + oem, 1, BackupCompleted, bios_vkf, ""},
      {"the buffer's end ends it", bios + oem, 0, BackupCompleted, bios_vkf + "[OemString]\r\nString = o\r\n", ""},
      {"a formatted area past the end", bios + oem.substr(0, 4), 0, BackupCompleted, bios_vkf, "cut at 8\n"},
      {"strings without their closing NUL", bios + oem.substr(0, oem.size() - 1), 0, BackupCompleted, bios_vkf,
       "cut at 8\n"},
      {"a length under the header's", bios + std::string("\x0B\x03\0\0\0\0", 6), 0, BackupCompleted, bios_vkf,
       "cut at 8\n"},
      {"a header cut short is the table's end", bios + "\x0B\x05", 0, BackupCompleted, bios_vkf, ""},
      {"line breaks become blanks with a notice", table_of({Structure(1, 8, {"two\r\nlines"}).set(7, {1})}), 0,
       BackupCompleted, "[System]\r\nManufacturer = \r\nProduct = \r\nVersion = \r\nSerialNum = two  lines\r\n",
       "line break [System] SerialNum\n"},
      {"no section's type", Structure(4, 6, {"cpu"}).bytes() + end, 0, BackupNoField, "", ""},
      {"an empty table", "", 0, BackupNoField, "", ""},
  };
  for (const WalkRow& row : rows) {
    BackupResult result = back_up(row.table, 3, 0, row.count);
    EXPECT_EQ(result.outcome, row.outcome) << row.name;
    EXPECT_EQ(vkf.data, row.vkf) << row.name;
    EXPECT_EQ(log.notices, row.notices) << row.name;
  }
}

TEST_F(TableBackupTest, AStringTooLongForALineStopsTheRun) {
  BackupResult result = back_up(table_of({Structure(0, 6, {"v", std::string(256, 'x')}).set(4, {1, 2})}));
  EXPECT_EQ(result.outcome, BackupValueTooLong);
  EXPECT_EQ(result.field, &FieldTable[1]);
  EXPECT_EQ(vkf.data, "[BIOS]\r\nName = v\r\n");
  result = back_up(table_of({Structure(0, 6, {"v", std::string(255, 'x')}).set(4, {1, 2})}));
  EXPECT_EQ(result.outcome, BackupCompleted) << "255 characters still fit";
}

TEST_F(TableBackupTest, TheFirstFailedWriteStopsTheRunWithItsStatus) {
  vkf.failing_writes = {{3, MemoryStream::kVolumeFull}};
  BackupResult result = back_up(sample_table());
  EXPECT_EQ(result.outcome, BackupWriteFailed);
  EXPECT_EQ(result.write_status, MemoryStream::kVolumeFull);
  EXPECT_EQ(result.records, 2u);
  EXPECT_EQ(vkf.writes, 3u) << "nothing is written after the failed record";
  vkf = MemoryStream();
  test_memory::fail_formatting(2);
  result = back_up(sample_table());
  EXPECT_EQ(result.outcome, BackupOutOfMemory);
  EXPECT_EQ(vkf.data, "[BIOS]\r\nName = Northwind Firmware Inc.\r\n");
}

}  // namespace
