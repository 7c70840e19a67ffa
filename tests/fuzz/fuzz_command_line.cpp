// Fuzz target: start-up's split of an EFI 1.x command line under a UEFI 2.x shell.
//
// Input: the command line as UCS-2 units, little endian (an odd last byte is
// dropped), in a buffer of exactly that many units with no terminator.
// Invariants:
//   * no read before or past the line and no write past Length + 1 units of
//     the argument buffer; every argument text is terminated;
//   * the count start-up allocates by equals the arguments then read, and
//     the length read with a null buffer equals the length stored;
//   * a line with no quote and no caret splits at blanks like any shell,
//     with no information bits;
//   * the arguments survive a round trip: written again with every character
//     escaped, or quoted (quotes and carets escaped), they read back as the
//     same texts with the information bits those spellings give.
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FuzzCheck.h"
#include "Protocol/ShellInterface.h"

namespace {

struct Arg {
  std::u16string Text;
  UINT32 Info;
  bool operator==(const Arg& Other) const { return Text == Other.Text && Info == Other.Info; }
};

std::string Describe(const std::u16string& Line, const std::vector<Arg>& Args) {
  std::string text = "line: ";
  for (char16_t unit : Line) text += unit < 0x80 ? std::string(1, char(unit)) : "\\u" + std::to_string(unit);
  text += "\nargs:";
  for (const Arg& arg : Args) text += " [" + std::to_string(arg.Text.size()) + "/" + std::to_string(arg.Info) + "]";
  return text;
}

// Splits Line (its units exactly, in a heap block of that size) as start-up does.
std::vector<Arg> Split(const std::u16string& Line) {
  std::unique_ptr<CHAR16[]> text(new CHAR16[Line.size() + 1]);
  Line.copy(reinterpret_cast<char16_t*>(text.get()), Line.size());
  CommandLineCursor cursor = CommandLineStart(Line.empty() ? nullptr : text.get(), Line.size());
  const UINTN count = CommandLineCount(cursor);
  std::vector<Arg> args;
  for (;;) {
    CommandLineCursor probe = cursor;
    CommandLineArg measured = {};
    if (!CommandLineNext(&probe, nullptr, &measured)) break;
    std::unique_ptr<CHAR16[]> out(new CHAR16[measured.Length + 1]);
    CommandLineArg stored = {};
    FUZZ_CHECK(CommandLineNext(&cursor, out.get(), &stored), Describe(Line, args));
    FUZZ_CHECK(stored.Length == measured.Length && stored.Info == measured.Info, Describe(Line, args));
    FUZZ_CHECK(out[stored.Length] == 0, Describe(Line, args));
    args.push_back(Arg{std::u16string(reinterpret_cast<char16_t*>(out.get()), stored.Length), stored.Info});
  }
  FUZZ_CHECK(count == args.size(), Describe(Line, args));
  return args;
}

bool IsBlank(char16_t Unit) { return Unit == u' ' || Unit == u'\t'; }

// The blank-separated words of the line up to its first NUL.
std::vector<Arg> Words(const std::u16string& Line) {
  std::vector<Arg> words;
  std::u16string word;
  for (char16_t unit : Line.substr(0, Line.find(u'\0'))) {
    if (!IsBlank(unit)) {
      word.push_back(unit);
      continue;
    }
    if (!word.empty()) words.push_back(Arg{word, 0});
    word.clear();
  }
  if (!word.empty()) words.push_back(Arg{word, 0});
  return words;
}

// The arguments written again: each character as ^c, or the text in quotes
// with its quotes and carets escaped. An empty argument becomes "".
std::u16string Respelled(const std::vector<Arg>& Args, bool Quoted) {
  std::u16string line;
  for (const Arg& arg : Args) {
    line += Quoted || arg.Text.empty() ? u" \"" : u" ";
    for (char16_t unit : arg.Text) {
      if (!Quoted || unit == u'"' || unit == u'^') line.push_back(u'^');
      line.push_back(unit);
    }
    if (Quoted || arg.Text.empty()) line.push_back(u'"');
  }
  return line;
}

UINT32 RespelledInfo(const Arg& Original, bool Quoted) {
  if (Original.Text.empty()) return ARG_IS_QUOTED;
  const bool firstEscaped = !Quoted || Original.Text[0] == u'"' || Original.Text[0] == u'^';
  return (Quoted ? ARG_IS_QUOTED : 0) | (firstEscaped ? ARG_FIRST_CHAR_IS_ESC : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const std::u16string line = input.RestUcs2();
  const std::vector<Arg> args = Split(line);
  const std::u16string beforeNul = line.substr(0, line.find(u'\0'));
  if (beforeNul.find_first_of(u"\"^") == std::u16string::npos) {
    FUZZ_CHECK(args == Words(line), Describe(line, args));
  }
  for (bool quoted : {false, true}) {
    std::vector<Arg> again = Split(Respelled(args, quoted));
    FUZZ_CHECK(again.size() == args.size(),
               Describe(line, args) + "\nround trip: " + Describe(Respelled(args, quoted), again));
    for (size_t i = 0; i < args.size(); ++i) {
      FUZZ_CHECK(again[i].Text == args[i].Text && again[i].Info == RespelledInfo(args[i], quoted),
                 Describe(line, args) + "\nround trip: " + Describe(Respelled(args, quoted), again));
    }
  }
  return 0;
}
