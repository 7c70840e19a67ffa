// Fuzz target: the flag check (LibCheckFlags) and the release of its package.
//
// Input: byte 0 options, byte 1 a number N, then the arguments after the
// command's own name, each ended by a NUL byte: its first byte is the
// argument-information word, the rest its 8-bit text (one unit per byte).
//   bit 0  the application's flag table, else a table with every kind
//   bit 1  the shell gives the information words, else none
//   N      the Nth pool allocation fails (0: none)
// Invariants:
//   * no memory error; the package and the lists agree: the counts are the
//     list lengths after a success, each node's index is an argument's, in
//     command-line order, and a success takes every argument exactly once;
//   * an argument is plain exactly when it was quoted (wholly or its first
//     part), escaped, or does not start with '-', '+' or '/'; a plain node
//     points at the shell's argument, a flag node at its argument and an item
//     of the table that takes it; LibFindFlag finds every accepted flag;
//   * an error names an argument of the command line or an item's text, and
//     a missing memory is reported only when an allocation failed;
//   * LibFreeCheckPackage leaves no pool block and empty lists.
#include <stdint.h>

#include <string>
#include <vector>

#include "FakeFirmware.h"
#include "FuzzCheck.h"
#include "FuzzFirmware.h"
#include "Protocol/ShellInterface.h"
#include "ShellApp.h"
#include "Str.h"
#include "VarCheck.h"

