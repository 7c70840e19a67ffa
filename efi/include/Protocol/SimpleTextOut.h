// Simple text output protocol (console output and standard error).
#ifndef QORVEX_EFI_PROTOCOL_SIMPLE_TEXT_OUT_H
#define QORVEX_EFI_PROTOCOL_SIMPLE_TEXT_OUT_H

#include "../EfiTypes.h"

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_TEXT_RESET)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN ExtendedVerification);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_STRING)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, const CHAR16* String);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_QUERY_MODE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber, UINTN* Columns,
                                                UINTN* Rows);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_MODE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN ModeNumber);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_ATTRIBUTE)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Attribute);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_CLEAR_SCREEN)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_SET_CURSOR_POSITION)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, UINTN Column,
                                                         UINTN Row);
typedef EFI_STATUS(EFIAPI* EFI_TEXT_ENABLE_CURSOR)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* This, BOOLEAN Visible);

struct SIMPLE_TEXT_OUTPUT_MODE {
  INT32 MaxMode;
  INT32 Mode;
  INT32 Attribute;
  INT32 CursorColumn;
  INT32 CursorRow;
  BOOLEAN CursorVisible;
};
static_assert(offsetof(SIMPLE_TEXT_OUTPUT_MODE, Attribute) == 8, "Mode->Attribute");
static_assert(sizeof(SIMPLE_TEXT_OUTPUT_MODE) == 24, "SIMPLE_TEXT_OUTPUT_MODE size");

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  EFI_TEXT_RESET Reset;
  EFI_TEXT_STRING OutputString;
  VOID* TestString;
  EFI_TEXT_QUERY_MODE QueryMode;
  EFI_TEXT_SET_MODE SetMode;
  EFI_TEXT_SET_ATTRIBUTE SetAttribute;
  EFI_TEXT_CLEAR_SCREEN ClearScreen;
  EFI_TEXT_SET_CURSOR_POSITION SetCursorPosition;
  EFI_TEXT_ENABLE_CURSOR EnableCursor;
  SIMPLE_TEXT_OUTPUT_MODE* Mode;
};
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, OutputString) == 0x08, "ConOut->OutputString");
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetAttribute) == 0x28, "ConOut->SetAttribute");
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, SetCursorPosition) == 0x38, "ConOut->SetCursorPosition");
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, Mode) == 0x48, "ConOut->Mode");

// Text attributes: foreground colour in bits 0-3, background in bits 4-7.
constexpr UINTN EFI_BLACK = 0x00;
constexpr UINTN EFI_BLUE = 0x01;
constexpr UINTN EFI_GREEN = 0x02;
constexpr UINTN EFI_CYAN = 0x03;
constexpr UINTN EFI_RED = 0x04;
constexpr UINTN EFI_MAGENTA = 0x05;
constexpr UINTN EFI_BROWN = 0x06;
constexpr UINTN EFI_LIGHTGRAY = 0x07;
constexpr UINTN EFI_DARKGRAY = 0x08;
constexpr UINTN EFI_LIGHTBLUE = 0x09;
constexpr UINTN EFI_LIGHTGREEN = 0x0A;
constexpr UINTN EFI_LIGHTCYAN = 0x0B;
constexpr UINTN EFI_LIGHTRED = 0x0C;
constexpr UINTN EFI_LIGHTMAGENTA = 0x0D;
constexpr UINTN EFI_YELLOW = 0x0E;
constexpr UINTN EFI_WHITE = 0x0F;
constexpr UINTN EfiTextAttr(UINTN foreground, UINTN background) { return foreground | (background << 4); }

#endif  // QORVEX_EFI_PROTOCOL_SIMPLE_TEXT_OUT_H
