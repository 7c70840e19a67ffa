// HII support: package lists, the HII database and string protocols, the
// registration of an application's string package and the fetch of one of
// its strings in the platform language.
//
// A length-prefixed package is a 32-bit little-endian length (these 4 bytes
// included) followed by one HII package, as an application keeps its string
// package in its constant data.
#ifndef QORVEX_SHELL_LIBRARY_HII_SUPPORT_H
#define QORVEX_SHELL_LIBRARY_HII_SUPPORT_H

#include "Efi.h"
#include "Protocol/HiiStringPackage.h"

// The HII protocol instances, looked up once on first use (null until then).
extern EFI_HII_DATABASE_PROTOCOL* LibHiiDatabase;
extern EFI_HII_STRING_PROTOCOL* LibHiiString;

// Lookup and registration state. Only HiiSupport.cpp changes it; tests put
// it back to its load-time values (false, false, null) between cases.
extern BOOLEAN LibHiiProtocolsFound;
extern BOOLEAN LibAppStringsRegistered;
extern EFI_HII_HANDLE LibAppStringsHandle;

// Room that LibStringLanguage needs in the caller's language buffer.
constexpr UINTN kLibLanguageSize = 12;

// Registers Package (length-prefixed) with the HII database under a list GUID
// made from AppGuid: its last 8 bytes, read as a little-endian number, plus
// the next monotonic count, so that every run registers a list of its own.
// The handle goes to *HiiHandle. Registers once per image: later calls
// store the first call's handle and return success. Returns the status of
// NewPackageList, of the protocol lookup when the HII database is missing, or
// EFI_OUT_OF_RESOURCES when the list cannot be built. A failed registration
// is not remembered, so a later call tries again. Only the database is
// needed: without the string protocol the strings are registered all the
// same, and fetching them fails later (the messages then print nothing).
EFI_STATUS LibRegisterAppStrings(EFI_HII_HANDLE* HiiHandle, const VOID* Package, const EFI_GUID* AppGuid);

// Builds a package list of the Count length-prefixed packages in a new pool
// block that the caller frees: the list header with Guid and the total
// length, each package without its length word, and the end package.
// Null when the block cannot be allocated.
EFI_HII_PACKAGE_LIST_HEADER* LibAssemblePackageListV(UINTN Count, const EFI_GUID* Guid, const VOID* const* Packages);

// The same with the packages as arguments; their count is the argument count.
template <typename... Package>
EFI_HII_PACKAGE_LIST_HEADER* LibAssemblePackageList(const EFI_GUID* Guid, const Package*... Packages) {
  const VOID* const list[] = {static_cast<const VOID*>(Packages)...};
  return LibAssemblePackageListV(sizeof...(Package), Guid, list);
}

// Looks up the HII database and string protocols once; a failed lookup is
// tried again on the next call. Returns the failing lookup's status.
EFI_STATUS LibFindHiiProtocols();

// Fills Language (kLibLanguageSize bytes) with the NUL-terminated value of
// "PlatformLang", or with "en-US" when the variable is missing, does not fit,
// or fills the buffer without a terminator. Returns the variable read's status.
EFI_STATUS LibStringLanguage(CHAR8* Language);

// Fetches string Token of the registered package list HiiHandle into Buffer
// in the platform language, and once more in "en-US" when that fails for any
// reason but a too-small buffer. *BufferSize is in bytes, in and out (the size
// needed after EFI_BUFFER_TOO_SMALL). EFI_UNSUPPORTED without the protocols.
EFI_STATUS LibFetchString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID Token, CHAR16* Buffer, UINTN* BufferSize);

#endif  // QORVEX_SHELL_LIBRARY_HII_SUPPORT_H
