// Formatted output: one format engine (LibFormatRun) and the entries that
// set a run up for its target: a console (LibPrintTo, LibPrintConsole), a
// caller's UCS-2 buffer (LibFormatToBuffer), an 8-bit buffer
// (LibFormatAscii) and the debug report on standard error (LibDebugReport).
//
// Formats are printf-like. A directive is '%', any number of flags, then a
// conversion:
//   flags        l (long, for X)  0 (pad with zeros)  - (spaces after the
//                text)  , (group decimal digits)  . (the next width is the
//                maximum)  * (width from an argument)  1-9... (a width)
//                n h e b v (this field in the normal, highlight, error,
//                blue or green attribute, then back)
//   switches     N H E B V (that attribute for the rest of the run; passed
//                over as a flag where the target has no attributes)
//   conversions  % a (8-bit string) s (UCS-2 string) c (character)
//                d (signed decimal) x (hexadecimal) X (hexadecimal, 8 digits
//                with zeros, 16 with l) g (EFI_GUID*) r (EFI_STATUS)
//                t (EFI_TIME*); any other character prints "?".
// Null strings, GUIDs and times print "(null)". Hexadecimal digits are
// uppercase. Every line feed that no carriage return precedes comes out as
// carriage return and line feed.
//
// Argument lists are arrays of 64-bit slots: each directive that takes an
// argument consumes exactly one slot. Integers occupy a whole slot (signed
// ones sign-extended, so %d of an INT32 -5 reads -5), pointers are stored as
// their address, a character is the low 16 bits of its slot. The variadic
// entries build that list with LibArgSlot, so callers may pass any integer,
// enumeration, character or pointer and it is widened to 64 bits by
// construction; whoever calls a V-form builds the slot list the same way.
#ifndef QORVEX_SHELL_LIBRARY_IO_H
#define QORVEX_SHELL_LIBRARY_IO_H

#include "Efi.h"

namespace io_detail {
template <typename T>
struct IsFloatingPoint {
  static constexpr bool value = false;
};
template <>
struct IsFloatingPoint<float> {
  static constexpr bool value = true;
};
template <>
struct IsFloatingPoint<double> {
  static constexpr bool value = true;
};
template <>
struct IsFloatingPoint<long double> {
  static constexpr bool value = true;
};
}  // namespace io_detail

// One argument slot: integers widened to 64 bits (signed ones sign-extended),
// 8-bit characters zero-extended like the bytes of 8-bit text, enumerations
// by their underlying value. The engine has no floating-point conversion.
template <typename T>
constexpr UINT64 LibArgSlot(T Value) {
  static_assert(sizeof(T) <= sizeof(UINT64), "arguments fit a 64-bit slot");
  static_assert(!io_detail::IsFloatingPoint<T>::value, "the format engine has no floating-point conversion");
  if constexpr (__is_enum(T)) {
    return LibArgSlot(static_cast<__underlying_type(T)>(Value));
  } else if constexpr (__is_same(T, char)) {
    return static_cast<UINT64>(static_cast<UINT8>(Value));
  } else if constexpr (static_cast<T>(-1) < static_cast<T>(0)) {
    return static_cast<UINT64>(static_cast<INT64>(Value));
  } else {
    return static_cast<UINT64>(Value);
  }
}

// Pointers (strings, GUIDs, times) are stored as their address.
template <typename T>
inline UINT64 LibArgSlot(T* Value) {
  return static_cast<UINT64>(reinterpret_cast<UINTN>(Value));
}

inline UINT64 LibArgSlot(decltype(nullptr)) { return 0; }

// Classes of debug reports (the Mask of LibDebugReport).
constexpr UINTN kDebugError = 0x80000000;
constexpr UINTN kDebugInfo = 0x40;

// ---- The engine ----

// A target's write routine: receives each NUL-terminated chunk of output.
typedef EFI_STATUS (*FormatWriteRoutine)(VOID* Target, const CHAR16* Chunk);
// A target's attribute routine: every attribute change of the run.
typedef EFI_STATUS (*FormatAttributeRoutine)(VOID* Target, UINTN Attribute);

// The directive being converted. Reset at every '%'. The first three
// members mirror those of FormatState, so that one next-character step
// reads both the format and a field's text.
struct FormatField {
  BOOLEAN Text8;       // the text is 8-bit (directive a)
  UINTN TextIndex;     // next character of Text
  const VOID* Text;    // the field text; null until a conversion produces it
  CHAR16* Scratch;     // the run's 100-character work area for converted values
  UINTN MinWidth;      // padded with PadChar up to this width, before the text
  UINTN MaxWidth;      // characters taken from the text, and the full width of
                       // the field (spaces up to it); all ones for none
  UINTN* WidthTarget;  // which width the next number or '*' sets
  CHAR16 PadChar;
  BOOLEAN PadLeading;  // the spaces up to MaxWidth go before the text
  BOOLEAN Grouping;    // thousands separators for d
  BOOLEAN LongFlag;
  BOOLEAN Signed;  // the text is a number that may start with its sign (d)
};

