// A recording simple text output protocol.
//
// Records every OutputString, SetAttribute and SetCursorPosition call, and
// the text as runs of characters with the attribute in force when they were
// written. SetAttribute updates Mode->Attribute, as a firmware console does;
// SetModeAttribute sets it without recording a call (the state a test starts
// from).
#ifndef QORVEX_TESTS_FAKE_FAKE_CONSOLE_H
#define QORVEX_TESTS_FAKE_FAKE_CONSOLE_H

#include <string>
#include <vector>

#include "Efi.h"

namespace fake {

class FakeConsole {
 public:
  // Text written under one attribute, between attribute changes.
  struct Run {
    UINTN Attribute;
    std::u16string Text;
  };
  enum class CallKind { OutputString, SetAttribute, SetCursorPosition };
  struct Call {
    CallKind Kind;
    std::u16string Text;  // OutputString
    UINTN Attribute;      // SetAttribute
    UINTN Column, Row;    // SetCursorPosition
  };

  explicit FakeConsole(INT32 Attribute = 0x07);
  FakeConsole(const FakeConsole&) = delete;
  FakeConsole& operator=(const FakeConsole&) = delete;

  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Protocol() { return &instance_.Protocol; }

  // All text written, and the same with each unit narrowed to a byte
  // (units above 0xFF become '?'), for readable comparisons.
  std::u16string Text() const;
  std::string Ascii() const;
  const std::vector<Run>& Runs() const { return runs_; }
  const std::vector<Call>& Calls() const { return calls_; }
  size_t OutputStringCalls() const;

  INT32 ModeAttribute() const { return mode_.Attribute; }
  void SetModeAttribute(INT32 Attribute) { mode_.Attribute = Attribute; }
  // Forgets text and calls; the mode stays.
  void Clear();

  // OutputString answers this status (the text is still recorded).
  EFI_STATUS OutputStatus = EFI_SUCCESS;

 private:
  struct Instance {
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL Protocol;
    FakeConsole* Owner;
  };
  static FakeConsole* From(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);
  static EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
  static EFI_STATUS EFIAPI SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute);
  static EFI_STATUS EFIAPI SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column, UINTN Row);

  Instance instance_{};
  SIMPLE_TEXT_OUTPUT_MODE mode_{};
  std::vector<Run> runs_;
  std::vector<Call> calls_;
};

// Narrows UCS-2 text to bytes (units above 0xFF become '?').
std::string Narrow(const std::u16string& Text);
std::string Narrow(const CHAR16* Text);
std::u16string Widen(const std::string& Text);

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_CONSOLE_H
