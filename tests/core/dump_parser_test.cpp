#include "dump_parser.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "binding.h"
#include "run_state.h"
#include "test_binding.h"
#include "vocabulary.h"

namespace {

class DumpParserTest : public ::testing::Test {
 protected:
  void SetUp() override { test_memory::reset(); }
  void TearDown() override { EXPECT_EQ(test_memory::live_blocks(), 0u); }
};

struct ParseCase {
  const char* line;
  bool parsed;
  uint8_t type;
  const char* code;
  const char* key;
  const char* value;
};

const ParseCase kParseCases[] = {
    {"(/SS)System Serial Number    \"ABC-123\"", true, 1, "SS", "SerialNum", "ABC-123"},
    // The strip-h rule: only a lowercase h, only for flagged fields.
    {"(/ss)x \"1234h\"", true, 1, "ss", "SerialNum", "1234"},
    {"(/SS)x \"1234H\"", true, 1, "SS", "SerialNum", "1234H"},
    {"(/SM)x \"1234h\"", true, 1, "SM", "Manufacturer", "1234h"},
    {"(/ca)x \"0Ah\"", true, 3, "ca", "TagNum", "0A"},
    {"(/CT)x \"03h\"", true, 3, "CT", "ChassisType", "03h"},
    {"(/SU)x \"h\"", true, 1, "SU", "UUID", ""},
    {"(/SU)x \"ah\" tail h", true, 1, "SU", "UUID", "a"},
    // The value runs from the first to the last double quote.
    {"(/SS)\"A\"B\"", true, 1, "SS", "SerialNum", "A\"B"},
    {"(/BLC)Location \"Slot \"A\" (front)\" trailing", true, 2, "BLC", "LocInChassis", "Slot \"A\" (front)"},
    {"(/IVN)x \"\"", true, 0, "IVN", "Name", ""},
    {"(/OS)OEM string \"text\"\r\n", true, 11, "OS", "String", "text"},
    {"(/Ivn)mixed case \"v\"", true, 0, "Ivn", "Name", "v"},
    {"(/CSK)x \"(/SM)\"", true, 3, "CSK", "ChassisSKU", "(/SM)"},
    // Blanks: only spaces and tabs around the line are removed.
    {" \t (/SM)x \"v\" \t ", true, 1, "SM", "Manufacturer", "v"},
    {"\r(/SM)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"\xEF\xBB\xBF(/SM)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    // Code length limits and unknown codes.
    {"(/ABCDEF)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"(/ABCDE)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"(/OS 1)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"(/)SS \"v\" xx", false, 0, nullptr, nullptr, nullptr},
    {"(/SM x \"v\")", false, 0, nullptr, nullptr, nullptr},
    {"(/S)x \"value\"", false, 0, nullptr, nullptr, nullptr},
    // The shape: length, opening, quotes.
    {"(/SS)\"ab\"", false, 0, nullptr, nullptr, nullptr},
    {"(/SS)\"abc\"", true, 1, "SS", "SerialNum", "abc"},
    {"  (/SS)\"ab\"  ", false, 0, nullptr, nullptr, nullptr},
    {"[/SM)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"((SM)x \"v\"", false, 0, nullptr, nullptr, nullptr},
    {"(/SM)x \"value", false, 0, nullptr, nullptr, nullptr},
    {"(/SM)x value here", false, 0, nullptr, nullptr, nullptr},
    {"System Information", false, 0, nullptr, nullptr, nullptr},
    {"", false, 0, nullptr, nullptr, nullptr},
};

TEST_F(DumpParserTest, ParsesFieldLinesAndSkipsEverythingElse) {
  for (const ParseCase& c : kParseCases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    DumpRecord record = {};
    ASSERT_EQ(parse_line(&line[0], &record), c.parsed ? ParseRecord : ParseSkipped);
    if (!c.parsed) {
      EXPECT_EQ(record.code, nullptr);
      continue;
    }
    EXPECT_EQ(record.type, c.type);
    EXPECT_STREQ(record.code, c.code);
    EXPECT_STREQ(record.key, c.key);
    EXPECT_STREQ(record.value, c.value);
    EXPECT_EQ(test_memory::live_blocks(), 3u);
    release_memory(record.code);
    release_memory(record.key);
    release_memory(record.value);
  }
}

// A field line that cannot be allocated says so, so that the run can tell a
// lost record from a line that is not a field; other lines allocate nothing.
TEST_F(DumpParserTest, AllocationFailureLeavesNothingAllocated) {
  for (size_t failing = 1; failing <= 3; ++failing) {
    SCOPED_TRACE(failing);
    test_memory::fail_allocation(failing);
    char line[] = "(/SS)Serial \"12h\"";
    DumpRecord record = {};
    EXPECT_EQ(parse_line(line, &record), ParseOutOfMemory);
    EXPECT_EQ(test_memory::live_blocks(), 0u);
  }
  test_memory::fail_allocation(1);
  char unknown[] = "(/XX)Unknown \"12\"";
  DumpRecord record = {};
  EXPECT_EQ(parse_line(unknown, &record), ParseSkipped);
}

TEST_F(DumpParserTest, RefusesMissingArguments) {
  char line[] = "(/SS)Serial \"12\"";
  DumpRecord record = {};
  EXPECT_EQ(parse_line(nullptr, &record), ParseSkipped);
  EXPECT_EQ(parse_line(line, nullptr), ParseSkipped);
}

TEST_F(DumpParserTest, TrimBlanksRemovesOnlySpacesAndTabs) {
  const char* cases[][2] = {
      {"", ""}, {" \t \t", ""}, {"a", "a"}, {"  a b ", "a b"}, {"\ta\t", "a"}, {"\ra\n", "\ra\n"}, {" x\r\n ", "x\r\n"},
  };
  for (auto& c : cases) {
    std::string text = c[0];
    trim_blanks(&text[0]);
    EXPECT_STREQ(text.c_str(), c[1]) << "from [" << c[0] << "]";
  }
}

TEST(VocabularyTest, EveryFieldIsFoundByItsCodeInEitherCase) {
  for (const FieldRow* row = FieldTable; row->type != kNoSectionType; ++row) {
    std::string lower = row->code;
    for (char& ch : lower) ch = static_cast<char>(ch - 'A' + 'a');
    EXPECT_EQ(find_field(row->code), row);
    EXPECT_EQ(find_field(lower.c_str()), row);
    EXPECT_EQ(field_key_length(row), strlen(row->key));
    ASSERT_NE(find_section(row->type), nullptr) << row->code;
  }
  EXPECT_EQ(find_field("IVNX"), nullptr);
  EXPECT_EQ(find_field("I"), nullptr);
  EXPECT_EQ(find_field(""), nullptr);
  EXPECT_EQ(find_field("S\xd3"), nullptr);  // Only A-Z fold: 0xD3 is not 's'.
}

TEST(VocabularyTest, SectionsByType) {
  EXPECT_STREQ(find_section(0)->name, "BIOS");
  EXPECT_STREQ(find_section(2)->name, "BaseBoard");
  EXPECT_STREQ(find_section(11)->name, "OemString");
  EXPECT_EQ(find_section(4), nullptr);
  EXPECT_EQ(find_section(kNoSectionType), nullptr);
}

}  // namespace
