// The message string package, package lists, registration with the HII
// database, fetching a string in the platform language, and printing a
// message by its token.
#include <cstring>
#include <string>
#include <vector>

#include "AppStateReset.h"
#include "FakeHii.h"
#include "FirmwareTest.h"
#include "HiiSupport.h"
#include "Mem.h"
#include "Messages.h"

namespace {

using fake::FakeHii;
using fake::FirmwareTest;

QORVEX_FAKE_STATE_RESET(ResetAppState);

// The texts of the message table, as the tests compare them.
std::vector<std::u16string> Texts() {
  std::vector<std::u16string> texts;
  for (const MessageText& message : kMessageTexts) texts.push_back(message.Text);
  return texts;
}
const std::vector<std::u16string> kTexts = Texts();

std::vector<UINT8> Bytes(const void* Data, size_t Size) {
  const UINT8* bytes = static_cast<const UINT8*>(Data);
  return std::vector<UINT8>(bytes, bytes + Size);
}

const std::vector<UINT8>& PackageBytes() {
  static const std::vector<UINT8> bytes = Bytes(MessageStringPackage.Bytes, kMessageStringPackageSize);
  return bytes;
}

UINT64 Read64(const UINT8* Bytes) {
  UINT64 value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | Bytes[i];
  return value;
}

// A length-prefixed English string package with the given texts.
std::vector<UINT8> MakePackage(const std::vector<std::u16string>& Texts, const std::string& Language = "en-US") {
  std::vector<UINT8> blocks;
  for (const std::u16string& text : Texts) {
    blocks.push_back(EFI_HII_SIBT_STRING_UCS2);
    for (char16_t unit : text + u'\0') {
      blocks.push_back(UINT8(unit));
      blocks.push_back(UINT8(unit >> 8));
    }
  }
  blocks.push_back(EFI_HII_SIBT_END);
  const UINT32 hdrSize = 46 + UINT32(Language.size()) + 1;
  const UINT32 length = hdrSize + UINT32(blocks.size());
  std::vector<UINT8> package(4 + hdrSize, 0);
  auto put32 = [&](size_t at, UINT32 value) {
    for (int i = 0; i < 4; ++i) package[at + i] = UINT8(value >> (8 * i));
  };
  put32(0, 4 + length);
  put32(4, length | UINT32(EFI_HII_PACKAGE_STRINGS) << 24);
  put32(8, hdrSize);
  put32(12, hdrSize);
  package[48] = 1;
  std::memcpy(&package[50], Language.c_str(), Language.size() + 1);
  package.insert(package.end(), blocks.begin(), blocks.end());
  return package;
}

// ---- The package ----

TEST(MessageStringPackage, HasTheLayoutByteForByte) {
  const std::vector<UINT8>& bytes = PackageBytes();
  ASSERT_EQ(bytes.size(), 1746u);
  const std::vector<UINT8> header = {
      0xD2, 0x06, 0x00, 0x00,  // blob length 1746
      0xCE, 0x06, 0x00, 0x04,  // package length 1742, type strings
      0x34, 0x00, 0x00, 0x00,  // HdrSize 52
      0x34, 0x00, 0x00, 0x00,  // StringInfoOffset 52
  };
  EXPECT_EQ(std::vector<UINT8>(bytes.begin(), bytes.begin() + 16), header);
  EXPECT_EQ(std::vector<UINT8>(bytes.begin() + 16, bytes.begin() + 48), std::vector<UINT8>(32, 0));
  EXPECT_EQ(std::vector<UINT8>(bytes.begin() + 48, bytes.begin() + 56),
            (std::vector<UINT8>{0x01, 0x00, 'e', 'n', '-', 'U', 'S', 0x00}));

  // Nineteen UCS-2 string blocks at the offsets of the layout, then the end block.
  const size_t offsets[] = {56,  73,  134,  201,  270,  343,  414,  545,  670,  749,
                            826, 913, 1012, 1105, 1204, 1299, 1404, 1521, 1612, 1745};
  for (size_t id = 0; id < 19; ++id) {
    EXPECT_EQ(bytes[offsets[id]], EFI_HII_SIBT_STRING_UCS2) << "string id " << id + 1;
    EXPECT_EQ(offsets[id + 1] - offsets[id], 1 + 2 * (kTexts[id].size() + 1)) << "string id " << id + 1;
  }
  EXPECT_EQ(bytes[1745], EFI_HII_SIBT_END);
  // The same bytes as a package made by a builder of the test's own.
  EXPECT_EQ(PackageBytes(), MakePackage(kTexts));
}

// ---- Package lists ----

class PackageListTest : public FirmwareTest {};

TEST_F(PackageListTest, WrapsThePackageBetweenHeaderAndEndPackage) {
  EFI_HII_PACKAGE_LIST_HEADER* list = LibAssemblePackageList(&kQorvexAppGuid, MessageStringPackage.Bytes);
  ASSERT_NE(list, nullptr);
  std::vector<UINT8> bytes = Bytes(list, 1766);
  EXPECT_EQ(std::memcmp(bytes.data(), &kQorvexAppGuid, 16), 0);
  EXPECT_EQ(std::vector<UINT8>(bytes.begin() + 16, bytes.begin() + 20), (std::vector<UINT8>{0xE6, 0x06, 0, 0}));
  EXPECT_EQ(std::vector<UINT8>(bytes.begin() + 20, bytes.begin() + 1762),
            std::vector<UINT8>(PackageBytes().begin() + 4, PackageBytes().end()));
  EXPECT_EQ(std::vector<UINT8>(bytes.begin() + 1762, bytes.end()), (std::vector<UINT8>{0x04, 0x00, 0x00, 0xDF}));
  EXPECT_EQ(fw.FindBlock(list)->Size, 1766u);
  ReleasePool(list);
}

TEST_F(PackageListTest, ReportsAnAllocationFailure) {
  fw.FailAllocation(1);
  EXPECT_EQ(LibAssemblePackageList(&kQorvexAppGuid, MessageStringPackage.Bytes), nullptr);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0].File, "Shell/Library/HiiSupport");
  EXPECT_EQ(asserts[0].Condition, "PkgListHdr != ((void *) 0)");
}