namespace {

const FlagCheckItem kEveryKind[] = {
    {u"/q", 0x01, 0, KindSwitch},    {u"-o", 0x02, 0, KindNextValue},   {u"-b", 0x04, 0, KindJoinedValue},
    {u"-bx", 0x08, 0, KindSwitch},   {u"/a", 0x10, 0x20, KindSwitch},   {u"/b", 0x20, 0, KindSwitch},
    {u"/s", 0x40, 0x40, KindSwitch}, {u"+v", 0x80, 0, KindJoinedValue}, {nullptr, 0, 0, KindSwitch},
};

struct CommandLine {
  std::vector<std::u16string> Texts;
  std::vector<CHAR16*> Argv;
  std::vector<EFI_SHELL_ARG_INFO> Info;
  EFI_SHELL_INTERFACE Shell = {};
};

void Build(fuzz::InputReader& Input, bool WithInfo, CommandLine* Line) {
  Line->Texts.push_back(u"cmd");
  Line->Info.push_back(EFI_SHELL_ARG_INFO{0});
  while (!Input.AtEnd() && Line->Texts.size() <= 64) {
    std::string part = Input.Until(0);
    Line->Info.push_back(EFI_SHELL_ARG_INFO{part.empty() ? 0u : uint8_t(part[0]) & 0x0Fu});
    Line->Texts.push_back(fuzz::Widened(part.empty() ? part : part.substr(1)));
  }
  for (std::u16string& text : Line->Texts) Line->Argv.push_back(reinterpret_cast<CHAR16*>(text.data()));
  Line->Argv.push_back(nullptr);
  Line->Shell.Argv = Line->Argv.data();
  Line->Shell.Argc = Line->Texts.size();
  Line->Shell.ArgInfo = WithInfo ? Line->Info.data() : nullptr;
}

bool StartsLikeFlag(const CHAR16* Arg) { return Arg[0] == u'-' || Arg[0] == u'+' || Arg[0] == u'/'; }

bool ShouldBePlain(const CommandLine& Line, size_t Index) {
  if (Line.Shell.ArgInfo != nullptr) {
    UINT32 info = Line.Info[Index].Attributes;
    if ((info & ARG_IS_QUOTED) != 0 && (info & ARG_PARTIALLY_QUOTED) == 0) return true;
    if ((info & (ARG_FIRST_HALF_QUOTED | ARG_FIRST_CHAR_IS_ESC)) != 0) return true;
  }
  return !StartsLikeFlag(Line.Argv[Index]);
}

// The table item that accepted a flag node.
const FlagCheckItem* ItemOf(const FlagCheckItem* Table, const ArgNode* Node, const CHAR16* Arg) {
  for (const FlagCheckItem* item = Table; item->FlagText != nullptr; ++item) {
    if (item->Kind == KindJoinedValue && Node->Name == item->FlagText) return item;
    if (item->Kind != KindJoinedValue && Str16CompareNoCase(Arg, item->FlagText) == 0) return item;
  }
  return nullptr;
}

size_t Length(const ArgNode* Node) {
  size_t length = 0;
  for (; Node != nullptr; Node = Node->Next) ++length;
  return length;
}

void CheckFlagNode(const CommandLine& Line, const FlagCheckItem* Table, const ArgNode* Node, std::vector<int>* Taken) {
  const CHAR16* arg = Line.Argv[Node->ArgIndex];
  FUZZ_CHECK(!ShouldBePlain(Line, Node->ArgIndex), "a plain argument was taken as a flag");
  const FlagCheckItem* item = ItemOf(Table, Node, arg);
  FUZZ_CHECK(item != nullptr, "a flag node that no item takes");
  if (item->Kind == KindJoinedValue) {
    FUZZ_CHECK(Node->Value == arg + Str16Length(item->FlagText), "a joined value points elsewhere");
  } else {
    FUZZ_CHECK(Node->Name == arg, "a flag node names another argument");
  }
  if (item->Kind == KindNextValue) {
    FUZZ_CHECK(Node->ArgIndex + 1 < Line.Argv.size() - 1 && Node->Value == Line.Argv[Node->ArgIndex + 1],
               "the value of a flag is not the next argument");
    ++(*Taken)[Node->ArgIndex + 1];
  }
  ++(*Taken)[Node->ArgIndex];
}

void CheckPackageAfter(const CommandLine& Line, const FlagCheckItem* Table, CheckPackage* Package,
                       FlagCheckResult Result, const CHAR16* Useful, bool Failing) {
  FUZZ_CHECK(Result <= FlagCheckNoMemory, "an unknown result");
  FUZZ_CHECK(Result != FlagCheckNoMemory || Failing, "out of memory with memory to spare");
  std::vector<int> taken(Line.Argv.size(), 0);
  size_t lastIndex = 0;
  for (const ArgNode* node = Package->PlainArgs; node != nullptr; node = node->Next) {
    FUZZ_CHECK(node->ArgIndex > lastIndex && node->ArgIndex < Line.Shell.Argc, "plain nodes out of order");
    lastIndex = node->ArgIndex;
    FUZZ_CHECK(node->Name == nullptr && node->Value == Line.Argv[node->ArgIndex], "a plain node points elsewhere");
    FUZZ_CHECK(ShouldBePlain(Line, node->ArgIndex), "a flag-like argument was taken as plain");
    ++taken[node->ArgIndex];
  }
  lastIndex = 0;
  for (const ArgNode* node = Package->Flags; node != nullptr; node = node->Next) {
    FUZZ_CHECK(node->ArgIndex > lastIndex && node->ArgIndex < Line.Shell.Argc, "flag nodes out of order");
    lastIndex = node->ArgIndex;
    if (node->Name == nullptr) continue;  // refused for want of a value
    CheckFlagNode(Line, Table, node, &taken);
    FUZZ_CHECK(LibFindFlag(Package, node->Name) != nullptr, "LibFindFlag misses an accepted flag");
  }
  if (Result == FlagCheckOk) {
    FUZZ_CHECK(Package->FlagCount == Length(Package->Flags) && Package->ArgCount == Length(Package->PlainArgs),
               "counts differ from the lists");
    for (size_t i = 1; i < Line.Shell.Argc; ++i) FUZZ_CHECK(taken[i] == 1, "an argument not taken exactly once");
    return;
  }
  if (Result == FlagCheckNoMemory) return;
  bool known = false;
  for (const CHAR16* arg : Line.Argv) known = known || (arg != nullptr && Useful == arg);
  for (const FlagCheckItem* item = Table; item->FlagText != nullptr; ++item) known = known || Useful == item->FlagText;
  FUZZ_CHECK(known, "the error names no argument");
  FUZZ_CHECK(Result != FlagCheckUnknown || StartsLikeFlag(Useful), "an unknown flag that is no flag");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const auto [options, failing] = fuzz::ReadHeader(input);
  CommandLine line;
  Build(input, (options & 2) != 0, &line);
  const FlagCheckItem* table = (options & 1) != 0 ? AppFlagTable : kEveryKind;

  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  if (failing != 0) fw.FailAllocation(failing);
  CheckPackage package = {};
  const CHAR16* useful = nullptr;
  FlagCheckResult result = LibCheckFlags(&line.Shell, table, &package, &useful);
  fw.StopFailingAllocations();
  CheckPackageAfter(line, table, &package, result, useful, failing != 0);
  LibFreeCheckPackage(&package);
  FUZZ_CHECK(package.Flags == nullptr && package.PlainArgs == nullptr, "lists left after the release");
  fuzz::EndOnFirmware(fw, failing != 0, "flag check");
  return 0;
}
