#include "FakeConsole.h"

namespace fake {

FakeConsole::FakeConsole(INT32 Attribute) {
  mode_.MaxMode = 1;
  mode_.Attribute = Attribute;
  mode_.CursorVisible = TRUE;
  instance_.Protocol.OutputString = &FakeConsole::OutputString;
  instance_.Protocol.SetAttribute = &FakeConsole::SetAttribute;
  instance_.Protocol.SetCursorPosition = &FakeConsole::SetCursorPosition;
  instance_.Protocol.Mode = &mode_;
  instance_.Owner = this;
}

FakeConsole* FakeConsole::From(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This) {
  return reinterpret_cast<Instance*>(This)->Owner;
}

EFI_STATUS EFIAPI FakeConsole::OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String) {
  FakeConsole* self = From(This);
  std::u16string text = String != nullptr ? std::u16string(String) : std::u16string();
  self->calls_.push_back({CallKind::OutputString, text, 0, 0, 0});
  if (!text.empty()) {
    UINTN attribute = UINTN(UINT32(self->mode_.Attribute));
    if (self->runs_.empty() || self->runs_.back().Attribute != attribute) {
      self->runs_.push_back({attribute, text});
    } else {
      self->runs_.back().Text += text;
    }
  }
  return self->OutputStatus;
}

EFI_STATUS EFIAPI FakeConsole::SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute) {
  FakeConsole* self = From(This);
  self->calls_.push_back({CallKind::SetAttribute, u"", Attribute, 0, 0});
  self->mode_.Attribute = INT32(Attribute);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeConsole::SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column, UINTN Row) {
  FakeConsole* self = From(This);
  self->calls_.push_back({CallKind::SetCursorPosition, u"", 0, Column, Row});
  self->mode_.CursorColumn = INT32(Column);
  self->mode_.CursorRow = INT32(Row);
  return EFI_SUCCESS;
}

std::u16string FakeConsole::Text() const {
  std::u16string text;
  for (const Run& run : runs_) text += run.Text;
  return text;
}

std::string FakeConsole::Ascii() const { return Narrow(Text()); }

size_t FakeConsole::OutputStringCalls() const {
  size_t count = 0;
  for (const Call& call : calls_) count += call.Kind == CallKind::OutputString;
  return count;
}

void FakeConsole::Clear() {
  runs_.clear();
  calls_.clear();
}

std::string Narrow(const std::u16string& Text) {
  std::string narrow;
  for (char16_t unit : Text) narrow += unit <= 0xFF ? char(unit) : '?';
  return narrow;
}

std::string Narrow(const CHAR16* Text) { return Text == nullptr ? std::string() : Narrow(std::u16string(Text)); }

std::u16string Widen(const std::string& Text) {
  std::u16string wide;
  for (char byte : Text) wide += char16_t(static_cast<unsigned char>(byte));
  return wide;
}

}  // namespace fake
