// The application's error messages: the HII string package that holds them,
// their tokens, and printing a message by its token.
#ifndef QORVEX_APP_MESSAGES_H
#define QORVEX_APP_MESSAGES_H

#include "Efi.h"
#include "IO.h"

// String ids of the message package. The texts are formats of the print
// engine; "%hs" prints the UCS-2 argument in the highlight attribute.
enum MessageToken : EFI_STRING_ID {
  TokenLanguageName = 1,       // "English": the package language's name, never printed
  TokenUnknownFlag = 2,        // "Error: Unknown flag - '%hs'\r\n"
  TokenDuplicatedFlag = 3,     // "Error: Duplicated flag - '%hs'\r\n"
  TokenInvalidArgument = 4,    // "Error: Invalid argument - '%hs'\r\n"
  TokenConflictParameter = 5,  // "Error: Conflict parameter - '%hs'\r\n"
  TokenOutOfMemory = 6,        // "Error: memory allocation failed!\r\n"
  TokenOpenFailed = 7,         // "Error: Can not open the file [%hs](Exist?Readonly?Directory?)!\r\n"
  TokenMissingFileNames = 8,   // "Error: Please specify the name of SMBIOS file and VKF file!\r\n"
};

// The package as registered: a 32-bit length (these 4 bytes included), then
// one English ("en-US") string package with the eight texts above as UCS-2
// string blocks and an end block. Built at compile time from the texts.
constexpr UINTN kMessageStringPackageSize = 671;
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

#endif  // QORVEX_APP_MESSAGES_H
