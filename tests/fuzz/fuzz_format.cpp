// Fuzz target: the format engine with formats whose directives take
// integers, into bounded buffers and on a console.
//
// Input: byte 0 the size in bytes of the LibFormatAscii buffer (0 to 255),
// byte 1 the size of the LibFormatToBuffer buffer less 2, byte 2 a count K
// (mod 16), then K argument slots of 8 bytes (little endian), then the
// 8-bit format. The conversions that take pointers (a s g t) are replaced by
// x, so every argument is an integer; slots past the K given are 0. The
// output is kept finite: a width of more than 4 digits is not run, and when
// the format has a '*' every slot is taken modulo 4096.
// Invariants:
//   * no store past either buffer, and both are always terminated;
//   * the engine's count is the number of characters it delivered;
//   * each bounded text is the start of the whole text, as long as fits;
//     the UCS-2 format gives the same text as the 8-bit one, and so does a
//     console unless the format switches its attributes;
//   * hexadecimal and decimal number texts are those of snprintf, with a
//     ',' between thousands when grouping.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeFirmware.h"
#include "FuzzCheck.h"
#include "FuzzFirmware.h"
#include "IO.h"

namespace {

constexpr size_t kLongestWidth = 4;
constexpr uint64_t kWidthArgumentLimit = 4096;

// The format as run, or false for one that is not run.
bool PrepareFormat(std::string* Format, std::vector<UINT64>* Slots) {
  size_t digits = 0;
  for (char& c : *Format) {
    if (c == 'a' || c == 's' || c == 'g' || c == 't') c = 'x';
    digits = c >= '0' && c <= '9' ? digits + 1 : 0;
    if (digits > kLongestWidth) return false;
  }
  if (Format->find('\0') != std::string::npos) Format->resize(Format->find('\0'));
  if (Format->find('*') != std::string::npos) {
    for (UINT64& slot : *Slots) slot %= kWidthArgumentLimit;
  }
  Slots->resize(Slots->size() + Format->size() + 1, 0);
  return true;
}

EFI_STATUS AppendTo(VOID* Target, const CHAR16* Chunk) {
  for (; *Chunk != 0; ++Chunk) static_cast<std::u16string*>(Target)->push_back(*Chunk);
  return EFI_SUCCESS;
}

// The whole text of the run, however long.
std::u16string WholeText(const std::string& Format, const UINT64* Args) {
  std::u16string text;
  FormatState state = {};
  state.Format8 = TRUE;
  state.Format = Format.c_str();
  state.Args = Args;
  state.Write = AppendTo;
  state.Target = &text;
  const UINTN count = LibFormatRun(&state);
  FUZZ_CHECK(count == text.size(), "count " + std::to_string(count) + " for " + std::to_string(text.size()));
  return text;
}

std::string Narrow(const std::u16string& Text) {
  std::string bytes;
  for (char16_t unit : Text) bytes.push_back(char(unit & 0xFF));
  return bytes;
}

void CheckAscii(const std::string& Format, const UINT64* Args, const std::u16string& Whole, size_t Size) {
  std::unique_ptr<char[]> buffer(new char[Size]);
  const UINTN stored = LibFormatAsciiV(buffer.get(), Size, Format.c_str(), Args);
  if (Size == 0) {
    FUZZ_CHECK(stored == 0, "stored into no buffer");
    return;
  }
  const size_t expected = Whole.size() < Size - 1 ? Whole.size() : Size - 1;
  FUZZ_CHECK(stored == expected && buffer[stored] == 0, "LibFormatAscii size " + std::to_string(Size));
  FUZZ_CHECK(std::string(buffer.get(), stored) == Narrow(Whole).substr(0, stored), "LibFormatAscii text");
}

void CheckUcs2(const std::string& Format, const UINT64* Args, const std::u16string& Whole, size_t Size) {
  const std::u16string wide = fuzz::Widened(Format);
  std::unique_ptr<CHAR16[]> format(new CHAR16[wide.size() + 1]);
  for (size_t i = 0; i <= wide.size(); ++i) format[i] = i < wide.size() ? wide[i] : 0;
  // A block of exactly Size bytes (an odd size leaves half a unit unused).
  std::unique_ptr<CHAR16[]> buffer(new CHAR16[(Size + 1) / 2]);
  const UINTN stored = LibFormatToBufferV(buffer.get(), Size, format.get(), Args);
  const size_t capacity = Size / 2 - 1;
  FUZZ_CHECK(stored == (Whole.size() < capacity ? Whole.size() : capacity) && buffer[stored] == 0,
             "LibFormatToBuffer size " + std::to_string(Size));
  FUZZ_CHECK(std::u16string(reinterpret_cast<char16_t*>(buffer.get()), stored) == Whole.substr(0, stored),
             "LibFormatToBuffer text");
  // A console has attributes: there N H E B V switch them and end their
  // directive, where a buffer passes them over as flags.
  if (Format.find_first_of("NHEBV") != std::string::npos) return;
  fake::FakeConsole& console = fake::FakeFirmware::Current().ConOut();
  LibPrintTo(~UINTN(0), ~UINTN(0), console.Protocol(), format.get(), nullptr, Args);
  FUZZ_CHECK(console.Text() == Whole, "the console shows another text");
}

std::string Grouped(const std::string& Digits) {
  std::string text;
  const size_t sign = Digits[0] == '-' ? 1 : 0;
  for (size_t i = 0; i < Digits.size(); ++i) {
    if (i > sign && (Digits.size() - i) % 3 == 0) text.push_back(',');
    text.push_back(Digits[i]);
  }
  return text;
}

void CheckNumberTexts(UINT64 Value) {
  CHAR16 text[32];
  char expected[32];
  LibHexText(text, Value);
  snprintf(expected, sizeof(expected), "%llX", static_cast<unsigned long long>(Value));
  FUZZ_CHECK(std::u16string(reinterpret_cast<char16_t*>(text)) == std::u16string(expected, expected + strlen(expected)),
             "LibHexText");
  snprintf(expected, sizeof(expected), "%lld", static_cast<long long>(Value));
  for (bool grouping : {false, true}) {
    LibDecimalText(text, grouping, INT64(Value));
    std::string digits = grouping ? Grouped(expected) : expected;
    FUZZ_CHECK(std::u16string(reinterpret_cast<char16_t*>(text)) == std::u16string(digits.begin(), digits.end()),
               "LibDecimalText " + digits);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const size_t asciiSize = input.Byte();
  const size_t ucs2Size = input.Byte() + 2;
  std::vector<UINT64> slots(input.Byte() % 16);
  for (UINT64& slot : slots) {
    std::string bytes = input.Take(8);
    bytes.resize(8, '\0');
    for (size_t i = 8; i-- > 0;) slot = (slot << 8) | uint8_t(bytes[i]);
  }
  std::string format = input.Rest();
  for (UINT64 slot : slots) CheckNumberTexts(slot);
  if (!PrepareFormat(&format, &slots)) return 0;

  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  const std::u16string whole = WholeText(format, slots.data());
  CheckAscii(format, slots.data(), whole, asciiSize);
  CheckUcs2(format, slots.data(), whole, ucs2Size);
  fuzz::EndOnFirmware(fw, false, "format " + fuzz::Escaped(format));
  return 0;
}
