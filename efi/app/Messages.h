// The application's error messages: the HII string package that holds them,
// their tokens, and printing a message by its token.
#ifndef QORVEX_APP_MESSAGES_H
#define QORVEX_APP_MESSAGES_H

#include "Efi.h"
#include "IO.h"
#include "Protocol/HiiStringPackage.h"
#include "VarCheck.h"

// String ids of the message package (Messages.def).
enum MessageToken : EFI_STRING_ID {
  TokenNone = 0,  // string ids start at 1
#define MESSAGE(Token, Text) Token,
#include "Messages.def"
};

struct MessageText {
  MessageToken Token;
  const CHAR16* Text;
};

// The texts in string-id order.
inline constexpr MessageText kMessageTexts[] = {
#define MESSAGE(Token, Text) {Token, Text},
#include "Messages.def"
};
inline constexpr UINTN kMessageCount = sizeof(kMessageTexts) / sizeof(kMessageTexts[0]);

constexpr UINTN MessageTextUnits(const CHAR16* Text) {
  UINTN units = 0;
  while (Text[units] != 0) ++units;
  return units;
}

// The language tag of the package, and the bytes of its string package:
// the fixed header and the tag, one UCS-2 string block per text (type byte,
// text and NUL unit) and the end block.
inline constexpr CHAR8 kMessagePackageLanguage[] = "en-US";
constexpr UINTN MessagePackageLength() {
  UINTN length = EFI_HII_STRING_PACKAGE_FIXED_SIZE + sizeof(kMessagePackageLanguage) + 1;
  for (const MessageText& message : kMessageTexts) length += 1 + 2 * (MessageTextUnits(message.Text) + 1);
  return length;
}

// The package as registered: a 32-bit length (these 4 bytes included), then
// the string package. Built at compile time from the texts.
constexpr UINTN kMessageStringPackageSize = 4 + MessagePackageLength();
struct MessagePackageBytes {
  UINT8 Bytes[kMessageStringPackageSize];
};
extern const MessagePackageBytes MessageStringPackage;

// The GUID the package list is registered under (its last 8 bytes are
// advanced by a monotonic count per run).
inline constexpr EFI_GUID kQorvexAppGuid = {
    0x6B1E4F2A, 0x93D7, 0x4C58, {0xA1, 0x0E, 0x52, 0x7C, 0xD3, 0x46, 0x88, 0x1F}};

// The handle the package is registered under; set by the entry.
extern EFI_HII_HANDLE AppHiiHandle;

// Fetches message Token of the package list HiiHandle in the platform
// language (or English) and prints it on the console output at the cursor
// with the argument slots Args. Returns the characters printed, 0 when
// nothing could be printed (no HII, unknown token, no pool).
UINTN PrintMessageByTokenV(EFI_STRING_ID Token, EFI_HII_HANDLE HiiHandle, const UINT64* Args);

template <typename... T>
UINTN PrintMessageByToken(EFI_STRING_ID Token, EFI_HII_HANDLE HiiHandle, T... Args) {
  const UINT64 slots[sizeof...(T) + 1] = {LibArgSlot(Args)..., 0};
  return PrintMessageByTokenV(Token, HiiHandle, slots);
}

// Prints the message of a failed flag check about the argument Useful and
// returns EFI_INVALID_PARAMETER, the status of every flag error.
EFI_STATUS PrintFlagError(FlagCheckResult Result, const CHAR16* Useful);

#endif  // QORVEX_APP_MESSAGES_H
