#include "conversion_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_reader.h"
#include "run_state.h"
#include "setting_writer.h"
#include "test_binding.h"

namespace {

// Records the console callbacks in the words of qorvexw.
struct ConsoleLog {
  std::string text;
  ConsoleOps ops() { return ConsoleOps{progress, trace, done, this}; }

  static void progress(void* self) { log(self) += "progress\n"; }
  static void trace(void* self, uint8_t type, const char* section, const char* code,
                    const char* key, const char* value) {
    log(self) += "Type: (" + std::to_string(type) + ")" + section + ", Field: (" + code + ")" +
                 key + ", Value: " + value + "\n";
  }
  static void done(void* self) { log(self) += "done\n"; }
  static std::string& log(void* self) { return static_cast<ConsoleLog*>(self)->text; }
};

std::string utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_run_state();
    test_memory::reset();
  }
  void TearDown() override { EXPECT_EQ(test_memory::live_blocks(), 0u); }

  RunResult convert(const std::string& dump_bytes, bool be_quiet = false) {
    dump.data = dump_bytes;
    CoreStream dump_stream = dump.stream();
    CoreStream vkf_stream = vkf.stream();
    ConsoleOps ops = console.ops();
    char line_buffer[kLineBufferSize];
    return run_conversion(&dump_stream, &vkf_stream, line_buffer, be_quiet, &ops);
  }

  MemoryStream dump;
  MemoryStream vkf;
  ConsoleLog console;
};

TEST_F(ConversionRunTest, DumpsShorterThanTwoBytesFailSilently) {
  for (const std::string bytes : {std::string(), std::string("\xFF")}) {
    text_is_8bit = false;
    console.text.clear();
    RunResult result = convert(bytes);
    EXPECT_EQ(result.outcome, RunDumpTooShort);
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(vkf.data, "");
    EXPECT_FALSE(text_is_8bit) << "the encoding must stay as it was";
  }
}

TEST_F(ConversionRunTest, FirstReadErrorEndsTheRunWithItsStatus) {
  dump.failing_read = 1;
  RunResult result = convert("(/SM)x \"v\"\n");
  EXPECT_EQ(result.outcome, RunReadError);
  EXPECT_EQ(result.read_status, dump.read_error);
  EXPECT_EQ(console.text, "");
}

TEST_F(ConversionRunTest, ByteOrderMarkAloneConvertsNothing) {
  RunResult result = convert("\xFF\xFE");
  EXPECT_EQ(result.outcome, RunCompleted);
  EXPECT_FALSE(text_is_8bit);
  EXPECT_EQ(console.text, "progress\ndone\n");
  EXPECT_EQ(vkf.data, "");
}

TEST_F(ConversionRunTest, TwoByteDumpWithoutMarkIsReadAsText) {
  RunResult result = convert("ab");
  EXPECT_EQ(result.outcome, RunCompleted);
  EXPECT_TRUE(text_is_8bit);
  EXPECT_EQ(console.text, "progress\ndone\n");
}

const char kMixedDump[] =
    "Heading line\r\n"
    "\r\n"
    "(/IVN)BIOS vendor \"Vendor\"\r\n"
    "(/sm)System maker \"Maker\"\r\n"
    "(/XX)unknown \"skipped\"\r\n"
    "(/IV)BIOS version \"1.0\"\r\n"
    "(/IV)BIOS version \"1.1\"\r\n"
    "(/OS)OEM \"oem\"";

const char kMixedVkf[] =
    "[BIOS]\r\nName = Vendor\r\n"
    "[System]\r\nManufacturer = Maker\r\n"
    "[BIOS]\r\nVersion = 1.0\r\nVersion = 1.1\r\n"
    "[OemString]\r\nString = oem\r\n";

TEST_F(ConversionRunTest, HeadersFollowEveryChangeOfType) {
  RunResult result = convert(kMixedDump);
  EXPECT_EQ(result.outcome, RunCompleted);
  EXPECT_EQ(result.write_status, kStreamSuccess);
  EXPECT_EQ(vkf.data, kMixedVkf);
  EXPECT_EQ(console.text,
            "progress\n"
            "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\n"
            "Type: (1)System, Field: (sm)Manufacturer, Value: Maker\n"
            "Type: (0)BIOS, Field: (IV)Version, Value: 1.0\n"
            "Type: (0)BIOS, Field: (IV)Version, Value: 1.1\n"
            "Type: (11)OemString, Field: (OS)String, Value: oem\n"
            "done\n");
}

TEST_F(ConversionRunTest, QuietPrintsNothingAndWritesTheSame) {
  convert(kMixedDump, true);
  EXPECT_EQ(console.text, "");
  EXPECT_EQ(vkf.data, kMixedVkf);
}

TEST_F(ConversionRunTest, Utf16DumpGivesTheSameFile) {
  convert(utf16(kMixedDump));
  EXPECT_EQ(vkf.data, kMixedVkf);
}

TEST_F(ConversionRunTest, BothStreamsStartAtZero) {
  vkf.data = "old content that is longer";
  vkf.position = 7;
  dump.position = 5;
  convert("(/SM)x \"Maker\"\n");
  EXPECT_EQ(vkf.data.substr(0, 32), "[System]\r\nManufacturer = Maker\r\n");
}

