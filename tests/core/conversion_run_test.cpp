#include "conversion_run.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ReferenceVkf.h"
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
  static void trace(void* self, uint8_t type, const char* section, const char* code, const char* key,
                    const char* value) {
    log(self) +=
        "Type: (" + std::to_string(type) + ")" + section + ", Field: (" + code + ")" + key + ", Value: " + value + "\n";
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

  // Starts the next run of a table as the test's first: the last one left
  // nothing allocated, and no state, failure or byte of it carries over.
  void start_afresh() {
    EXPECT_EQ(test_memory::live_blocks(), 0u);
    reset_run_state();
    test_memory::reset();
    vkf = MemoryStream();
    dump = MemoryStream();
    console.text.clear();
  }

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
  dump.failing_reads = {{1, MemoryStream::kDeviceError}};
  RunResult result = convert("(/SM)x \"v\"\n");
  EXPECT_EQ(result.outcome, RunReadError);
  EXPECT_EQ(result.read_status, MemoryStream::kDeviceError);
  EXPECT_EQ(console.text, "");
}

// A dump without a field line is no dump of the DMI editor (a wrong file
// picked): the run reads it to its end and fails, writing nothing.
TEST_F(ConversionRunTest, DumpWithoutFieldLineFails) {
  const struct {
    const char* bytes;
    bool eight_bit;
  } rows[] = {{"\xFF\xFE", false}, {"ab", true}, {"NAME=\"Debian\"\n[BIOS]\r\nName = x\r\n", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes);
    console.text.clear();
    RunResult result = convert(row.bytes);
    EXPECT_EQ(result.outcome, RunNoFields);
    EXPECT_EQ(result.records_written, 0u);
    EXPECT_EQ(text_is_8bit, row.eight_bit);
    EXPECT_EQ(console.text, "progress\n");
    EXPECT_EQ(vkf.data, "");
  }
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
  EXPECT_EQ(result.records_written, 5u);
  EXPECT_EQ(vkf.data, kMixedVkf);
  EXPECT_EQ(console.text,
            "progress\n"
            "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\n"
            "Type: (1)System, Field: (sm)Manufacturer, Value: Maker\n"
            "Type: (0)BIOS, Field: (IV)Version, Value: 1.0\n"
            "Type: (0)BIOS, Field: (IV)Version, Value: 1.1\n"
            "Type: (11)OemString, Field: (OS)String, Value: oem\n");
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

// The first failure ends the run: nothing is written after it, no further
// record is traced, and the result names that failure, not a later one.
// Reads of kMixedDump: 1 its first two bytes, 2 all the rest, 3 the end.
// Every record is one write.
TEST_F(ConversionRunTest, FirstFailureEndsTheRun) {
  using Failures = std::vector<MemoryStream::Failure>;
  const uint64_t device_error = MemoryStream::kDeviceError;
  const uint64_t write_protected = MemoryStream::kWriteProtected;
  const uint64_t volume_full = MemoryStream::kVolumeFull;
  const std::string first_record = "[BIOS]\r\nName = Vendor\r\n";
  const std::string two_records = first_record + "[System]\r\nManufacturer = Maker\r\n";
  // The rows stay one to a line or two.
  // clang-format off
  const struct {
    const char* name;
    Failures failing_reads;
    Failures failing_writes;
    std::vector<size_t> short_writes;
    size_t failing_allocation;  // 1: the code of the first record
    size_t failing_format;
    RunOutcome outcome;
    uint64_t read_status;
    uint64_t write_status;
    std::string vkf;
    size_t traces;
  } rows[] = {
      {"writes 3 and 4 fail", {}, {{3, device_error}, {4, volume_full}}, {}, 0, 0, RunWriteError, 0,
       device_error, two_records, 3},
      {"write 1 fails, write-protected", {}, {{1, write_protected}}, {}, 0, 0, RunWriteError, 0,
       write_protected, "", 1},
      {"write 2 fails with an errno value", {}, {{2, 28}}, {}, 0, 0, RunWriteError, 0, 28,
       first_record, 2},
      {"short write", {}, {}, {1}, 0, 0, RunWriteError, 0, kShortWriteStatus, "[BIOS]\r\nNam", 1},
      {"short write, then a failing one", {}, {{3, device_error}}, {2}, 0, 0, RunWriteError, 0,
       kShortWriteStatus, first_record + "[System]\r\nManufa", 2},
      {"failing write, then no memory", {}, {{1, volume_full}}, {}, 4, 0, RunWriteError, 0,
       volume_full, "", 1},
      {"no memory for a record", {}, {}, {}, 4, 0, RunOutOfMemory, 0, 0, first_record, 1},
      {"no memory, then a failing write", {}, {{2, device_error}}, {}, 4, 0, RunOutOfMemory, 0, 0,
       first_record, 1},
      {"record cannot be formatted", {}, {}, {}, 0, 2, RunOutOfMemory, 0, 0, first_record, 2},
      {"failing write, then a failing read", {{3, device_error}}, {{1, volume_full}}, {}, 0, 0,
       RunWriteError, 0, volume_full, "", 1},
      {"failing read, then failing writes", {{2, device_error}}, {{1, volume_full}}, {}, 0, 0,
       RunReadError, device_error, 0, "", 0},
      // The last line has no line feed: cut off by the failure, it may be incomplete.
      {"the end cannot be read", {{3, write_protected}}, {}, {}, 0, 0, RunReadError,
       write_protected, 0, std::string(kMixedVkf).substr(0, 93), 4},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    start_afresh();
    dump.failing_reads = row.failing_reads;
    vkf.failing_writes = row.failing_writes;
    vkf.short_writes = row.short_writes;
    if (row.failing_allocation != 0) test_memory::fail_allocation(row.failing_allocation);
    if (row.failing_format != 0) test_memory::fail_formatting(row.failing_format);
    RunResult result = convert(kMixedDump);
    EXPECT_EQ(result.outcome, row.outcome);
    EXPECT_EQ(result.read_status, row.read_status);
    EXPECT_EQ(result.write_status, row.write_status);
    EXPECT_EQ(vkf.data, row.vkf);
    size_t traces = 0;
    for (size_t at = console.text.find("Type:"); at != std::string::npos; at = console.text.find("Type:", at + 1)) {
      ++traces;
    }
    EXPECT_EQ(traces, row.traces);
  }
}

// A dump that cannot be read to its end ends the run there: no line read in
// part is converted. Read 1 takes the first two
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
    // Read 4 would fail as well: the status of the first failure is reported.
    dump.failing_reads = {{3, MemoryStream::kDeviceError}, {4, MemoryStream::kVolumeFull}};
    RunResult result = convert(first + std::string(second_start - first.size(), '\n') + second);
    EXPECT_EQ(result.outcome, RunReadError);
    EXPECT_EQ(result.read_status, MemoryStream::kDeviceError);
    EXPECT_EQ(vkf.data, "[System]\r\nManufacturer = first\r\n");
  }
}

