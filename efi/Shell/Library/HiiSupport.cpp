#include "HiiSupport.h"

#include "Handle.h"
#include "Globals.h"
#include "Mem.h"
#include "Str.h"

static const CHAR8 kLibSource[] = "Shell/Library/HiiSupport";
// The registration's checks carry the name of the start-up source, where
// applications look for everything that runs before their own code.
static const CHAR8 kRegisterSource[] = "Shell/Library/Init";

EFI_HII_DATABASE_PROTOCOL* LibHiiDatabase = nullptr;
EFI_HII_STRING_PROTOCOL* LibHiiString = nullptr;
BOOLEAN LibHiiProtocolsFound = FALSE;
BOOLEAN LibAppStringsRegistered = FALSE;
EFI_HII_HANDLE LibAppStringsHandle = nullptr;

static const CHAR8 kDefaultLanguage[] = "en-US";
static const UINTN kListHeaderSize = sizeof(EFI_HII_PACKAGE_LIST_HEADER);
static const UINTN kEndPackageSize = sizeof(EFI_HII_PACKAGE_HEADER);
static const UINTN kLengthWordSize = 4;

static UINT32 ReadLittleEndian32(const VOID* Bytes) {
  const UINT8* b = static_cast<const UINT8*>(Bytes);
  return UINT32(b[0]) | UINT32(b[1]) << 8 | UINT32(b[2]) << 16 | UINT32(b[3]) << 24;
}

static VOID WriteLittleEndian32(VOID* Bytes, UINT32 Value) {
  UINT8* b = static_cast<UINT8*>(Bytes);
  for (UINTN i = 0; i < 4; ++i) b[i] = UINT8(Value >> (8 * i));
}

// ---- Package lists ----

EFI_HII_PACKAGE_LIST_HEADER* LibAssemblePackageListV(UINTN Count, const EFI_GUID* Guid, const VOID* const* Packages) {
  UINT32 total = kListHeaderSize + kEndPackageSize;
  for (UINTN i = 0; i < Count; ++i) total += ReadLittleEndian32(Packages[i]) - kLengthWordSize;

  UINT8* list = static_cast<UINT8*>(AllocateZeroedPool(total));
  if (!LIB_CHECK(list != nullptr, "PkgListHdr != ((void *) 0)")) return nullptr;
  MoveMem(list, Guid, sizeof(EFI_GUID));
  WriteLittleEndian32(list + sizeof(EFI_GUID), total);
  UINT8* next = list + kListHeaderSize;
  for (UINTN i = 0; i < Count; ++i) {
    UINT32 length = ReadLittleEndian32(Packages[i]) - kLengthWordSize;
    MoveMem(next, static_cast<const UINT8*>(Packages[i]) + kLengthWordSize, length);
    next += length;
  }
  WriteLittleEndian32(next, EFI_HII_PACKAGE_END_HEADER_VALUE);
  return reinterpret_cast<EFI_HII_PACKAGE_LIST_HEADER*>(list);
}

// ---- Protocols ----

EFI_STATUS LibFindHiiProtocols() {
  if (LibHiiProtocolsFound) return EFI_SUCCESS;
  VOID* interface = nullptr;
  EFI_STATUS status = LibLocateProtocol(&gEfiHiiDatabaseProtocolGuid, &interface);
  LibHiiDatabase = static_cast<EFI_HII_DATABASE_PROTOCOL*>(interface);
  if (EFI_ERROR(status)) return status;
  status = LibLocateProtocol(&gEfiHiiStringProtocolGuid, &interface);
  LibHiiString = static_cast<EFI_HII_STRING_PROTOCOL*>(interface);
  if (EFI_ERROR(status)) return status;
  LibHiiProtocolsFound = TRUE;
  return EFI_SUCCESS;
}

// ---- Registration ----