// One run. The entries clear it and fill Format8, Format, Args, Write,
// ChangeAttr, Target, Attribute and the five attribute values; the run does
// the rest.
struct FormatState {
  BOOLEAN Format8;    // the format is 8-bit text, else UCS-2
  UINTN FormatIndex;  // next format character
  const VOID* Format;
  const UINT64* Args;    // next argument slot
  CHAR16* ChunkStart;    // pending output starts here
  CHAR16* ChunkLimit;    // reaching it forces a flush
  CHAR16* ChunkPos;      // next free slot
  UINTN Count;           // characters emitted: the run's result
  UINTN Attribute;       // current text attribute
  UINTN SavedAttribute;  // restored after the current field; 0 for none
  UINTN NormalAttr;      // the attributes of N/n, H/h, E/e, B/b, V/v;
  UINTN HighlightAttr;   // 0 where the target has none
  UINTN ErrorAttr;
  UINTN BlueAttr;
  UINTN GreenAttr;
  FormatWriteRoutine Write;
  FormatAttributeRoutine ChangeAttr;  // null when the target has no attributes
  VOID* Target;
  FormatField* Field;
};

// Runs the format against the target. Output reaches the target in chunks of
// at most 1021 characters: one write per full chunk, per attribute change and
// one at the end (an empty one for an empty format). Returns the characters
// emitted, each inserted carriage return included, or EFI_OUT_OF_RESOURCES
// when the run's working blocks cannot be allocated; then nothing is written.
UINTN LibFormatRun(FormatState* ps);

// Uppercase hexadecimal digits of Value, no leading zeros ("0" for 0).
VOID LibHexText(CHAR16* Buffer, UINT64 Value);

// Decimal digits of Value with a leading '-' when negative; with Grouping a
// ',' separates the thousands (-1,234).
VOID LibDecimalText(CHAR16* Buffer, BOOLEAN Grouping, INT64 Value);

// ---- Buffer target ----

// The target record of the buffer entries.
struct TextSink {
  CHAR16* Text;
  UINTN Length;    // characters stored
  UINTN Capacity;  // at most this many characters; Text[Capacity] is the
                   // last slot that may hold the terminator
};

// Appends as much of Buffer as the capacity allows and keeps Text
// terminated. Characters beyond the capacity are dropped.
EFI_STATUS BufferSinkWrite(VOID* Context, const CHAR16* Buffer);

// Formats into Str, a buffer of StrSize bytes: at most StrSize / 2 - 1
// characters and the terminator are stored (a StrSize below 2 sets no bound).
// Returns the characters stored. When the run cannot allocate, Str is left as
// it was and the result is 0.
UINTN LibFormatToBufferV(CHAR16* Str, UINTN StrSize, const CHAR16* Format, const UINT64* Args);

template <typename... T>
UINTN LibFormatToBuffer(CHAR16* Str, UINTN StrSize, const CHAR16* Format, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return LibFormatToBufferV(Str, StrSize, Format, slots);
}

// ---- Console targets ----

// Prints on Out at (Column, Row), or at the cursor when Column is all ones.
// Format is UCS-2; when it is null AsciiFormat (8-bit) is used. The attribute
// values derive from Out's current background; an attribute that the format
// switches to (N, H, ...) stays on Out afterwards. Returns the run's result.
UINTN LibPrintTo(UINTN Column, UINTN Row, EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Out, const CHAR16* Format,
                 const CHAR8* AsciiFormat, const UINT64* Args);

// Prints on the system table's console output at the cursor.
UINTN LibPrintConsoleV(const CHAR16* Format, const UINT64* Args);

template <typename... T>
UINTN LibPrintConsole(const CHAR16* Format, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return LibPrintConsoleV(Format, slots);
}

// Prints a diagnostic on standard error (console output when there is none)
// when Mask meets the value of the "EFIDebug" variable, read afresh each time
// (0x80000000 when the variable is absent). Errors (bit 31) print in the
// error attribute, bit 1 in the highlight attribute, the rest in light grey;
// the console's attribute is restored afterwards. Returns 0.
//
// The report allocates pool itself: while it is produced the pool's failure
// hook is unset, so a report whose own blocks cannot be allocated starts no
// other one.
UINTN LibDebugReportV(UINTN Mask, const CHAR8* AsciiFormat, const UINT64* Args);

template <typename... T>
UINTN LibDebugReport(UINTN Mask, const CHAR8* AsciiFormat, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return LibDebugReportV(Mask, AsciiFormat, slots);
}

// The report of a failed pool allocation, "AllocatePool: out of pool  %x\n"
// with the status, at the error level; start-up installs it as
// LibPoolFailureHook (Globals.h).
VOID LibDebugReportPoolFailure(EFI_STATUS Status);

// ---- 8-bit buffer target ----

// Formats the 8-bit AsciiFormat into Buffer of Size bytes: at most Size - 1
// bytes and the terminator, each the low byte of an output character (so the
// bytes of an %a string come out unchanged). Returns the bytes stored; a run
// that cannot get its working memory stores the empty string and returns 0.
// A Size of 0 stores nothing.
UINTN LibFormatAsciiV(CHAR8* Buffer, UINTN Size, const CHAR8* AsciiFormat, const UINT64* Args);

template <typename... T>
UINTN LibFormatAscii(CHAR8* Buffer, UINTN Size, const CHAR8* AsciiFormat, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return LibFormatAsciiV(Buffer, Size, AsciiFormat, slots);
}

#endif  // QORVEX_SHELL_LIBRARY_IO_H
