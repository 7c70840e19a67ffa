// Debug reports of the library.
//
// Argument lists of the print entries are arrays of 64-bit slots: every
// integer is widened (signed ones sign-extended) and every pointer is stored
// as its address, so a narrow integer can never be misread by the format.
#ifndef QORVEX_SHELL_LIBRARY_IO_H
#define QORVEX_SHELL_LIBRARY_IO_H

#include "Efi.h"

// One argument slot of a print entry.
template <typename T>
constexpr UINT64 LibArgSlot(T Value) {
  static_assert(sizeof(T) <= sizeof(UINT64), "arguments fit a 64-bit slot");
  if constexpr (__is_enum(T)) {
    return LibArgSlot(static_cast<__underlying_type(T)>(Value));
  } else if constexpr (static_cast<T>(-1) < static_cast<T>(0)) {
    return static_cast<UINT64>(static_cast<INT64>(Value));
  } else {
    return static_cast<UINT64>(Value);
  }
}

template <typename T>
inline UINT64 LibArgSlot(T* Value) {
  return static_cast<UINT64>(reinterpret_cast<UINTN>(Value));
}

inline UINT64 LibArgSlot(decltype(nullptr)) { return 0; }

// Prints a diagnostic when Mask meets the "EFIDebug" variable's value
// (0x80000000 when the variable is absent). Returns 0.
UINTN LibDebugReportV(UINTN Mask, const CHAR8* AsciiFormat, const UINT64* Args);

template <typename... T>
UINTN LibDebugReport(UINTN Mask, const CHAR8* AsciiFormat, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return LibDebugReportV(Mask, AsciiFormat, slots);
}

// Classes of debug reports.
constexpr UINTN kDebugError = 0x80000000;
constexpr UINTN kDebugInfo = 0x40;

#endif  // QORVEX_SHELL_LIBRARY_IO_H
