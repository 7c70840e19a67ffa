#include "table_verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "run_state.h"
#include "smbios_builder.h"
#include "table_backup.h"
#include "test_binding.h"

namespace {

struct DifferenceLog {
  std::string text;
  VerifyReport ops() { return VerifyReport{difference, this}; }
  static void difference(void* self, const char* section, const char* key, const char* file_value,
                         const char* machine_value) {
    static_cast<DifferenceLog*>(self)->text +=
        std::string("[") + section + "] " + key + ": file \"" + file_value + "\", machine " +
        (machine_value ? "\"" + std::string(machine_value) + "\"" : "none") + "\n";
  }
};

class TableVerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_run_state();
    test_memory::reset();
  }
  VerifyResult verify(const std::string& vkf_text, const std::string& table_bytes = sample_table()) {
    table = table_bytes;
    vkf.data = vkf_text;
    differences.text.clear();
    SmbiosTable view = table_view(table);
    CoreStream stream = vkf.stream();
    VerifyReport report = differences.ops();
    return run_table_verify(&view, &stream, &report);
  }
  std::string table;
  MemoryStream vkf;
  DifferenceLog differences;
};

TEST_F(TableVerifyTest, ABackupVerifiesEqualFieldForField) {
  MemoryStream backup;
  CoreStream stream = backup.stream();
  const std::string bytes = sample_table();
  SmbiosTable view = table_view(bytes);
  ConsoleOps console = {};
  TableNotices notices = {};
  ASSERT_EQ(run_table_backup(&view, &stream, true, &console, &notices).outcome, BackupCompleted);
  VerifyResult result = verify(backup.data);
  EXPECT_EQ(result.outcome, VerifyEqual);
  EXPECT_EQ(result.compared, 25u);
  EXPECT_EQ(result.different, 0u);
}

struct VerifyRow {
  const char* name;
  std::string vkf;
  VerifyOutcome outcome;
  size_t compared;
  std::string differences;
  std::string table = sample_table();
};

