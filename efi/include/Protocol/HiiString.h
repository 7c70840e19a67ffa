// HII string protocol: fetches a string of a registered package by id and language.
#ifndef QORVEX_EFI_PROTOCOL_HII_STRING_H
#define QORVEX_EFI_PROTOCOL_HII_STRING_H

#include "HiiDatabase.h"

typedef UINT16 EFI_STRING_ID;
struct EFI_FONT_INFO;
struct EFI_HII_STRING_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_HII_GET_STRING)(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                               EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                               UINTN* StringSize, EFI_FONT_INFO** StringFontInfo);

struct EFI_HII_STRING_PROTOCOL {
  VOID* NewString;
  EFI_HII_GET_STRING GetString;
  VOID* SetString;
  VOID* GetLanguages;
  VOID* GetSecondaryLanguages;
};
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, GetString) == 0x08, "HiiString->GetString");
static_assert(sizeof(EFI_HII_STRING_PROTOCOL) == 0x28, "EFI_HII_STRING_PROTOCOL size");

#endif  // QORVEX_EFI_PROTOCOL_HII_STRING_H
