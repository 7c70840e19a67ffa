// A fake HII database and HII string protocol for host tests.
//
//   fake::FakeHii hii(fw);   // both protocols installed on handles of their own
//
// NewPackageList really parses the list it is given: the list header, every
// package up to the end package, and in each string package the language
// and the string blocks (EFI_HII_SIBT_STRING_UCS2 and EFI_HII_SIBT_END; any
// other block type refuses the list). It keeps a copy, as the firmware does,
// so the caller may free its list at once. A GUID that is already registered
// is refused with EFI_INVALID_PARAMETER, as the firmware refuses it.
//
// GetString answers from the parsed strings with the firmware's size
// protocol: EFI_BUFFER_TOO_SMALL and the size needed (in bytes, NUL
// included) when the buffer is too small; EFI_INVALID_PARAMETER for a null
// language or size, a null buffer with a nonzero size, or string id 0;
// EFI_NOT_FOUND for an unknown handle or id; MissingLanguageStatus when the
// list has no string package in the language (compared ignoring case).
//
// The registered lists outlive the library's state: a test may reset the
// library and "run" an application again against the same database.
#ifndef QORVEX_TESTS_FAKE_FAKE_HII_H
#define QORVEX_TESTS_FAKE_FAKE_HII_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "FakeFirmware.h"
#include "Protocol/HiiStringPackage.h"

namespace fake {

// The strings of one string package.
struct ParsedStringPackage {
  std::string Language;
  std::vector<std::u16string> Strings;  // Strings[0] has string id 1
};

// Parses one string package (starting at its package header, Size bytes
// available). Returns false with a reason in *Error when it is malformed.
bool ParseStringPackage(const UINT8* Package, size_t Size, ParsedStringPackage* Parsed, std::string* Error);

class FakeHii {
 public:
  struct PackageList {
    EFI_GUID Guid{};
    std::vector<UINT8> Bytes;                  // the list as registered
    std::vector<ParsedStringPackage> Strings;  // its string packages, in order
  };
  struct GetStringCall {
    std::string Language;
    EFI_HII_HANDLE Handle;
    EFI_STRING_ID Id;
    UINTN SizeIn;
    EFI_STATUS Status;
  };

  explicit FakeHii(FakeFirmware& Firmware, bool InstallDatabase = true, bool InstallString = true);
  ~FakeHii();
  FakeHii(const FakeHii&) = delete;
  FakeHii& operator=(const FakeHii&) = delete;

  EFI_HII_DATABASE_PROTOCOL* Database() { return &database_.Protocol; }
  EFI_HII_STRING_PROTOCOL* String() { return &string_.Protocol; }

  // Registered lists in registration order; a handle is the list's address.
  const std::deque<PackageList>& Lists() const { return lists_; }
  EFI_HII_HANDLE HandleOf(size_t Index) { return &lists_[Index]; }
  const PackageList* Find(EFI_HII_HANDLE Handle) const;

  // NewPackageList answers this error (registering nothing) when it is set.
  EFI_STATUS NewPackageListFailure = EFI_SUCCESS;
  // What GetString answers for a language the list has no strings in.
  EFI_STATUS MissingLanguageStatus = EFI_NOT_FOUND;

  size_t NewPackageListCalls = 0;
  std::string LastRefusal;  // why the last refused list was refused
  std::vector<GetStringCall> GetStringCalls;

 private:
  struct DatabaseInstance {
    EFI_HII_DATABASE_PROTOCOL Protocol;
    FakeHii* Owner;
  };
  struct StringInstance {
    EFI_HII_STRING_PROTOCOL Protocol;
    FakeHii* Owner;
  };
  static EFI_STATUS EFIAPI NewPackageList(const EFI_HII_DATABASE_PROTOCOL* This,
                                          const EFI_HII_PACKAGE_LIST_HEADER* PackageList, EFI_HANDLE DriverHandle,
                                          EFI_HII_HANDLE* Handle);
  static EFI_STATUS EFIAPI GetString(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                     EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                     UINTN* StringSize, EFI_FONT_INFO** StringFontInfo);
  EFI_STATUS Register(const EFI_HII_PACKAGE_LIST_HEADER* List, EFI_HII_HANDLE* Handle);
  EFI_STATUS Lookup(const CHAR8* Language, EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16* String,
                    UINTN* StringSize) const;

  FakeFirmware& fw_;
  DatabaseInstance database_{};
  StringInstance string_{};
  EFI_HANDLE databaseHandle_ = nullptr;
  EFI_HANDLE stringHandle_ = nullptr;
  std::deque<PackageList> lists_;
};

}  // namespace fake

#endif  // QORVEX_TESTS_FAKE_FAKE_HII_H
