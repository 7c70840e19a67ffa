#include "Messages.h"

#include "HiiSupport.h"
#include "Init.h"
#include "Mem.h"

EFI_HII_HANDLE AppHiiHandle = nullptr;

namespace {

constexpr UINTN kHeaderSize = EFI_HII_STRING_PACKAGE_FIXED_SIZE + sizeof(kMessagePackageLanguage);

// Every token names its own row, so a token is its text's string id.
constexpr bool TokensAreStringIds() {
  for (UINTN i = 0; i < kMessageCount; ++i) {
    if (kMessageTexts[i].Token != i + 1) return false;
  }
  return true;
}
static_assert(TokensAreStringIds(), "the message table must list its tokens in order");

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
  At = Put32(Blob, At, UINT32(MessagePackageLength()) | UINT32(EFI_HII_PACKAGE_STRINGS) << 24);
  At = Put32(Blob, At, kHeaderSize);
  At = Put32(Blob, At, kHeaderSize);
  for (UINTN i = 0; i < 16; ++i) At = Put16(Blob, At, 0);
  At = Put16(Blob, At, TokenLanguageName);
  for (CHAR8 c : kMessagePackageLanguage) At = PutByte(Blob, At, UINT8(c));
  return At;
}

constexpr MessagePackageBytes BuildMessagePackage() {
  MessagePackageBytes blob{};
  UINTN at = Put32(blob, 0, kMessageStringPackageSize);
  at = PutHeader(blob, at);
  for (const MessageText& message : kMessageTexts) {
    at = PutByte(blob, at, EFI_HII_SIBT_STRING_UCS2);
    for (UINTN i = 0; i <= MessageTextUnits(message.Text); ++i) at = Put16(blob, at, message.Text[i]);
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

namespace {

struct FlagMessage {
  FlagCheckResult Result;
  MessageToken Token;
};

constexpr FlagMessage kFlagMessages[] = {
    {FlagCheckDuplicate, TokenDuplicatedFlag}, {FlagCheckConflict, TokenConflictParameter},
    {FlagCheckUnknown, TokenUnknownFlag},      {FlagCheckNoValue, TokenInvalidArgument},
    {FlagCheckNoMemory, TokenOutOfMemory},
};

}  // namespace

EFI_STATUS PrintFlagError(FlagCheckResult Result, const CHAR16* Useful) {
  for (const FlagMessage& message : kFlagMessages) {
    if (message.Result == Result) PrintMessageByToken(message.Token, AppHiiHandle, Useful);
  }
  return EFI_INVALID_PARAMETER;
}
