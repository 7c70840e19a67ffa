#include "FakeHii.h"

#include <cctype>
#include <cstring>

namespace fake {

namespace {

UINT32 Read32(const UINT8* Bytes) {
  return UINT32(Bytes[0]) | UINT32(Bytes[1]) << 8 | UINT32(Bytes[2]) << 16 | UINT32(Bytes[3]) << 24;
}

bool SameLanguage(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i]))) {
      return false;
    }
  }
  return true;
}

bool Refuse(std::string* Error, const std::string& Reason) {
  *Error = Reason;
  return false;
}

// Reads the UCS-2 string at Offset up to its NUL unit; Offset moves past it.
bool ReadUcs2(const UINT8* Package, size_t Size, size_t* Offset, std::u16string* Text) {
  Text->clear();
  for (size_t at = *Offset; at + 1 < Size; at += 2) {
    char16_t unit = char16_t(Package[at] | (Package[at + 1] << 8));
    if (unit == 0) {
      *Offset = at + 2;
      return true;
    }
    Text->push_back(unit);
  }
  return false;
}

}  // namespace

bool ParseStringPackage(const UINT8* Package, size_t Size, ParsedStringPackage* Parsed, std::string* Error) {
  if (Size < EFI_HII_STRING_PACKAGE_FIXED_SIZE + 1) return Refuse(Error, "string package header cut short");
  const UINT32 length = Read32(Package) & 0xFFFFFF;
  if (Package[3] != EFI_HII_PACKAGE_STRINGS) return Refuse(Error, "not a string package");
  if (length > Size) return Refuse(Error, "string package longer than its list");
  const UINT32 hdrSize = Read32(Package + 4);
  const UINT32 infoOffset = Read32(Package + 8);
  if (hdrSize <= EFI_HII_STRING_PACKAGE_FIXED_SIZE || hdrSize > length) return Refuse(Error, "bad HdrSize");
  if (infoOffset < hdrSize || infoOffset >= length) return Refuse(Error, "bad StringInfoOffset");
  const char* language = reinterpret_cast<const char*>(Package + EFI_HII_STRING_PACKAGE_FIXED_SIZE);
  size_t languageLength = strnlen(language, hdrSize - EFI_HII_STRING_PACKAGE_FIXED_SIZE);
  if (languageLength == hdrSize - EFI_HII_STRING_PACKAGE_FIXED_SIZE) return Refuse(Error, "language not ended");
  Parsed->Language.assign(language, languageLength);
  Parsed->Strings.clear();

  for (size_t at = infoOffset; at < length;) {
    UINT8 type = Package[at++];
    if (type == EFI_HII_SIBT_END) {
      return at == length ? true : Refuse(Error, "bytes after the end block");
    }
    if (type != EFI_HII_SIBT_STRING_UCS2) return Refuse(Error, "unsupported string block type");
    std::u16string text;
    if (!ReadUcs2(Package, length, &at, &text)) return Refuse(Error, "string block not ended");
    Parsed->Strings.push_back(text);
  }
  return Refuse(Error, "no end block");
}

FakeHii::FakeHii(FakeFirmware& Firmware, bool InstallDatabase, bool InstallString) : fw_(Firmware) {
  database_.Protocol.NewPackageList = &FakeHii::NewPackageList;
  database_.Owner = this;
  string_.Protocol.GetString = &FakeHii::GetString;
  string_.Owner = this;
  if (InstallDatabase) databaseHandle_ = fw_.InstallProtocol(gEfiHiiDatabaseProtocolGuid, &database_.Protocol);
  if (InstallString) stringHandle_ = fw_.InstallProtocol(gEfiHiiStringProtocolGuid, &string_.Protocol);
}

FakeHii::~FakeHii() {
  if (databaseHandle_ != nullptr) fw_.UninstallProtocol(databaseHandle_, gEfiHiiDatabaseProtocolGuid);
  if (stringHandle_ != nullptr) fw_.UninstallProtocol(stringHandle_, gEfiHiiStringProtocolGuid);
}

const FakeHii::PackageList* FakeHii::Find(EFI_HII_HANDLE Handle) const {
  for (const PackageList& list : lists_) {
    if (&list == Handle) return &list;
  }
  return nullptr;
}

