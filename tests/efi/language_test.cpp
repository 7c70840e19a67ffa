// Language matching for the collation selection.
#include <string>
#include <vector>

#include "FirmwareTest.h"
#include "Mem.h"
#include "Misc.h"

namespace {

using fake::FirmwareTest;

struct LanguageCase {
  const char* Supported;
  bool Iso639;
  std::vector<const char*> Candidates;
  const char* Expected;  // null: no match
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
  *os << (c.Iso639 ? "ISO 639-2 \"" : "RFC 4646 \"") << c.Supported << "\" for";
  for (const char* candidate : c.Candidates) *os << " \"" << candidate << '"';
}

class MatchLanguageTest : public FirmwareTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(MatchLanguageTest, ReturnsACopyOfTheFirstMatchingEntry) {
  const LanguageCase& c = GetParam();
  std::vector<const char*> candidates = c.Candidates;
  candidates.push_back(nullptr);
  CHAR8* match = LibMatchLanguageList(c.Supported, c.Iso639 ? TRUE : FALSE, candidates.data());
  if (c.Expected == nullptr) {
    EXPECT_EQ(match, nullptr) << match;
    return;
  }
  ASSERT_NE(match, nullptr);
  EXPECT_STREQ(match, c.Expected);
  ReleasePool(match);
}

INSTANTIATE_TEST_SUITE_P(Rfc4646, MatchLanguageTest,
                         ::testing::Values(LanguageCase{"en-US;fr", false, {"fr-FR", "en-US"}, "fr"},
                                           LanguageCase{"fr;en-US", false, {"", "en-US"}, "en-US"},
                                           LanguageCase{"en-US", false, {"en"}, "en-US"},
                                           LanguageCase{"zh;zh-Hant", false, {"zh-Hant-TW"}, "zh-Hant"},
                                           LanguageCase{"e;en-GB", false, {"en-US"}, "en-GB"},
                                           LanguageCase{";;de;;en", false, {"en"}, "en"},
                                           LanguageCase{"EN-us", false, {"en-US"}, nullptr},
                                           LanguageCase{"de-DE", false, {"fr-FR", "en-US"}, nullptr},
                                           LanguageCase{"", false, {"en-US"}, nullptr}));

INSTANTIATE_TEST_SUITE_P(Iso639, MatchLanguageTest,
                         ::testing::Values(LanguageCase{"engfra", true, {"en"}, "eng"},
                                           LanguageCase{"engfra", true, {"fra"}, "fra"},
                                           LanguageCase{"engfra", true, {"deu", "english"}, "eng"},
                                           LanguageCase{"engfra", true, {"ngf"}, nullptr},
                                           // A list cut short ends at its terminator.
                                           LanguageCase{"engfr", true, {"fr"}, "fr"},
                                           LanguageCase{"en", true, {"fra"}, nullptr},
                                           LanguageCase{"engf", true, {"fra"}, nullptr}));

TEST_F(FirmwareTest, MatchLanguageTakesCandidatesAsArguments) {
  CHAR8* match = LibMatchLanguage("en-US;fr", FALSE, "", "fr-CA", "en-US");
  ASSERT_NE(match, nullptr);
  EXPECT_STREQ(match, "fr");
  ReleasePool(match);
}

TEST_F(FirmwareTest, MatchLanguageReportsAMissingList) {
  EXPECT_EQ(LibMatchLanguage(nullptr, FALSE, "en-US"), nullptr);
  EXPECT_EQ(fw.TakeAssertConditions(), std::vector<std::string>{"SupportedLanguages != ((void *) 0)"});
}

TEST_F(FirmwareTest, MatchLanguageReturnsNullWhenTheCopyFails) {
  fw.FailAllocation(1);
  EXPECT_EQ(LibMatchLanguage("en-US;fr", FALSE, "en-US", "fr"), nullptr);
}

struct PlatformCase {
  const char* Name;
  const char16_t* Variable;
  std::string Value;  // empty: variable absent
  const char* Supported;
  bool Iso639;
  const char* Expected;
};

void PrintTo(const PlatformCase& c, std::ostream* os) { *os << c.Name; }

class PlatformLanguageTest : public FirmwareTest, public ::testing::WithParamInterface<PlatformCase> {};

TEST_P(PlatformLanguageTest, MatchesThePlatformLanguageThenTheDefault) {
  const PlatformCase& c = GetParam();
  if (!c.Value.empty()) fw.SetStringVariable(c.Variable, gEfiGlobalVariableGuid, c.Value);
  CHAR8* match = LibPlatformLanguageMatch(c.Supported, c.Iso639 ? TRUE : FALSE);
  ASSERT_NE(match, nullptr);
  EXPECT_STREQ(match, c.Expected);
  ReleasePool(match);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, PlatformLanguageTest,
    ::testing::Values(PlatformCase{"PlatformLang fr-FR", u"PlatformLang", "fr-FR", "en-US;fr", false, "fr"},
                      PlatformCase{"PlatformLang absent", u"PlatformLang", "", "fr;en-US", false, "en-US"},
                      PlatformCase{"Lang fra", u"Lang", "fra", "engfra", true, "fra"},
                      PlatformCase{"Lang absent", u"Lang", "", "fraeng", true, "eng"},
                      PlatformCase{"RFC mode reads PlatformLang", u"Lang", "fra", "en-US;fr", false, "en-US"}));

TEST_F(FirmwareTest, UnterminatedLongPlatformLanguageIsNotReadPastItsEnd) {
  fw.SetStringVariable(u"PlatformLang", gEfiGlobalVariableGuid, std::string(150, 'f'), false);
  CHAR8* match = LibPlatformLanguageMatch("en-US", FALSE);
  ASSERT_NE(match, nullptr);
  EXPECT_STREQ(match, "en-US");
  ReleasePool(match);
}

TEST_F(FirmwareTest, ShortUnterminatedLanguageIsStillUsed) {
  fw.SetStringVariable(u"Lang", gEfiGlobalVariableGuid, "fra", false);
  CHAR8* match = LibPlatformLanguageMatch("engfra", TRUE);
  ASSERT_NE(match, nullptr);
  EXPECT_STREQ(match, "fra");
  ReleasePool(match);
}

TEST_F(FirmwareTest, PlatformLanguageMatchLeaksNothingWhenAnAllocationFails) {
  fw.SetStringVariable(u"PlatformLang", gEfiGlobalVariableGuid, "fr-FR");
  size_t runs = fake::FailEachAllocation(fw, [&](size_t) {
    CHAR8* match = LibPlatformLanguageMatch("en-US;fr", FALSE);
    // Without the variable the default still matches; only a failed copy gives null.
    if (match != nullptr) {
      EXPECT_TRUE(std::string(match) == "fr" || std::string(match) == "en-US") << match;
      ReleasePool(match);
    }
  });
  EXPECT_GE(runs, 2u);
}

}  // namespace