// ---- Registration ----

class RegisterTest : public FirmwareTest {
 protected:
  EFI_STATUS Register(EFI_HII_HANDLE* Handle) {
    return LibRegisterAppStrings(Handle, MessageStringPackage.Bytes, &kQorvexAppGuid);
  }
};

TEST_F(RegisterTest, RegistersTheListUnderTheGuidPlusTheMonotonicCount) {
  FakeHii hii(fw);
  fw.NextMonotonicCount = 0x1234;
  EFI_HII_HANDLE handle = nullptr;
  ASSERT_EQ(Register(&handle), EFI_SUCCESS);
  ASSERT_EQ(hii.Lists().size(), 1u);
  EXPECT_EQ(handle, hii.HandleOf(0));
  const FakeHii::PackageList& list = hii.Lists()[0];
  EXPECT_EQ(std::memcmp(&list.Guid, &kQorvexAppGuid, 8), 0);
  EXPECT_EQ(Read64(list.Guid.Data4), Read64(kQorvexAppGuid.Data4) + 0x1234);
  ASSERT_EQ(list.Bytes.size(), 1766u);
  ASSERT_EQ(list.Strings.size(), 1u);
  EXPECT_EQ(list.Strings[0].Language, "en-US");
  EXPECT_EQ(list.Strings[0].Strings, kTexts);
}

TEST_F(RegisterTest, TheSecondCallOfARunReturnsTheFirstHandle) {
  FakeHii hii(fw);
  EFI_HII_HANDLE first = nullptr;
  EFI_HII_HANDLE second = nullptr;
  ASSERT_EQ(Register(&first), EFI_SUCCESS);
  EXPECT_EQ(Register(&second), EFI_SUCCESS);
  EXPECT_EQ(second, first);
  EXPECT_EQ(hii.Lists().size(), 1u);
  EXPECT_EQ(hii.NewPackageListCalls, 1u);
  EXPECT_EQ(fw.ServiceCallCount("GetNextMonotonicCount"), 1u);
}

TEST_F(RegisterTest, TwoRunsRegisterTwoListsThatDifferInTheirLastBytes) {
  FakeHii hii(fw);
  EFI_HII_HANDLE first = nullptr;
  fw.NextMonotonicCount = 10;
  ASSERT_EQ(Register(&first), EFI_SUCCESS);
  // The next start of the image: the library is loaded afresh, the
  // database still holds the first run's list.
  fake::ResetLibraryGlobals();
  fake::AttachLibrary(fw);
  fw.NextMonotonicCount = 17;
  EFI_HII_HANDLE second = nullptr;
  ASSERT_EQ(Register(&second), EFI_SUCCESS);
  ASSERT_EQ(hii.Lists().size(), 2u);
  EXPECT_NE(first, second);
  EXPECT_EQ(hii.Find(first), &hii.Lists()[0]);
  EXPECT_EQ(std::memcmp(&hii.Lists()[0].Guid, &hii.Lists()[1].Guid, 8), 0);
  EXPECT_EQ(Read64(hii.Lists()[1].Guid.Data4) - Read64(hii.Lists()[0].Guid.Data4), 7u);
}