// The longest record a 255-character line can give: a new [BaseBoard]
// header and a LocInChassis value filling the line. It must not be cut,
// and the next record must start on a line of its own.
TEST_F(ConversionRunTest, LongestRecordIsWrittenWhole) {
  std::string value(255 - 8, 'v');
  std::string line = "(/BLC)\"" + value + "\"";
  ASSERT_EQ(line.size(), 255u);
  convert(line + "\r\n(/BT)tag \"T\"\r\n");
  std::string record = "[BaseBoard]\r\nLocInChassis = " + value + "\r\n";
  EXPECT_GT(record.size(), 255u);
  EXPECT_EQ(vkf.data, record + "AssetTag = T\r\n");
}

TEST_F(ConversionRunTest, FailedWriteIsReportedAndTheRunGoesOn) {
  vkf.failing_writes = {2, 3};
  RunResult result = convert(kMixedDump);
  EXPECT_EQ(result.outcome, RunCompleted);
  EXPECT_EQ(result.write_status, vkf.write_error);
  // Records 2 ([System]) and 3 ([BIOS] Version 1.0) are lost; their headers
  // counted as written, so record 4 follows without a header of its own.
  EXPECT_EQ(vkf.data,
            "[BIOS]\r\nName = Vendor\r\n"
            "Version = 1.1\r\n"
            "[OemString]\r\nString = oem\r\n");
  EXPECT_NE(console.text.find("done\n"), std::string::npos);
}

TEST_F(ConversionRunTest, ShortWriteCountsAsFailure) {
  vkf.short_writes = true;
  RunResult result = convert(kMixedDump);
  EXPECT_EQ(result.write_status, kShortWriteStatus);
}

TEST_F(ConversionRunTest, RecordLostForMemoryFailsTheRunWhichGoesOn) {
  // Allocation 1 is the code of the first record.
  test_memory::fail_allocation(1);
  RunResult result = convert(kMixedDump);
  EXPECT_EQ(result.outcome, RunCompleted);
  EXPECT_TRUE(result.records_lost);
  EXPECT_EQ(vkf.data.substr(0, 10), "[System]\r\n");
}

// A record that cannot be formatted is not written in part, and its header
// stays owed: the next record of its type gets it.
TEST_F(ConversionRunTest, RecordThatCannotBeFormattedKeepsItsHeaderOwed) {
  test_memory::fail_formatting(2);
  RunResult result = convert(kMixedDump);
  EXPECT_TRUE(result.records_lost);
  EXPECT_EQ(result.write_status, kStreamSuccess);
  EXPECT_EQ(vkf.data,
            "[BIOS]\r\nName = Vendor\r\n"
            "Version = 1.0\r\nVersion = 1.1\r\n"
            "[OemString]\r\nString = oem\r\n");
  test_memory::fail_formatting(1);
  vkf = MemoryStream();
  reset_run_state();
  convert("(/SM)x \"a\"\n(/SP)x \"b\"\n");
  EXPECT_EQ(vkf.data, "[System]\r\nProduct = b\r\n");
}

// A dump that cannot be read to its end ends the run there: no line read in
// part is converted, and nothing says "done". Read 1 takes the first two
// bytes, read 2 the first window, and read 3 fails: it would bring the
// second field line, which starts at the window's end or crosses it.
TEST_F(ConversionRunTest, ReadErrorInTheMiddleStopsTheRun) {
  const std::string first = "(/SM)x \"first\"\n";
  const std::string second = "(/SP)x \"" + std::string(100, 'p') + "\"\n";
  for (size_t second_start : {kReadWindowSize, kReadWindowSize - 20}) {
    SCOPED_TRACE(second_start);
    reset_run_state();
    vkf = MemoryStream();
    dump = MemoryStream();
    console.text.clear();
    dump.failing_read = 3;
    RunResult result = convert(first + std::string(second_start - first.size(), '\n') + second);
    EXPECT_EQ(result.outcome, RunReadError);
    EXPECT_EQ(result.read_status, dump.read_error);
    EXPECT_EQ(vkf.data, "[System]\r\nManufacturer = first\r\n");
    EXPECT_EQ(console.text.find("done"), std::string::npos);
  }
}

TEST_F(ConversionRunTest, EightBitDumpThatCannotBeRewoundIsNotConverted) {
  dump.set_position_fails = true;
  RunResult result = convert("(/SM)x \"v\"\n");
  EXPECT_EQ(result.outcome, RunReadError);
  EXPECT_EQ(vkf.data, "");
}

TEST_F(ConversionRunTest, WriteRecordRefusesTypesWithoutSection) {
  char code[] = "XX", key[] = "Key", value[] = "v";
  DumpRecord record = {7, code, key, value};
  CoreStream stream = vkf.stream();
  last_written_type = 0;
  EXPECT_FALSE(write_record(&record, &stream));
  EXPECT_EQ(last_written_type, 0);
  EXPECT_EQ(vkf.writes, 0u);
  EXPECT_FALSE(write_record(nullptr, &stream));
  EXPECT_FALSE(write_record(&record, nullptr));
}

}  // namespace
