// Layout of an HII string package: its header and the string information
// blocks that follow it.
#ifndef QORVEX_EFI_PROTOCOL_HII_STRING_PACKAGE_H
#define QORVEX_EFI_PROTOCOL_HII_STRING_PACKAGE_H

#include "HiiString.h"

// The fixed part of a string package header. Language, an 8-bit
// NUL-terminated RFC 4646 tag, runs on past the structure; HdrSize covers it.
// Packed: the package is a byte stream, and Language starts at offset 46,
// which is not where natural alignment would end the structure.
struct __attribute__((packed)) EFI_HII_STRING_PACKAGE_HDR {
  EFI_HII_PACKAGE_HEADER Header;
  UINT32 HdrSize;
  UINT32 StringInfoOffset;
  CHAR16 LanguageWindow[16];
  EFI_STRING_ID LanguageName;
  CHAR8 Language[1];
};
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, HdrSize) == 4, "StringPackage->HdrSize");
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, StringInfoOffset) == 8, "StringPackage->StringInfoOffset");
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageWindow) == 12, "StringPackage->LanguageWindow");
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageName) == 44, "StringPackage->LanguageName");
static_assert(offsetof(EFI_HII_STRING_PACKAGE_HDR, Language) == 46, "StringPackage->Language");

// Size of the header before its language tag.
constexpr UINT32 EFI_HII_STRING_PACKAGE_FIXED_SIZE = 46;

// String information block types. Every block starts with its type byte.
// A UCS-2 string block holds the NUL-terminated text of the next string id;
// the end block closes the package's blocks.
constexpr UINT8 EFI_HII_SIBT_END = 0x00;
constexpr UINT8 EFI_HII_SIBT_STRING_UCS2 = 0x14;

// Length and type of the package that closes every package list.
constexpr UINT32 EFI_HII_PACKAGE_END_HEADER_VALUE = 0xDF000004;

#endif  // QORVEX_EFI_PROTOCOL_HII_STRING_PACKAGE_H