// AppGuid with the next monotonic count added to its last 8 bytes, taken as
// a little-endian number (modulo 2^64); the first 8 bytes stay as they are.
static EFI_GUID MakeListGuid(const EFI_GUID* AppGuid) {
  EFI_GUID guid = *AppGuid;
  UINT64 count = 0;
  LibBootServices->GetNextMonotonicCount(&count);
  UINT8* tail = guid.Data4;
  UINT64 value = UINT64(ReadLittleEndian32(tail)) | UINT64(ReadLittleEndian32(tail + 4)) << 32;
  value += count;
  WriteLittleEndian32(tail, UINT32(value));
  WriteLittleEndian32(tail + 4, UINT32(value >> 32));
  return guid;
}

EFI_STATUS LibRegisterAppStrings(EFI_HII_HANDLE* HiiHandle, const VOID* Package, const EFI_GUID* AppGuid) {
  if (!LibCheck(HiiHandle != nullptr, kRegisterSource, __LINE__, "HiiHandle")) return EFI_INVALID_PARAMETER;
  if (LibAppStringsRegistered) {
    *HiiHandle = LibAppStringsHandle;
    return EFI_SUCCESS;
  }
  // Without the database there is nothing to register with; a missing string
  // protocol only silences the messages, so the run goes on without it.
  EFI_STATUS status = LibFindHiiProtocols();
  if (LibHiiDatabase == nullptr) return EFI_ERROR(status) ? status : EFI_NOT_FOUND;

  EFI_GUID listGuid = MakeListGuid(AppGuid);
  EFI_HII_PACKAGE_LIST_HEADER* list = LibAssemblePackageList(&listGuid, Package);
  if (!LibCheck(list != nullptr, kRegisterSource, __LINE__, "PackageList != ((void *) 0)")) {
    return EFI_OUT_OF_RESOURCES;
  }
  status = LibHiiDatabase->NewPackageList(LibHiiDatabase, list, nullptr, HiiHandle);
  // The database keeps a copy of its own.
  ReleasePool(list);
  if (EFI_ERROR(status)) return status;
  LibAppStringsRegistered = TRUE;
  LibAppStringsHandle = *HiiHandle;
  return status;
}

// ---- Strings ----

static bool HasTerminator(const CHAR8* Text, UINTN Size) {
  for (UINTN i = 0; i < Size; ++i) {
    if (Text[i] == 0) return true;
  }
  return false;
}

EFI_STATUS LibStringLanguage(CHAR8* Language) {
  // Cleared first, so that a value stored without its NUL is still ended
  // when it is shorter than the buffer.
  ClearMem(Language, kLibLanguageSize);
  UINTN size = kLibLanguageSize;
  EFI_STATUS status =
      LibRuntimeServices->GetVariable(u"PlatformLang", &gEfiGlobalVariableGuid, nullptr, &size, Language);
  // A value that fills the buffer without a NUL cannot be used as text.
  if (EFI_ERROR(status) || !HasTerminator(Language, kLibLanguageSize)) Str8Copy(Language, kDefaultLanguage);
  return status;
}

static EFI_STATUS GetString(const CHAR8* Language, EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Token, CHAR16* Buffer,
                            UINTN* BufferSize) {
  return LibHiiString->GetString(LibHiiString, Language, HiiHandle, Token, Buffer, BufferSize, nullptr);
}

EFI_STATUS LibFetchString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Token, CHAR16* Buffer, UINTN* BufferSize) {
  if (EFI_ERROR(LibFindHiiProtocols())) return EFI_UNSUPPORTED;
  CHAR8 language[kLibLanguageSize];
  LibStringLanguage(language);
  EFI_STATUS status = GetString(language, HiiHandle, Token, Buffer, BufferSize);
  if (!EFI_ERROR(status) || status == EFI_BUFFER_TOO_SMALL) return status;
  // Most often the package has no text in the platform language.
  Str8Copy(language, kDefaultLanguage);
  return GetString(language, HiiHandle, Token, Buffer, BufferSize);
}