TEST_F(RegisterTest, ReturnsTheDatabaseFailureAndTriesAgainLater) {
  FakeHii hii(fw);
  hii.NewPackageListFailure = EFI_OUT_OF_RESOURCES;
  EFI_HII_HANDLE handle = nullptr;
  EXPECT_EQ(Register(&handle), EFI_OUT_OF_RESOURCES);
  // A failed registration is not remembered as done with a null handle.
  hii.NewPackageListFailure = EFI_SUCCESS;
  EXPECT_EQ(Register(&handle), EFI_SUCCESS);
  EXPECT_EQ(handle, hii.HandleOf(0));
  EXPECT_EQ(hii.NewPackageListCalls, 2u);
}

// Without the string protocol the strings are still registered; fetching
// them fails, so every message prints nothing.
TEST_F(RegisterTest, TheDatabaseAloneIsEnoughToRegister) {
  FakeHii hii(fw, /*InstallDatabase=*/true, /*InstallString=*/false);
  EFI_HII_HANDLE handle = nullptr;
  ASSERT_EQ(Register(&handle), EFI_SUCCESS);
  EXPECT_EQ(hii.Lists().size(), 1u);
  EXPECT_EQ(PrintMessageByToken(TokenOpenFailed, handle, u"d.txt"), 0u);
  EXPECT_EQ(fw.ConOut().OutputStringCalls(), 0u);
}

TEST_F(RegisterTest, ReportsANullHandlePointerAndAMissingList) {
  FakeHii hii(fw);
  EXPECT_EQ(Register(nullptr), EFI_INVALID_PARAMETER);
  ASSERT_EQ(LibFindHiiProtocols(), EFI_SUCCESS);
  EFI_HII_HANDLE handle = nullptr;
  fw.FailAllocation(1);
  EXPECT_EQ(Register(&handle), EFI_OUT_OF_RESOURCES);
  std::vector<fake::AssertRecord> asserts = fw.TakeAsserts();
  ASSERT_EQ(asserts.size(), 3u);
  EXPECT_EQ(asserts[0].File, "Shell/Library/Init");
  EXPECT_EQ(asserts[0].Condition, "HiiHandle");
  EXPECT_EQ(asserts[1].Condition, "PkgListHdr != ((void *) 0)");
  EXPECT_EQ(asserts[2].File, "Shell/Library/Init");
  EXPECT_EQ(asserts[2].Condition, "PackageList != ((void *) 0)");
  EXPECT_EQ(hii.NewPackageListCalls, 0u);
}

// ---- Languages and fetching ----

struct LanguageCase {
  const char* Name;
  std::vector<UINT8> PlatformLang;     // empty: the variable is absent
  std::vector<std::string> Languages;  // the languages GetString was asked for
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.Name; }

std::vector<UINT8> Text(const std::string& Value, bool WithNul = true) {
  std::vector<UINT8> bytes(Value.begin(), Value.end());
  if (WithNul) bytes.push_back(0);
  return bytes;
}

class FetchLanguageTest : public FirmwareTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(FetchLanguageTest, AsksForThePlatformLanguageThenEnglish) {
  const LanguageCase& c = GetParam();
  FakeHii hii(fw);
  if (!c.PlatformLang.empty()) fw.SetVariable(u"PlatformLang", gEfiGlobalVariableGuid, c.PlatformLang);
  EFI_HII_HANDLE handle = nullptr;
  ASSERT_EQ(LibRegisterAppStrings(&handle, MessageStringPackage.Bytes, &kQorvexAppGuid), EFI_SUCCESS);

  CHAR16 text[64];
  UINTN size = sizeof text;
  ASSERT_EQ(LibFetchString(handle, TokenOutOfMemory, text, &size), EFI_SUCCESS);
  EXPECT_EQ(std::u16string(text), kTexts[5]);
  EXPECT_EQ(size, (kTexts[5].size() + 1) * 2);
  std::vector<std::string> asked;
  for (const FakeHii::GetStringCall& call : hii.GetStringCalls) asked.push_back(call.Language);
  EXPECT_EQ(asked, c.Languages);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchLanguageTest,
    ::testing::Values(LanguageCase{"Absent", {}, {"en-US"}}, LanguageCase{"English", Text("en-US"), {"en-US"}},
                      LanguageCase{"French", Text("fr-FR"), {"fr-FR", "en-US"}},
                      LanguageCase{"TwelveBytesWithNul", Text("de-DE-1996x"), {"de-DE-1996x", "en-US"}},
                      LanguageCase{"ThirteenBytes", Text("de-DE-1996xy"), {"en-US"}},
                      LanguageCase{"TwelveBytesWithoutNul", Text("de-DE-1996xy", false), {"en-US"}},
                      LanguageCase{"ShortWithoutNul", Text("fr-FR", false), {"fr-FR", "en-US"}}),
    [](const ::testing::TestParamInfo<LanguageCase>& info) { return std::string(info.param.Name); });

