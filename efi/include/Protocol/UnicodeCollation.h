// Unicode collation protocol: case-insensitive comparison and pattern matching.
//
// The same layout serves both registrations: Unicode Collation 2 (RFC 4646
// language codes, ';'-separated) and the older Unicode Collation (ISO 639-2
// three-letter codes run together).
#ifndef QORVEX_EFI_PROTOCOL_UNICODE_COLLATION_H
#define QORVEX_EFI_PROTOCOL_UNICODE_COLLATION_H

#include "../EfiTypes.h"

struct EFI_UNICODE_COLLATION_PROTOCOL;

typedef INTN(EFIAPI* EFI_UNICODE_COLLATION_STRICOLL)(const EFI_UNICODE_COLLATION_PROTOCOL* This, const CHAR16* s1,
                                                     const CHAR16* s2);
typedef BOOLEAN(EFIAPI* EFI_UNICODE_COLLATION_METAIMATCH)(const EFI_UNICODE_COLLATION_PROTOCOL* This,
                                                          const CHAR16* String, const CHAR16* Pattern);
typedef VOID(EFIAPI* EFI_UNICODE_COLLATION_STRLWR)(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str);
typedef VOID(EFIAPI* EFI_UNICODE_COLLATION_STRUPR)(const EFI_UNICODE_COLLATION_PROTOCOL* This, CHAR16* Str);
typedef VOID(EFIAPI* EFI_UNICODE_COLLATION_FATTOSTR)(const EFI_UNICODE_COLLATION_PROTOCOL* This, UINTN FatSize,
                                                     const CHAR8* Fat, CHAR16* String);
typedef BOOLEAN(EFIAPI* EFI_UNICODE_COLLATION_STRTOFAT)(const EFI_UNICODE_COLLATION_PROTOCOL* This,
                                                        const CHAR16* String, UINTN FatSize, CHAR8* Fat);

struct EFI_UNICODE_COLLATION_PROTOCOL {
  EFI_UNICODE_COLLATION_STRICOLL StriColl;
  EFI_UNICODE_COLLATION_METAIMATCH MetaiMatch;
  EFI_UNICODE_COLLATION_STRLWR StrLwr;
  EFI_UNICODE_COLLATION_STRUPR StrUpr;
  EFI_UNICODE_COLLATION_FATTOSTR FatToStr;
  EFI_UNICODE_COLLATION_STRTOFAT StrToFat;
  const CHAR8* SupportedLanguages;
};
static_assert(offsetof(EFI_UNICODE_COLLATION_PROTOCOL, StriColl) == 0x00, "Collation->StriColl");
static_assert(offsetof(EFI_UNICODE_COLLATION_PROTOCOL, MetaiMatch) == 0x08, "Collation->MetaiMatch");
static_assert(offsetof(EFI_UNICODE_COLLATION_PROTOCOL, StrUpr) == 0x18, "Collation->StrUpr");
static_assert(offsetof(EFI_UNICODE_COLLATION_PROTOCOL, SupportedLanguages) == 0x30, "Collation->SupportedLanguages");
static_assert(sizeof(EFI_UNICODE_COLLATION_PROTOCOL) == 0x38, "seven pointer slots");

#endif  // QORVEX_EFI_PROTOCOL_UNICODE_COLLATION_H
