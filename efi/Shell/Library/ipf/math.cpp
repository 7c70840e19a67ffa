#include "ipf/math.h"

#include "Globals.h"

static const CHAR8 kLibSource[] = "Shell/Library/ipf/math";

UINT64 ShiftRight64(UINT64 Operand, UINTN Count) {
  // Shifting by the full width is undefined in C++; the contract stops below it.
  if (Count >= 64) return 0;
  return Operand >> Count;
}

UINT64 DivideU64(UINT64 Dividend, UINT64 Divisor, UINT64* Remainder) {
  if (!LIB_CHECK(Divisor != 0, "Divisor != 0")) {
    if (Remainder != nullptr) *Remainder = Dividend;
    return 0;
  }
  if (Remainder != nullptr) *Remainder = Dividend % Divisor;
  return Dividend / Divisor;
}