EFI_STATUS FakeHii::Register(const EFI_HII_PACKAGE_LIST_HEADER* List, EFI_HII_HANDLE* Handle) {
  PackageList parsed;
  std::memcpy(&parsed.Guid, List, sizeof(EFI_GUID));
  const UINT8* bytes = reinterpret_cast<const UINT8*>(List);
  const UINT32 total = Read32(bytes + sizeof(EFI_GUID));
  for (const PackageList& list : lists_) {
    if (SameGuid(list.Guid, parsed.Guid)) {
      LastRefusal = "package list GUID already registered";
      return EFI_INVALID_PARAMETER;
    }
  }
  if (total < sizeof(EFI_HII_PACKAGE_LIST_HEADER) + 4) {
    LastRefusal = "package list too short";
    return EFI_INVALID_PARAMETER;
  }
  for (size_t at = sizeof(EFI_HII_PACKAGE_LIST_HEADER);;) {
    if (at + 4 > total) {
      LastRefusal = "no end package";
      return EFI_INVALID_PARAMETER;
    }
    const UINT32 length = Read32(bytes + at) & 0xFFFFFF;
    const UINT8 type = bytes[at + 3];
    if (length < 4 || at + length > total) {
      LastRefusal = "package length out of range";
      return EFI_INVALID_PARAMETER;
    }
    if (type == EFI_HII_PACKAGE_END) {
      if (length != 4 || at + 4 != total) {
        LastRefusal = "end package is not the last 4 bytes";
        return EFI_INVALID_PARAMETER;
      }
      break;
    }
    if (type == EFI_HII_PACKAGE_STRINGS) {
      ParsedStringPackage strings;
      if (!ParseStringPackage(bytes + at, length, &strings, &LastRefusal)) return EFI_INVALID_PARAMETER;
      parsed.Strings.push_back(strings);
    }
    at += length;
  }
  parsed.Bytes.assign(bytes, bytes + total);
  lists_.push_back(parsed);
  *Handle = &lists_.back();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeHii::NewPackageList(const EFI_HII_DATABASE_PROTOCOL* This,
                                          const EFI_HII_PACKAGE_LIST_HEADER* PackageList, EFI_HANDLE DriverHandle,
                                          EFI_HII_HANDLE* Handle) {
  (void)DriverHandle;
  FakeHii* self = reinterpret_cast<const DatabaseInstance*>(This)->Owner;
  ++self->NewPackageListCalls;
  if (PackageList == nullptr || Handle == nullptr) return EFI_INVALID_PARAMETER;
  if (self->NewPackageListFailure != EFI_SUCCESS) return self->NewPackageListFailure;
  return self->Register(PackageList, Handle);
}

EFI_STATUS FakeHii::Lookup(const CHAR8* Language, EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16* String,
                           UINTN* StringSize) const {
  if (Language == nullptr || StringSize == nullptr || Id == 0) return EFI_INVALID_PARAMETER;
  if (String == nullptr && *StringSize != 0) return EFI_INVALID_PARAMETER;
  const PackageList* list = Find(Handle);
  if (list == nullptr) return EFI_NOT_FOUND;
  const ParsedStringPackage* package = nullptr;
  for (const ParsedStringPackage& candidate : list->Strings) {
    if (SameLanguage(candidate.Language, Language)) package = &candidate;
  }
  if (package == nullptr) return MissingLanguageStatus;
  if (Id > package->Strings.size()) return EFI_NOT_FOUND;
  const std::u16string& text = package->Strings[Id - 1];
  const UINTN needed = (text.size() + 1) * sizeof(CHAR16);
  if (*StringSize < needed) {
    *StringSize = needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(String, text.c_str(), needed);
  *StringSize = needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeHii::GetString(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                     EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                     UINTN* StringSize, EFI_FONT_INFO** StringFontInfo) {
  (void)StringFontInfo;
  FakeHii* self = reinterpret_cast<const StringInstance*>(This)->Owner;
  UINTN sizeIn = StringSize != nullptr ? *StringSize : 0;
  EFI_STATUS status = self->Lookup(Language, PackageList, StringId, String, StringSize);
  self->GetStringCalls.push_back(
      {Language != nullptr ? std::string(Language) : std::string(), PackageList, StringId, sizeIn, status});
  return status;
}

}  // namespace fake