TEST_F(TableVerifyTest, EachNamedFieldIsComparedInItsOwnWay) {
  const VerifyRow rows[] = {
      {"one field, LF line ends", "[System]\nSerialNum = NW42B0012345\n", VerifyEqual, 1, ""},
      {"a serial number one digit off", "[System]\r\nSerialNum = NW42B0012346\r\n", VerifyDifferent, 1,
       "[System] SerialNum: file \"NW42B0012346\", machine \"NW42B0012345\"\n"},
      {"strings byte for byte", "[System]\r\nSerialNum = nw42b0012345\r\nFamily = Workstations \r\n", VerifyDifferent,
       2,
       "[System] SerialNum: file \"nw42b0012345\", machine \"NW42B0012345\"\n"
       "[System] Family: file \"Workstations \", machine \"Workstations\"\n"},
      {"numbers ignore case, hyphens, an h and leading zeros",
       "[System]\r\nUUID = 4c4c454400313410-8052b4c04f333532h\r\n[Chassis]\r\nChassisType = 3\r\n"
       "ChassisOEM = 0h\r\n",
       VerifyEqual, 3, ""},
      {"numbers that differ or are no numbers",
       "[Chassis]\r\nChassisType = 83h\r\nChassisOEM = none\r\n[System]\r\nUUID = \r\n", VerifyDifferent, 3,
       "[Chassis] ChassisType: file \"83h\", machine \"03h\"\n"
       "[Chassis] ChassisOEM: file \"none\", machine \"00000000\"\n"
       "[System] UUID: file \"\", machine \"4C4C4544-0031-3410-8052-B4C04F333532\"\n"},
      {"the n-th OEM string, across sections, and one the machine lacks",
       "[OemString]\r\nString = Assembled in Ireland\r\n[BIOS]\r\nName = Northwind Firmware Inc.\r\n"
       "[OemString]\r\nString = Service tag: 7Q2-NX\r\nString = more\r\n",
       VerifyDifferent, 4,
       "[OemString] String: file \"Service tag: 7Q2-NX\", machine \"Service tag: 7Q2-NW\"\n"
       "[OemString] String: file \"more\", machine none\n"},
      {"section and key in another case, a blank line, no last line end", "[system]\r\n\r\nserialnum = NW42B0012345",
       VerifyEqual, 1, ""},
      {"fields of a structure the machine lacks and of one too short",
       "[BaseBoard]\r\nSerialNum = MB42-77810A\r\n[System]\r\nFamily = W\r\n", VerifyDifferent, 2,
       "[BaseBoard] SerialNum: file \"MB42-77810A\", machine none\n[System] Family: file \"W\", machine none\n",
       table_of({Structure(1, 0x19, {"x"})})},
      {"the longest line read", "[BIOS]\r\nName = " + std::string(1015, 'x') + "\r\n", VerifyDifferent, 1,
       "[BIOS] Name: file \"" + std::string(1015, 'x') + "\", machine \"Northwind Firmware Inc.\"\n"},
      {"a number that is only the start of the machine's", "[System]\nUUID = 4C4C4544\n", VerifyDifferent, 1,
       "[System] UUID: file \"4C4C4544\", machine \"4C4C4544-0031-3410-8052-B4C04F333532\"\n"},
      {"a machine string too long for a record is equal to no file value",
       "[BIOS]\r\nName = " + std::string(255, 'x') + "\r\n", VerifyDifferent, 1,
       "[BIOS] Name: file \"" + std::string(255, 'x') + "\", machine \"" + std::string(255, 'x') + "\"\n",
       table_of({Structure(0, 5, {std::string(300, 'x')}).set(4, {1})})},
      {"an empty file", "", VerifyNoField, 0, ""},
      {"headers alone", "[BIOS]\r\n[System]\r\n", VerifyNoField, 0, ""},
  };
  for (const VerifyRow& row : rows) {
    VerifyResult result = verify(row.vkf, row.table);
    EXPECT_EQ(result.outcome, row.outcome) << row.name;
    EXPECT_EQ(result.compared, row.compared) << row.name;
    EXPECT_EQ(differences.text, row.differences) << row.name;
    EXPECT_EQ(result.different, size_t(std::count(row.differences.begin(), row.differences.end(), '\n'))) << row.name;
  }
}

struct RefusedRow {
  const char* name;
  std::string vkf;
  size_t line;
};

TEST_F(TableVerifyTest, AFileThatIsNoVkfFileIsRefusedAtItsLine) {
  const RefusedRow rows[] = {
      {"a field before any header", "SerialNum = x\r\n", 1},
      {"an unknown section", "[System]\r\nSerialNum = NW42B0012345\r\n[Memory]\r\n", 3},
      {"a key of another section", "[BIOS]\r\nSerialNum = x\r\n", 2},
      {"no \" = \"", "[BIOS]\r\nName=x\r\n", 2},
      {"a line too long", "[BIOS]\r\nName = " + std::string(kVerifyLineSize, 'x') + "\r\n", 2},
      {"a line one byte too long", "[BIOS]\r\nName = " + std::string(1016, 'x') + "\r\n", 2},
  };
  for (const RefusedRow& row : rows) {
    VerifyResult result = verify(row.vkf);
    EXPECT_EQ(result.outcome, VerifyNotVkf) << row.name;
    EXPECT_EQ(result.line, row.line) << row.name;
  }
}

TEST_F(TableVerifyTest, AFailedReadEndsItWithTheStreamsStatus) {
  vkf.failing_reads = {{2, MemoryStream::kDeviceError}};
  vkf.read_limit = 8;
  VerifyResult result = verify("[System]\r\nSerialNum = NW42B0012345\r\n");
  EXPECT_EQ(result.outcome, VerifyReadError);
  EXPECT_EQ(result.read_status, MemoryStream::kDeviceError);
  vkf = MemoryStream();
  vkf.set_position_fails = true;
  result = verify("[System]\r\nSerialNum = NW42B0012345\r\n");
  EXPECT_EQ(result.outcome, VerifyReadError) << "the file cannot be read from its start";
  EXPECT_EQ(result.read_status, 1u);
}

}  // namespace
