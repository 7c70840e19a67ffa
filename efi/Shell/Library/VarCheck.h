// Command-line flag checking against a constant flag table.
//
// LibCheckFlags sorts the shell's arguments (Argv[1] on) into accepted flags
// and plain arguments and stops at the first argument it cannot accept.
// Typical use:
//
//   CheckPackage package = {};
//   const CHAR16* useful = nullptr;
//   FlagCheckResult result = LibCheckFlags(LibShellInterface, kTable, &package, &useful);
//   if (result == FlagCheckOk && LibFindFlag(&package, u"/q") != nullptr) ...
//   LibFreeCheckPackage(&package);   // in every case, also after an error
#ifndef QORVEX_SHELL_LIBRARY_VAR_CHECK_H
#define QORVEX_SHELL_LIBRARY_VAR_CHECK_H

#include "Efi.h"

// How a flag takes its value.
enum FlagKind : UINT32 {
  KindSwitch = 0,       // the argument equals FlagText ignoring case; no value
  KindNextValue = 1,    // the same match; the next argument is the value, whatever it looks like
  KindJoinedValue = 2,  // FlagText is a case-sensitive prefix; the rest of the argument is the value
};

// One item of a flag table. A table ends with an item whose FlagText is null.
struct FlagCheckItem {
  const CHAR16* FlagText;  // as typed, lead character included ("/q")
  UINT32 Bit;              // added to the seen bits when the flag is accepted
  UINT32 Excludes;         // bits of flags that must not have been accepted before this one
  FlagKind Kind;
};
static_assert(offsetof(FlagCheckItem, Bit) == 8, "FlagCheckItem layout");
static_assert(offsetof(FlagCheckItem, Excludes) == 12, "FlagCheckItem layout");
static_assert(offsetof(FlagCheckItem, Kind) == 16, "FlagCheckItem layout");
static_assert(sizeof(FlagKind) == 4, "flag kinds are 32-bit");

// One accepted flag or plain argument. The strings point into the shell's
// arguments or the flag table; the package never frees them.
struct ArgNode {
  const CHAR16* Name;   // flags: the argument as typed (KindJoinedValue: the item's FlagText); plain: null
  const CHAR16* Value;  // KindNextValue: the next argument; KindJoinedValue: the rest; plain: the argument
  UINTN ArgIndex;       // position in Argv
  ArgNode* Next;
};

// The result of a check. The caller owns it and hands it in cleared to zero;
// the nodes are pool blocks that LibFreeCheckPackage releases.
struct CheckPackage {
  ArgNode* Flags;      // accepted flags, in command-line order
  ArgNode* PlainArgs;  // plain arguments, in command-line order
  UINTN FlagCount;
  UINTN ArgCount;
};

enum FlagCheckResult : UINTN {
  FlagCheckOk = 0,         // every argument was taken
  FlagCheckDuplicate = 1,  // a flag repeats one accepted before
  FlagCheckConflict = 2,   // the flag's Excludes meets a flag accepted before
  FlagCheckUnknown = 3,    // a flag-like argument that no item takes
  FlagCheckNoValue = 4,    // a KindNextValue flag is the last argument
  FlagCheckNoMemory = 5,   // a node could not be allocated
};

// Checks the arguments of si against CheckList into ChkPck. On every result
// but FlagCheckOk and FlagCheckNoMemory, *Useful is the argument the error is
// about (for a repeated KindJoinedValue flag, the earlier node's Name). What
// was gathered before an error stays in the package. A table item of another
// kind is reported as a programming error, and its argument is refused as
// FlagCheckUnknown.
FlagCheckResult LibCheckFlags(const EFI_SHELL_INTERFACE* si, const FlagCheckItem* CheckList, CheckPackage* ChkPck,
                              const CHAR16** Useful);

// The first accepted flag whose Name equals FlagStr ignoring case, or null.
// For a KindJoinedValue flag, FlagStr is the item's FlagText.
ArgNode* LibFindFlag(const CheckPackage* ChkPck, const CHAR16* FlagStr);

// Frees every node of both lists; both heads end null, the counts stay.
VOID LibFreeCheckPackage(CheckPackage* ChkPck);

// True when argument Index (Arg) is a plain argument: the shell says it was
// typed quoted (wholly, or its first part) or with its first character
// escaped, or it does not start like a flag. A partly quoted argument is
// judged by its first character.
BOOLEAN LibIsPlainArgument(const EFI_SHELL_INTERFACE* si, UINTN Index, const CHAR16* Arg);

// The first item of CheckList that takes Arg as its flag, or null.
const FlagCheckItem* LibFindFlagItem(const FlagCheckItem* CheckList, const CHAR16* Arg);

// True when FlagName is a prefix of CmdVar or equal to it (exact 16-bit units).
BOOLEAN LibFlagPrefixMatch(const CHAR16* FlagName, const CHAR16* CmdVar);

#endif  // QORVEX_SHELL_LIBRARY_VAR_CHECK_H
