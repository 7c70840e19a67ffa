#include "Misc.h"

#include "Handle.h"
#include "IO.h"
#include "Globals.h"
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

// ---- Status, GUID and time text ----

EFI_SHELL_ENVIRONMENT2* LibGuidNamer = nullptr;

namespace {

struct StatusName {
  EFI_STATUS Status;
  const CHAR16* Text;
};

constexpr StatusName kStatusNames[] = {
    {EFI_SUCCESS, u"Success"},
    {EFI_WARN_UNKNOWN_GLYPH, u"Warning Unknown Glyph"},
    {EFI_WARN_DELETE_FAILURE, u"Warning Delete Failure"},
    {EFI_WARN_WRITE_FAILURE, u"Warning Write Failure"},
    {EFI_WARN_BUFFER_TOO_SMALL, u"Warning Buffer Too Small"},
    {EFI_WARN_RETURN_FROM_LONG_JUMP, u"Warning Return From Long Jump"},
    {EFI_LOAD_ERROR, u"Load Error"},
    {EFI_INVALID_PARAMETER, u"Invalid Parameter"},
    {EFI_UNSUPPORTED, u"Unsupported"},
    {EFI_BAD_BUFFER_SIZE, u"Bad Buffer Size"},
    {EFI_BUFFER_TOO_SMALL, u"Buffer Too Small"},
    {EFI_NOT_READY, u"Not Ready"},
    {EFI_DEVICE_ERROR, u"Device Error"},
    {EFI_WRITE_PROTECTED, u"Write Protected"},
    {EFI_OUT_OF_RESOURCES, u"Out of Resources"},
    {EFI_VOLUME_CORRUPTED, u"Volume Corrupted"},
    {EFI_VOLUME_FULL, u"Volume Full"},
    {EFI_NO_MEDIA, u"No Media"},
    {EFI_MEDIA_CHANGED, u"Media Changed"},
    {EFI_NOT_FOUND, u"Not Found"},
    {EFI_ACCESS_DENIED, u"Access Denied"},
    {EFI_NO_RESPONSE, u"No Response"},
    {EFI_NO_MAPPING, u"No Mapping"},
    {EFI_TIMEOUT, u"Time Out"},
    {EFI_NOT_STARTED, u"Not Started"},
    {EFI_ALREADY_STARTED, u"Already Started"},
    {EFI_ABORTED, u"Aborted"},
    {EFI_ICMP_ERROR, u"ICMP Error"},
    {EFI_TFTP_ERROR, u"TFTP Error"},
    {EFI_PROTOCOL_ERROR, u"Protocol Error"},
    {EFI_INCOMPATIBLE_VERSION, u"Incompatible Version"},
    {EFI_SECURITY_VIOLATION, u"Security Violation"},
    {EFI_CRC_ERROR, u"CRC Error"},
    {EFI_NOT_AVAILABLE_YET, u"Not Available Yet"},
    {EFI_UNLOAD_IMAGE, u"Unload Image"},
};

// Every name fits the format engine's 100-character field scratch.
constexpr bool StatusNamesFitTheScratch() {
  for (const StatusName& entry : kStatusNames) {
    UINTN length = 0;
    while (entry.Text[length] != 0) ++length;
    if (length >= 100) return false;
  }
  return true;
}
static_assert(StatusNamesFitTheScratch(), "status names fit the field scratch");

// The shell environment that names GUIDs; a failed lookup is tried again at
// the next call.
EFI_SHELL_ENVIRONMENT2* GuidNamer() {
  if (LibGuidNamer != nullptr) return LibGuidNamer;
  VOID* interface = nullptr;
  if (!EFI_ERROR(LibLocateProtocol(&gEfiShellEnvironmentGuid, &interface))) {
    LibGuidNamer = static_cast<EFI_SHELL_ENVIRONMENT2*>(interface);
  }
  return LibGuidNamer;
}

}  // namespace

// Each routine stores an empty text first: the formatting run may be unable
// to allocate, and the caller must not be left with an unterminated buffer.

VOID LibStatusText(CHAR16* Buffer, EFI_STATUS Status) {
  if (!LIB_CHECK_NOT_NULL(Buffer)) return;
  for (const StatusName& entry : kStatusNames) {
    if (entry.Status != Status) continue;
    Str16Copy(Buffer, entry.Text);
    return;
  }
  Buffer[0] = 0;
  LibFormatToBuffer(Buffer, 0, u"%X", Status);
}

VOID LibGuidTextBounded(CHAR16* Buffer, UINTN BufferSize, const EFI_GUID* Guid) {
  if (!LIB_CHECK_NOT_NULL(Buffer) || !LIB_CHECK_NOT_NULL(Guid)) return;
  Buffer[0] = 0;
  EFI_SHELL_ENVIRONMENT2* namer = GuidNamer();
  // The name belongs to the shell and is not freed.
  const CHAR16* name = namer != nullptr && namer->GetProt != nullptr ? namer->GetProt(Guid, FALSE) : nullptr;
  if (name != nullptr) {
    LibFormatToBuffer(Buffer, BufferSize, u"%s", name);
    return;
  }
  const UINT8* d = Guid->Data4;
  LibFormatToBuffer(Buffer, BufferSize, u"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", Guid->Data1, Guid->Data2,
                    Guid->Data3, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
}

VOID LibGuidText(CHAR16* Buffer, const EFI_GUID* Guid) { LibGuidTextBounded(Buffer, 0, Guid); }

VOID LibTimeText(CHAR16* Buffer, const EFI_TIME* Time) {
  if (!LIB_CHECK_NOT_NULL(Buffer)) return;
  Buffer[0] = 0;
  if (Time == nullptr) return;
  UINTN hour = Time->Hour;
  CHAR16 letter = u'a';
  if (Time->Hour == 0) {
    hour = 12;
  } else if (Time->Hour >= 12) {
    letter = u'p';
    if (Time->Hour >= 13) hour = Time->Hour - 12;
  }
  LibFormatToBuffer(Buffer, 0, u"%02d/%02d/%02d  %02d:%02d%c", Time->Month, Time->Day, Time->Year % 100, hour,
                    Time->Minute, letter);
}
