// The format engine through its buffer and console entries.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "FirmwareTest.h"
#include "IO.h"
#include "Init.h"

namespace {

using fake::FakeConsole;
using fake::Narrow;

class FormatTest : public fake::FirmwareTest {};

std::string Format(const CHAR16* Format, const std::vector<UINT64>& Args) {
  CHAR16 buffer[2000];
  UINTN stored = LibFormatToBufferV(buffer, sizeof(buffer), Format, Args.data());
  return Narrow(std::u16string(buffer, stored));
}

// The console's calls, compactly: the text of OutputString, [XX] for SetAttribute.
std::string CallLog(const FakeConsole& Console) {
  std::string log;
  for (const FakeConsole::Call& call : Console.Calls()) {
    char attribute[8];
    std::snprintf(attribute, sizeof(attribute), "[%02X]", unsigned(call.Attribute));
    if (call.Kind == FakeConsole::CallKind::OutputString) log += "'" + Narrow(call.Text) + "'";
    if (call.Kind == FakeConsole::CallKind::SetAttribute) log += attribute;
  }
  return log;
}

TEST_F(FormatTest, DirectivesWidthsAndPadding) {
  struct Case {
    const CHAR16* Format;
    std::vector<UINT64> Args;
    const char* Expected;
  };
  const UINT64 ab8 = LibArgSlot("ab"), ab = LibArgSlot(u"ab");
  const Case cases[] = {
      {u"%5d|%05d|%-5d|%.5d|%-.5d|%.2d", {42, 42, 42, 42, 42, 12345}, "   42|00042|   42|   42|42   |12"},
      {u"%.0d|%.05d|%3.6d|%-3.6d|%l0-,5d", {42, 42, 42, 42, 7}, "42|   42|    42| 42   |00007"},
      {u"%5s|%.5s|%.1s|%5a|%.5a", {ab, ab, ab, ab8, ab8}, "   ab|ab   |a|   ab|ab   "},
      {u"%X|%lX|%x|%x|%X|%8X|%4X|%X",
       {0x1F, 0x1F, 0x1F, 0, 0, 0xABC, 0xABC, 0x123456789ULL},
       "0000001F|000000000000001F|1F|0|00000000|00000ABC|00000ABC|123456789"},
      {u"%d|%d|%,d|%,d|%,d|%,d|%,d",
       {0, UINT64(-5), 1000, 999, 100000, 1234567, UINT64(-1234)},
       "0|-5|1,000|999|100,000|1,234,567|-1,234"},
      {u"%d|%,d|%05d", {1ULL << 63, 1ULL << 63, UINT64(-42)}, "-9223372036854775808|-9,223,372,036,854,775,808|-0042"},
      // The sign rule is for numbers: a '-' character or text pads like any other.
      {u"%05c|%05s|%05d", {'-', LibArgSlot(u"-1"), UINT64(-1)}, "0000-|000-1|-0001"},
      {u"%c%c|%%|%q|%s|%a|%g|%t", {0x41, 0x10042, 0, 0, 0, 0}, "AB|%|?|(null)|(null)|(null)|(null)"},
      // Without attributes (a buffer) H is passed over; h changes nothing.
      {u"%Hs|%Hx|%hx", {ab, 255, 255}, "ab|FF|FF"},
      {u"[%*d][%.*s][%-*.*s]", {6, 42, 1, ab, 2, 4, ab}, "[    42][a][ab  ]"},
      {u"a\nb|a\r\nb|%s\n", {LibArgSlot(u"x\ny")}, "a\r\nb|a\r\nb|x\r\ny\r\n"},
      {u"ab%", {}, "ab"},
      {u"ab%5", {}, "ab"},
      {u"ab%-", {}, "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.Format, c.Args), c.Expected) << Narrow(c.Format);
  // The templates widen every argument to its own slot.
  INT32 negative = -7;
  UINT8 byte = 200;
  CHAR16 out[40];
  LibFormatToBuffer(out, sizeof(out), u"%d %d %x %c %a", negative, byte, 0xBEEFu, u'z', "\xE9");
  EXPECT_EQ(std::u16string(out), u"-7 200 BEEF z \xE9");
}

// The shared subset agrees with the host's printf.
TEST_F(FormatTest, NumbersAgreeWithHostPrintf) {
  const INT64 values[] = {
      0, 1, -1, 9, 10, -42, 999, -1000, 0x7FFFFFFF, 0xFFFFFFFF, 0x100000000, 1234567890123LL, INT64_MAX, INT64_MIN};
  const std::pair<const CHAR16*, const char*> pairs[] = {
      {u"%d", "%" PRId64}, {u"%5d", "%5" PRId64}, {u"%05d", "%05" PRId64}, {u"%22d", "%22" PRId64},
      {u"%x", "%" PRIX64}, {u"%X", "%08" PRIX64}, {u"%lX", "%016" PRIX64}, {u"%012x", "%012" PRIX64}};
  for (const auto& pair : pairs) {
    for (INT64 value : values) {
      char expected[64];
      std::snprintf(expected, sizeof(expected), pair.second, value);
      EXPECT_EQ(Format(pair.first, {UINT64(value)}), expected) << Narrow(pair.first) << " of " << value;
    }
  }
}

TEST_F(FormatTest, BufferCapacities) {
  // StrSize, characters stored; the terminator follows them and nothing after it is touched.
  const std::pair<UINTN, UINTN> cases[] = {{10, 4}, {2, 0}, {3, 0}, {14, 6}, {1, 6}};
  for (const auto& c : cases) {
    CHAR16 buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LibFormatToBuffer(buffer, c.first, u"abcdef"), c.second) << c.first;
    EXPECT_EQ(std::u16string(buffer, c.second + 2), std::u16string(u"abcdef", c.second) + u'\0' + u'#');
  }
  char narrow[400];
  std::fill(std::begin(narrow), std::end(narrow), '#');
  EXPECT_EQ(LibFormatAscii(narrow, 0, "abc"), 0u);
  EXPECT_EQ(narrow[0], '#');
  EXPECT_EQ(LibFormatAscii(narrow, 1, "abc"), 0u);
  EXPECT_EQ(std::string(narrow, 2), std::string("\0#", 2));
  const std::string v300(300, 'v');
  EXPECT_EQ(LibFormatAscii(narrow, 256, "%a", v300.c_str()), 255u);
  EXPECT_EQ(std::string(narrow), v300.substr(45));
  // The caller's buffer is the only bound: the result and the format may be
  // longer than any work buffer would hold.
  EXPECT_EQ(LibFormatAscii(narrow, sizeof(narrow), "%a%a", v300.c_str(), v300.c_str()), 399u);
  EXPECT_EQ(LibFormatAscii(narrow, sizeof(narrow), std::string(330, 'f').c_str()), 330u);
  EXPECT_EQ(LibFormatAscii(narrow, sizeof(narrow), "[%a]\r\n%a = %a\n", "System", "Manufacturer", "Maker"), 32u);
  EXPECT_EQ(std::string(narrow), "[System]\r\nManufacturer = Maker\r\n");
}

TEST_F(FormatTest, FormatAsciiKeepsEveryByteOfAnEightBitString) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += char(b);
  char buffer[300];
  EXPECT_EQ(LibFormatAscii(buffer, sizeof(buffer), "%a", all.c_str()), 256u);
  EXPECT_EQ(std::string(buffer), all.substr(0, 9) + "\r" + all.substr(9));  // the line feed gains its CR
  EXPECT_EQ(LibFormatAscii(buffer, sizeof(buffer), "%s", u"\x141z"), 2u);   // UCS-2 keeps the low byte
  EXPECT_EQ(std::string(buffer), "Az");
}

TEST_F(FormatTest, ChunksAndTheLineFeedRuleAcrossFlushes) {
  std::u16string text(2500, u'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = u'a' + i % 26;
  EXPECT_EQ(LibPrintConsole(u"%s", text.c_str()), 2500u);
  EXPECT_EQ(LibPrintConsole(u""), 0u);  // an empty format still writes one empty chunk
  // A line feed right after a flush: the previous chunk's last character decides.
  EXPECT_EQ(LibPrintConsole(u"%s\nZ", text.substr(0, 1021).c_str()), 1024u);
  EXPECT_EQ(LibPrintConsole(u"%s\r\nZ", text.substr(0, 1020).c_str()), 1023u);
  std::vector<std::u16string> chunks;
  for (const FakeConsole::Call& call : fw.ConOut().Calls()) chunks.push_back(call.Text);
  EXPECT_EQ(chunks,
            (std::vector<std::u16string>{text.substr(0, 1021), text.substr(1021, 1021), text.substr(2042), u"",
                                         text.substr(0, 1021), u"\r\nZ", text.substr(0, 1020) + u"\r", u"\nZ"}));
}

TEST_F(FormatTest, ConsoleAttributes) {
  struct Case {
    INT32 Mode;
    const CHAR16* Format;
    const char* Calls;
    INT32 ModeAfter;
  };
  const Case cases[] = {
      {0x07, u"Flag - '%hs'\n", "'Flag - ''[0F]'-z'[07]''\r\n'", 0x07},
      {0x07, u"a%Hb%s%Nc", "'a'[0F]'b-z'[07]'c'", 0x07},
      {0x07, u"%Ex", "''[0E]'x'", 0x0E},        // a switch stays on the console
      {0x07, u"a%h", "'a'[0F]''[07]''", 0x07},  // a format cut short still restores
      {0x1F, u"%N1%H2%E3%B4%V5", "''[16]'1'[1F]'2'[1E]'3'[19]'4'[1A]'5'", 0x1A},
      {0x70, u"%N1%hs", "''[70]'1'[7F]'-z'[70]''", 0x70},
  };
  for (const Case& c : cases) {
    fw.ConOut().Clear();
    fw.ConOut().SetModeAttribute(c.Mode);
    LibPrintConsole(c.Format, u"-z");
    EXPECT_EQ(CallLog(fw.ConOut()), c.Calls) << Narrow(c.Format);
    EXPECT_EQ(fw.ConOut().ModeAttribute(), c.ModeAfter) << Narrow(c.Format);
  }
}

TEST_F(FormatTest, PrintToPositionsTheCursorAndTakesEightBitFormats) {
  const UINT64 slots[] = {LibArgSlot("x")};
  EXPECT_EQ(LibPrintTo(3, 4, fw.StdErr().Protocol(), nullptr, "[%a]", slots), 3u);
  EXPECT_EQ(LibPrintTo(~UINTN(0), 9, fw.StdErr().Protocol(), u"y", "ignored", nullptr), 1u);
  ASSERT_EQ(fw.StdErr().Calls().size(), 3u);
  EXPECT_EQ(fw.StdErr().Calls()[0].Kind, FakeConsole::CallKind::SetCursorPosition);
  EXPECT_EQ(fw.StdErr().Calls()[0].Column * 10 + fw.StdErr().Calls()[0].Row, 34u);  // at (3, 4)
  EXPECT_EQ(fw.StdErr().Ascii(), "[x]y");
  EXPECT_EQ(LibPrintTo(~UINTN(0), 0, nullptr, u"x", nullptr, nullptr), 0u);
  EXPECT_EQ(fw.TakeAssertConditions(), std::vector<std::string>{"((void *) 0) != Out"});
}

TEST_F(FormatTest, RunWithoutItsBlocksWritesNothing) {
  for (size_t failing : {1, 2}) {  // the scratch, the chunk buffer
    fw.StdErr().Clear();
    fw.FailAllocation(failing);
    EXPECT_EQ(LibPrintConsole(u"text %d", 5), EFI_OUT_OF_RESOURCES);
    // Only the allocator's own report gets through.
    EXPECT_EQ(fw.StdErr().Ascii(), "AllocatePool: out of pool  8000000000000009\r\n");
    EXPECT_EQ(fw.LiveBlockCount(), 0u);
  }
  CHAR16 wide[8] = u"keep";
  fw.FailAllocation(1);
  EXPECT_EQ(LibFormatToBuffer(wide, sizeof(wide), u"new"), 0u);
  EXPECT_EQ(std::u16string(wide), u"keep");
  char narrow[8] = "keep";
  fw.FailAllocation(1);
  EXPECT_EQ(LibFormatAscii(narrow, sizeof(narrow), "new"), 0u);
  EXPECT_EQ(std::string(narrow), "");
  // Pool gone for good: the report of the failure cannot recurse either.
  fw.StdErr().Clear();
  fw.FailAllocationsFrom(1);
  EXPECT_EQ(LibPrintConsole(u"x"), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(fw.ConOut().OutputStringCalls() + fw.StdErr().OutputStringCalls(), 0u);
}

}  // namespace
