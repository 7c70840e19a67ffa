#include "CommandLine.h"

#include "Protocol/ShellInterface.h"

namespace {

bool IsBlank(CHAR16 c) { return c == u' ' || c == u'\t'; }

bool AtEnd(const CommandLineCursor* Cursor) { return Cursor->Next >= Cursor->End || *Cursor->Next == 0; }

bool IsLastCharacter(const CommandLineCursor* Cursor) {
  return Cursor->Next + 1 >= Cursor->End || Cursor->Next[1] == 0;
}

// What the scan of one argument has seen so far.
struct ArgScan {
  UINTN Length;
  bool InQuotes;
  bool SawQuote;
  bool SawUnquoted;  // a character outside quotes
  bool StartsQuoted;
  bool FirstEscaped;
};

void Emit(ArgScan* Scan, CHAR16* Out, CHAR16 c, bool Escaped) {
  if (Scan->Length == 0 && Escaped) Scan->FirstEscaped = true;
  if (!Scan->InQuotes) Scan->SawUnquoted = true;
  if (Out != nullptr) Out[Scan->Length] = c;
  ++Scan->Length;
}

UINT32 InfoOf(const ArgScan* Scan) {
  UINT32 info = 0;
  if (Scan->SawQuote) info |= ARG_IS_QUOTED;
  if (Scan->SawQuote && Scan->SawUnquoted) {
    info |= ARG_PARTIALLY_QUOTED;
    if (Scan->StartsQuoted) info |= ARG_FIRST_HALF_QUOTED;
  }
  if (Scan->FirstEscaped) info |= ARG_FIRST_CHAR_IS_ESC;
  return info;
}

}  // namespace

CommandLineCursor CommandLineStart(const CHAR16* Text, UINTN Length) {
  CommandLineCursor cursor = {Text, Text + Length};
  return cursor;
}

bool CommandLineNext(CommandLineCursor* Cursor, CHAR16* Out, CommandLineArg* Arg) {
  while (!AtEnd(Cursor) && IsBlank(*Cursor->Next)) ++Cursor->Next;
  if (AtEnd(Cursor)) return false;
  if (*Cursor->Next == u'^' && IsLastCharacter(Cursor)) {
    // A caret that ends the line escapes nothing and makes no argument.
    ++Cursor->Next;
    return false;
  }

  ArgScan scan = {};
  scan.StartsQuoted = *Cursor->Next == u'"';
  while (!AtEnd(Cursor)) {
    CHAR16 c = *Cursor->Next++;
    if (c == u'"') {
      scan.InQuotes = !scan.InQuotes;
      scan.SawQuote = true;
      continue;
    }
    if (c == u'^') {
      if (!AtEnd(Cursor)) Emit(&scan, Out, *Cursor->Next++, true);
      continue;
    }
    if (!scan.InQuotes && IsBlank(c)) break;
    Emit(&scan, Out, c, false);
  }
  if (Out != nullptr) Out[scan.Length] = 0;
  Arg->Length = scan.Length;
  Arg->Info = InfoOf(&scan);
  return true;
}

UINTN CommandLineCount(CommandLineCursor Cursor) {
  UINTN count = 0;
  CommandLineArg arg;
  while (CommandLineNext(&Cursor, nullptr, &arg)) ++count;
  return count;
}
