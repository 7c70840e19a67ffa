// 64-bit shift and divide used by the number formatting.
#ifndef QORVEX_SHELL_LIBRARY_IPF_MATH_H
#define QORVEX_SHELL_LIBRARY_IPF_MATH_H

#include "Efi.h"

// Logical right shift; Count must be below 64.
UINT64 ShiftRight64(UINT64 Operand, UINTN Count);

// Unsigned quotient; the remainder is stored when Remainder is not null.
UINT64 DivideU64(UINT64 Dividend, UINT64 Divisor, UINT64* Remainder);

#endif  // QORVEX_SHELL_LIBRARY_IPF_MATH_H
