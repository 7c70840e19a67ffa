// The text form of a status as it is kept in a shell variable: "0x" and the
// hexadecimal digits without leading zeros, in upper case, the way a UEFI
// shell shows %lasterror% (0x0, 0x8000000000000002).
//
// Pure logic, so that it also builds into host tests.
#ifndef QORVEX_SHELL_LIBRARY_STATUS_TEXT_H
#define QORVEX_SHELL_LIBRARY_STATUS_TEXT_H

#include "EfiTypes.h"

// Room for "0x", 16 digits and the NUL.
constexpr UINTN kStatusTextSize = 19;

// Writes the text of Status with its NUL into Buffer (kStatusTextSize characters).
void StatusToText(EFI_STATUS Status, CHAR16* Buffer);

#endif  // QORVEX_SHELL_LIBRARY_STATUS_TEXT_H