// Dump lines that try the reading and parsing rules: field lines of known
// and unknown codes in any letter case, values with quotes and a final h,
// NUL characters, lines over 255 characters, blanks around a line.
std::string random_dump(std::mt19937& random) {
  const char* const codes[] = {"SM", "sS", "BLC", "CSK", "OS", "IVN", "XX", "", "ABCDEF", "SU"};
  const std::string values[] = {"v", "", "0Ah", "a \"q\" b", "h", std::string(300, 'w')};
  std::string dump;
  const size_t lines = random() % 30;
  for (size_t i = 0; i < lines; ++i) {
    std::string line = random() % 4 == 0 ? " \t" : "";
    if (random() % 6 == 0) {
      line += random() % 2 ? "heading" : std::string("(/SM)x \"a\0b\"", 13);
    } else {
      line += std::string("(/") + codes[random() % 10] + ")x \"" + values[random() % 6] + "\"";
      if (random() % 8 == 0) line += std::string(random() % 300, 'y');
    }
    dump += line + (random() % 3 == 0 ? "\r\n" : "\n");
  }
  return dump;
}

// The core against the reference rules written apart from it: the same
// records, in the same VKF text, and a failure exactly when there is none.
TEST_F(ConversionRunTest, RecordsAreThoseOfTheReference) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    const std::string text = random_dump(random);
    const std::string bytes = round % 2 ? utf16(text) : text;
    SCOPED_TRACE(testing::Message() << "round " << round);
    start_afresh();
    const std::vector<fuzz::ReferenceRecord> records = fuzz::ReferenceRecords(bytes);
    RunResult result = convert(bytes);
    const RunOutcome expected = bytes.size() < 2 ? RunDumpTooShort : records.empty() ? RunNoFields : RunCompleted;
    ASSERT_EQ(result.outcome, expected);
    ASSERT_EQ(result.records_written, records.size());
    ASSERT_EQ(vkf.data, fuzz::ReferenceVkf(records, fuzz::LineFeeds::Copied));
  }
}

TEST_F(ConversionRunTest, EightBitDumpThatCannotBeRewoundIsNotConverted) {
  dump.set_position_fails = true;
  RunResult result = convert("(/SM)x \"v\"\n");
  EXPECT_EQ(result.outcome, RunReadError);
  EXPECT_EQ(result.read_status, 1u) << "the failed rewind's status";
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
