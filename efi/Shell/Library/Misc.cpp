#include "Misc.h"

#include "Init.h"
#include "Mem.h"
#include "Str.h"

static const CHAR8 kLibSource[] = "Shell/Library/Misc";

// First guess for a variable's size; most variables fit, so one call suffices.
static const UINTN kVariableFirstGuess = 100;

static UINT32 GuidWord(const EFI_GUID* Guid, UINTN Index) {
  UINT32 word;
  __builtin_memcpy(&word, reinterpret_cast<const UINT8*>(Guid) + Index * 4, 4);
  return word;
}

INTN LibGuidCompare(const EFI_GUID* Guid1, const EFI_GUID* Guid2) {
  if (!LIB_CHECK_NOT_NULL(Guid1) || !LIB_CHECK_NOT_NULL(Guid2)) return Guid1 == Guid2 ? 0 : 1;
  INTN result = 0;
  for (UINTN i = 0; i < 4; ++i) result |= INTN(INT32(GuidWord(Guid1, i) - GuidWord(Guid2, i)));
  return result;
}

BOOLEAN LibBufferRetry(EFI_STATUS* Status, VOID** Buffer, UINTN BufferSize) {
  if (!LIB_CHECK_NOT_NULL(Status) || !LIB_CHECK_NOT_NULL(Buffer)) return FALSE;
  if (*Buffer == nullptr && BufferSize != 0) *Status = EFI_BUFFER_TOO_SMALL;
  if (*Status == EFI_BUFFER_TOO_SMALL) {
    if (*Buffer != nullptr) ReleasePool(*Buffer);
    *Buffer = AllocateZeroedPool(BufferSize);
    if (*Buffer != nullptr) return TRUE;
    *Status = EFI_OUT_OF_RESOURCES;
  }
  if (EFI_ERROR(*Status) && *Buffer != nullptr) {
    ReleasePool(*Buffer);
    *Buffer = nullptr;
  }
  return FALSE;
}

VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid, UINTN* VarSize) {
  if (!LIB_CHECK_NOT_NULL(VarSize)) return nullptr;
  VOID* buffer = nullptr;
  UINTN size = kVariableFirstGuess;
  EFI_STATUS status = EFI_SUCCESS;
  while (LibBufferRetry(&status, &buffer, size)) {
    status = LibRuntimeServices->GetVariable(Name, VendorGuid, nullptr, &size, buffer);
  }
  *VarSize = buffer != nullptr ? size : 0;
  return buffer;
}

VOID* LibReadVariable(const CHAR16* Name, const EFI_GUID* VendorGuid) {
  UINTN size;
  return LibReadVariable(Name, VendorGuid, &size);
}

// ---- Languages ----

// A variable's value can be read as text when it holds a terminator, or
// when it is shorter than the zero-filled first-guess buffer that then ends it.
static bool IsTerminatedText(const CHAR8* Value, UINTN Size) {
  if (Size < kVariableFirstGuess) return true;
  for (UINTN i = 0; i < Size; ++i) {
    if (Value[i] == 0) return true;
  }
  return false;
}

CHAR8* LibPlatformLanguageMatch(const CHAR8* SupportedLanguages, BOOLEAN Iso639) {
  UINTN size = 0;
  const CHAR16* name = Iso639 ? u"Lang" : u"PlatformLang";
  auto* value = static_cast<CHAR8*>(LibReadVariable(name, &gEfiGlobalVariableGuid, &size));
  const CHAR8* platform = value != nullptr && IsTerminatedText(value, size) ? value : "";
  CHAR8* match = LibMatchLanguage(SupportedLanguages, Iso639, platform, Iso639 ? "eng" : "en-US");
  if (value != nullptr) ReleasePool(value);
  return match;
}

namespace {

// An entry of a supported-languages list.
struct LanguageEntry {
  const CHAR8* Start;
  UINTN Length;
};

// ISO 639-2 lists are three-letter codes run together. A last entry cut
// short by the terminator ends the list, so the walk never steps past it.
bool FindIso639Entry(const CHAR8* Supported, const CHAR8* Candidate, UINTN Prefix, LanguageEntry* Found) {
  for (const CHAR8* entry = Supported; entry[0] != 0; entry += 3) {
    UINTN length = entry[1] == 0 ? 1 : (entry[2] == 0 ? 2 : 3);
    if (Str8CompareBounded(entry, Candidate, Prefix) == 0) {
      *Found = {entry, length};
      return true;
    }
    if (length < 3) break;
  }
  return false;
}

// RFC 4646 lists are ';'-separated; entries shorter than the prefix are passed over.
bool FindRfc4646Entry(const CHAR8* Supported, const CHAR8* Candidate, UINTN Prefix, LanguageEntry* Found) {
  const CHAR8* p = Supported;
  for (;;) {
    while (*p == ';') ++p;
    if (*p == 0) return false;
    const CHAR8* entry = p;
    while (*p != 0 && *p != ';') ++p;
    UINTN length = UINTN(p - entry);
    if (length >= Prefix && Str8CompareBounded(entry, Candidate, Prefix) == 0) {
      *Found = {entry, length};
      return true;
    }
  }
}

UINTN CandidatePrefix(const CHAR8* Candidate, BOOLEAN Iso639) {
  UINTN length = 0;
  if (Iso639) {
    while (length < 3 && Candidate[length] != 0) ++length;
    return length;
  }
  while (Candidate[length] != 0 && Candidate[length] != ';') ++length;
  return length;
}

// The next shorter prefix at a '-' boundary (en-US -> en), or 0.
UINTN ShortenPrefix(const CHAR8* Candidate, UINTN Prefix) {
  --Prefix;
  while (Prefix > 0 && Candidate[Prefix] != '-') --Prefix;
  return Prefix;
}

CHAR8* CopyEntry(const LanguageEntry& Entry) {
  auto* copy = static_cast<CHAR8*>(AllocateZeroedPool(Entry.Length + 1));
  if (copy != nullptr) MoveMem(copy, Entry.Start, Entry.Length);
  return copy;
}

}  // namespace

CHAR8* LibMatchLanguageList(const CHAR8* SupportedLanguages, BOOLEAN Iso639, const CHAR8* const* Candidates) {
  if (!LIB_CHECK(SupportedLanguages != nullptr, "SupportedLanguages != ((void *) 0)")) return nullptr;
  for (; *Candidates != nullptr; ++Candidates) {
    const CHAR8* candidate = *Candidates;
    for (UINTN prefix = CandidatePrefix(candidate, Iso639); prefix != 0;) {
      LanguageEntry entry;
      bool found = Iso639 ? FindIso639Entry(SupportedLanguages, candidate, prefix, &entry)
                          : FindRfc4646Entry(SupportedLanguages, candidate, prefix, &entry);
      if (found) return CopyEntry(entry);
      prefix = Iso639 ? 0 : ShortenPrefix(candidate, prefix);
    }
  }
  return nullptr;
}
