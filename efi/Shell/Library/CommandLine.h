// Splitting a command line into arguments the way an EFI 1.x shell does.
//
// Blanks (space, tab) separate arguments. Double quotes group blanks into an
// argument and are removed. A '^' makes the next character literal, inside
// quotes too, and is removed; a '^' that ends the line is dropped. Each
// argument comes with the EFI 1.x argument-information word:
//
//   ARG_IS_QUOTED          some part of it was quoted (also a pair of empty quotes)
//   ARG_PARTIALLY_QUOTED   it was quoted and also has characters outside quotes
//   ARG_FIRST_HALF_QUOTED  partly quoted, and it begins with its quoted part
//   ARG_FIRST_CHAR_IS_ESC  its first character was written as ^c
//
// So "/q" gives /q with 0x1, a"b c"d gives ab cd with 0x3, "/q"x gives /qx
// with 0x7, ^-x gives -x with 0x8, and "" gives an empty argument with 0x1.
//
// Pure logic without firmware calls, so that it also builds into host tests.
#ifndef QORVEX_SHELL_LIBRARY_COMMAND_LINE_H
#define QORVEX_SHELL_LIBRARY_COMMAND_LINE_H

#include "EfiTypes.h"

// Reading position in a command line. The line ends after its last character
// or at a NUL, whichever comes first.
struct CommandLineCursor {
  const CHAR16* Next;
  const CHAR16* End;
};

// What the next argument looks like once its quotes and escapes are removed.
struct CommandLineArg {
  UINTN Length;  // characters, without a terminator
  UINT32 Info;   // ARG_* bits, see above
};

// A cursor over the first Length characters of Text (Text may be null when
// Length is 0).
CommandLineCursor CommandLineStart(const CHAR16* Text, UINTN Length);

// Reads the next argument and moves the cursor past it. When Out is not null
// it receives the argument's characters and a NUL (room for Length + 1
// characters is needed, so callers first read a copy of the cursor with a
// null Out to learn the length). Returns false, writing nothing, when no
// argument is left.
bool CommandLineNext(CommandLineCursor* Cursor, CHAR16* Out, CommandLineArg* Arg);

// The number of arguments left after the cursor; the cursor is not moved.
UINTN CommandLineCount(CommandLineCursor Cursor);

#endif  // QORVEX_SHELL_LIBRARY_COMMAND_LINE_H
