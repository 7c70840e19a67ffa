#include "Messages.h"

#include "HiiSupport.h"
#include "Init.h"
#include "Mem.h"

EFI_HII_HANDLE AppHiiHandle = nullptr;

namespace {

// The texts in string-id order, starting at id 1.
constexpr const CHAR16* kMessageTexts[] = {
    u"English",
    u"Error: Unknown flag - '%hs'\r\n",
    u"Error: Duplicated flag - '%hs'\r\n",
    u"Error: Invalid argument - '%hs'\r\n",
    u"Error: Conflict parameter - '%hs'\r\n",
    u"Error: memory allocation failed!\r\n",
    u"Error: Can not open the file [%hs](Exist?Readonly?Directory?)!\r\n",
    u"Error: Please specify the name of SMBIOS file and VKF file!\r\n",
};
constexpr UINTN kMessageCount = sizeof(kMessageTexts) / sizeof(kMessageTexts[0]);
static_assert(kMessageCount == TokenMissingFileNames, "one text per token");

constexpr CHAR8 kPackageLanguage[] = "en-US";
constexpr UINTN kLengthWordSize = 4;
constexpr UINTN kHeaderSize = EFI_HII_STRING_PACKAGE_FIXED_SIZE + sizeof(kPackageLanguage);

constexpr UINTN TextUnits(const CHAR16* Text) {
  UINTN units = 0;
  while (Text[units] != 0) ++units;
  return units;
}

// A UCS-2 string block: its type byte and the text with its NUL unit.
constexpr UINTN BlockSize(const CHAR16* Text) { return 1 + 2 * (TextUnits(Text) + 1); }

constexpr UINTN BlocksSize() {
  UINTN size = 0;
  for (const CHAR16* text : kMessageTexts) size += BlockSize(text);
  return size;
}

constexpr UINTN kPackageLength = kHeaderSize + BlocksSize() + 1;
static_assert(kLengthWordSize + kPackageLength == kMessageStringPackageSize, "package size");

constexpr UINTN PutByte(MessagePackageBytes& Blob, UINTN At, UINT8 Value) {
  Blob.Bytes[At] = Value;
  return At + 1;
}

constexpr UINTN Put16(MessagePackageBytes& Blob, UINTN At, UINT16 Value) {
  At = PutByte(Blob, At, UINT8(Value));
  return PutByte(Blob, At, UINT8(Value >> 8));
}

constexpr UINTN Put32(MessagePackageBytes& Blob, UINTN At, UINT32 Value) {
  At = Put16(Blob, At, UINT16(Value));
  return Put16(Blob, At, UINT16(Value >> 16));
}

// The string package header: length and type, header size, where the blocks
// start, an empty language window, the id of the language's name, the tag.
constexpr UINTN PutHeader(MessagePackageBytes& Blob, UINTN At) {
  At = Put32(Blob, At, UINT32(kPackageLength) | UINT32(EFI_HII_PACKAGE_STRINGS) << 24);
  At = Put32(Blob, At, kHeaderSize);
  At = Put32(Blob, At, kHeaderSize);
  for (UINTN i = 0; i < 16; ++i) At = Put16(Blob, At, 0);
  At = Put16(Blob, At, TokenLanguageName);
  for (CHAR8 c : kPackageLanguage) At = PutByte(Blob, At, UINT8(c));
  return At;
}

constexpr MessagePackageBytes BuildMessagePackage() {
  MessagePackageBytes blob{};
  UINTN at = Put32(blob, 0, kMessageStringPackageSize);
  at = PutHeader(blob, at);
  for (const CHAR16* text : kMessageTexts) {
    at = PutByte(blob, at, EFI_HII_SIBT_STRING_UCS2);
    for (UINTN i = 0; i <= TextUnits(text); ++i) at = Put16(blob, at, text[i]);
  }
  at = PutByte(blob, at, EFI_HII_SIBT_END);
  return blob;
}

// The first 4096 bytes hold every message; a longer text costs one retry.
constexpr UINTN kFirstFetchSize = 4096;

}  // namespace

constexpr MessagePackageBytes MessageStringPackage = BuildMessagePackage();
static_assert(MessageStringPackage.Bytes[kMessageStringPackageSize - 1] == EFI_HII_SIBT_END,
              "the package ends with its end block");

// Fetches Token into a new pool buffer that the caller frees; null when the
// text cannot be had.
static CHAR16* FetchMessage(EFI_STRING_ID Token, EFI_HII_HANDLE HiiHandle) {
  UINTN size = kFirstFetchSize;
  CHAR16* text = static_cast<CHAR16*>(AllocatePool(size));
  if (text == nullptr) return nullptr;
  EFI_STATUS status = LibFetchString(HiiHandle, Token, text, &size);
  if (status == EFI_BUFFER_TOO_SMALL) {
    ReleasePool(text);
    text = static_cast<CHAR16*>(AllocatePool(size));
    if (text == nullptr) return nullptr;
    status = LibFetchString(HiiHandle, Token, text, &size);
  }
  if (EFI_ERROR(status)) {
    ReleasePool(text);
    return nullptr;
  }
  return text;
}

UINTN PrintMessageByTokenV(EFI_STRING_ID Token, EFI_HII_HANDLE HiiHandle, const UINT64* Args) {
  CHAR16* text = FetchMessage(Token, HiiHandle);
  if (text == nullptr) return 0;
  const UINTN atCursor = ~UINTN(0);
  UINTN printed = LibPrintTo(atCursor, atCursor, LibSystemTable->ConOut, text, nullptr, Args);
  ReleasePool(text);
  // A print that could not allocate its working blocks answers with a status
  // in place of its count; it printed nothing.
  return printed == EFI_OUT_OF_RESOURCES ? 0 : printed;
}