// ---- Printing by token ----

class PrintMessageTest : public RegisterTest {
 protected:
  void SetUp() override {
    RegisterTest::SetUp();
    ASSERT_EQ(Register(&AppHiiHandle), EFI_SUCCESS);
  }
  FakeHii hii{fw};
};

TEST_F(PrintMessageTest, PrintsTheArgumentInTheHighlightAttribute) {
  UINTN printed = PrintMessageByToken(TokenOpenFailed, AppHiiHandle, u"fs0:\\d.txt");
  const std::vector<fake::FakeConsole::Run> runs = fw.ConOut().Runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].Text, u"Error: Can not open the file [");
  EXPECT_EQ(runs[0].Attribute, 0x07u);
  EXPECT_EQ(runs[1].Text, u"fs0:\\d.txt");
  EXPECT_EQ(runs[1].Attribute, 0x0Fu);
  EXPECT_EQ(runs[2].Text, u"](Exist?Readonly?Directory?)!\r\n");
  EXPECT_EQ(runs[2].Attribute, 0x07u);
  EXPECT_EQ(fw.ConOut().ModeAttribute(), 0x07);
  EXPECT_EQ(printed, fw.ConOut().Text().size());
  EXPECT_EQ(hii.GetStringCalls.size(), 1u);
  EXPECT_EQ(hii.GetStringCalls[0].SizeIn, 4096u);
}

TEST_F(PrintMessageTest, MessagesWithoutDirectiveNeedNoArgument) {
  PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
  PrintMessageByToken(TokenMissingFileNames, AppHiiHandle);
  EXPECT_EQ(fw.ConOut().Ascii(),
            "Error: memory allocation failed!\r\nError: Please specify the name of SMBIOS file and VKF file!\r\n");
}

TEST_F(PrintMessageTest, AMissingTokenOrHandlePrintsNothing) {
  EXPECT_EQ(PrintMessageByToken(kMessageCount + 1, AppHiiHandle), 0u);
  EXPECT_EQ(hii.GetStringCalls.size(), 2u);  // the platform language, then English
  EXPECT_EQ(PrintMessageByToken(TokenOutOfMemory, reinterpret_cast<EFI_HII_HANDLE>(&hii)), 0u);
  EXPECT_EQ(fw.ConOut().OutputStringCalls(), 0u);
}

TEST_F(PrintMessageTest, ALongTextIsFetchedAgainAtTheReportedSize) {
  std::u16string longText(3000, u'x');
  std::vector<UINT8> package = MakePackage({u"English", longText});
  EFI_HII_HANDLE handle = nullptr;
  fake::ResetLibraryGlobals();
  fake::AttachLibrary(fw);
  ASSERT_EQ(LibRegisterAppStrings(&handle, package.data(), &kQorvexAppGuid), EFI_SUCCESS);
  hii.GetStringCalls.clear();
  EXPECT_EQ(PrintMessageByToken(2, handle), 3000u);
  EXPECT_EQ(fw.ConOut().Text(), longText);
  ASSERT_EQ(hii.GetStringCalls.size(), 2u);
  EXPECT_EQ(hii.GetStringCalls[0].SizeIn, 4096u);
  EXPECT_EQ(hii.GetStringCalls[0].Status, EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(hii.GetStringCalls[1].SizeIn, 6002u);
}

TEST_F(PrintMessageTest, NoPoolMeansNothingPrintedAndNothingLeft) {
  size_t reached = fake::FailEachAllocation(fw, [&](size_t Failing) {
    fw.ConOut().Clear();
    size_t before = fw.AllocationCalls();
    UINTN printed = PrintMessageByToken(TokenOpenFailed, AppHiiHandle, u"a");
    if (fw.AllocationCalls() - before < Failing) return;  // the clean run
    EXPECT_EQ(printed, 0u) << "allocation " << Failing;
    EXPECT_EQ(fw.ConOut().OutputStringCalls(), 0u) << "allocation " << Failing;
  });
  EXPECT_GE(reached, 2u);  // the message buffer and the print's own blocks
}

}  // namespace
