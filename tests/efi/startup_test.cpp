// Start-up: LibStartUp, collation selection and InitShellApp's binding to the shell.
#include <deque>
#include <string>
#include <vector>

#include "FakeShell.h"
#include "FirmwareTest.h"
#include "IO.h"
#include "Init.h"
#include "Mem.h"
#include "Misc.h"
#include "Str.h"

namespace {

using fake::FakeShell;
using fake::FirmwareTest;

// Starts every test from the library's load-time state.
class StartUpTest : public FirmwareTest {
 protected:
  void SetUp() override {
    FirmwareTest::SetUp();
    fake::ResetLibraryGlobals();
  }

  // A firmware collation instance supporting Languages.
  EFI_UNICODE_COLLATION_PROTOCOL* AddCollation(const EFI_GUID& Guid, const char* Languages) {
    collations_.push_back(FallbackCollation);
    collations_.back().SupportedLanguages = Languages;
    fw.InstallProtocol(Guid, &collations_.back());
    return &collations_.back();
  }

  std::deque<EFI_UNICODE_COLLATION_PROTOCOL> collations_;
};

TEST_F(StartUpTest, SavesTheTablesAndTakesThePoolTypeOfTheImage) {
  fw.LoadedImage().ImageDataType = EfiRuntimeServicesData;
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_TRUE(LibStarted);
  EXPECT_EQ(LibSystemTable, fw.SystemTable());
  EXPECT_EQ(LibBootServices, fw.BootServices());
  EXPECT_EQ(LibRuntimeServices, fw.RuntimeServices());
  EXPECT_EQ(LibPoolType, EfiRuntimeServicesData);
  EXPECT_EQ(LibDebugAssert, fw.DebugAssert());
  EXPECT_EQ(LibPoolFailureHook, &LibDebugReportPoolFailure);
  EXPECT_EQ(LibCollation, &FallbackCollation);
}

TEST_F(StartUpTest, WithoutAnImageHandleSelectsNoCollation) {
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US");
  LibStartUp(nullptr, fw.SystemTable());
  EXPECT_EQ(LibSystemTable, fw.SystemTable());
  EXPECT_EQ(LibPoolType, EfiBootServicesData);
  EXPECT_EQ(LibCollation, &FallbackCollation);
  EXPECT_EQ(fw.ServiceCallCount("LocateHandleBuffer"), 0u);
  EXPECT_EQ(LibDebugAssert, fw.DebugAssert());
}

TEST_F(StartUpTest, PoolTypeStaysWhenTheLoadedImageCannotBeRead) {
  fw.FailProtocolLookup(fw.ImageHandle(), gEfiLoadedImageProtocolGuid, EFI_UNSUPPORTED);
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibPoolType, EfiBootServicesData);
}

TEST_F(StartUpTest, ASecondStartKeepsTheTablesButStillSelectsACollation) {
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EFI_SYSTEM_TABLE other = *fw.SystemTable();
  fw.LoadedImage().ImageDataType = EfiRuntimeServicesData;
  EFI_UNICODE_COLLATION_PROTOCOL* collation = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US");
  LibStartUp(fw.ImageHandle(), &other);
  EXPECT_EQ(LibSystemTable, fw.SystemTable());
  EXPECT_EQ(LibPoolType, EfiLoaderData);
  EXPECT_EQ(LibCollation, collation);
}

TEST_F(StartUpTest, MissingDebugAssertProtocolLeavesAssertionsSilent) {
  fw.UninstallProtocol(fw.DebugAssertHandle(), gEfiDebugAssertProtocolGuid);
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibDebugAssert, nullptr);
  // The lookup failure is an information report, hidden by the default mask.
  EXPECT_EQ(fw.StdErr().Ascii(), "");
  MoveMem(nullptr, nullptr, 1);
  EXPECT_TRUE(fw.Asserts().empty());
}

TEST_F(StartUpTest, DebugMaskWithBit6ShowsTheFailedLookup) {
  fw.SetVariable(u"EFIDebug", gEfiDebugMaskVariableGuid, {0x40, 0, 0, 0, 0, 0, 0, 0});
  fw.UninstallProtocol(fw.DebugAssertHandle(), gEfiDebugAssertProtocolGuid);
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_NE(fw.StdErr().Ascii().find("LibLocateProtocol: Handle not found"), std::string::npos);
}

// ---- Collation selection ----

TEST_F(StartUpTest, PlatformLanguageSelectsTheMatchingCollation2Instance) {
  fw.SetStringVariable(u"PlatformLang", gEfiGlobalVariableGuid, "fr-FR");
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "de-DE");
  EFI_UNICODE_COLLATION_PROTOCOL* french = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US;fr");
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "fr-FR");  // matches too, but comes later
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibCollation, french);
  ASSERT_EQ(fw.OpenProtocolCalls().size(), 2u);
  for (const fake::OpenProtocolCall& call : fw.OpenProtocolCalls()) {
    EXPECT_EQ(call.AgentHandle, fw.ImageHandle());
    EXPECT_EQ(call.ControllerHandle, nullptr);
    EXPECT_EQ(call.Attributes, EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  }
}

TEST_F(StartUpTest, MissingPlatformLanguageFallsBackToEnUs) {
  EFI_UNICODE_COLLATION_PROTOCOL* english = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "fr;en-US");
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibCollation, english);
}

TEST_F(StartUpTest, OlderCollationIsTriedWhenNoCollation2InstanceMatches) {
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "de-DE");
  EFI_UNICODE_COLLATION_PROTOCOL* older = AddCollation(gEfiUnicodeCollationProtocolGuid, "fraeng");
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibCollation, older);
}

TEST_F(StartUpTest, InstanceThatCannotBeOpenedIsSkipped) {
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US");
  EFI_UNICODE_COLLATION_PROTOCOL* second = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US");
  fw.FailProtocolLookup(fw.HandlesWith(gEfiUnicodeCollation2ProtocolGuid)[0], gEfiUnicodeCollation2ProtocolGuid,
                        EFI_ACCESS_DENIED);
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibCollation, second);
}

TEST_F(StartUpTest, FallbackStaysWhenNothingMatches) {
  AddCollation(gEfiUnicodeCollation2ProtocolGuid, "de-DE");
  AddCollation(gEfiUnicodeCollationProtocolGuid, "deu");
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(LibCollation, &FallbackCollation);
  EXPECT_TRUE(EFI_ERROR(LibSelectCollation(fw.ImageHandle())));
}

INTN EFIAPI FortyTwo(const EFI_UNICODE_COLLATION_PROTOCOL*, const CHAR16*, const CHAR16*) { return 42; }

TEST_F(StartUpTest, SelectedCollationServesCaseInsensitiveComparison) {
  EFI_UNICODE_COLLATION_PROTOCOL* english = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "en-US");
  english->StriColl = FortyTwo;
  LibStartUp(fw.ImageHandle(), fw.SystemTable());
  EXPECT_EQ(Str16CompareNoCase(u"a", u"b"), 42);
}

TEST_F(StartUpTest, StartUpLeaksNothingWhenAnyAllocationFails) {
  fw.SetStringVariable(u"PlatformLang", gEfiGlobalVariableGuid, "fr-FR");
  EFI_UNICODE_COLLATION_PROTOCOL* french = AddCollation(gEfiUnicodeCollation2ProtocolGuid, "fr");
  size_t runs = fake::FailEachAllocation(fw, [&](size_t) {
    fake::ResetLibraryGlobals();
    LibStartUp(fw.ImageHandle(), fw.SystemTable());
  });
  EXPECT_GE(runs, 3u);  // handle buffer, variable, language copy at least
  EXPECT_EQ(LibCollation, french);
}

// ---- InitShellApp ----

class InitShellAppTest : public StartUpTest {
 protected:
  fake::ImageRunResult Run() {
    return fw.RunImage([this] { return InitShellApp(fw.ImageHandle(), fw.SystemTable()); });
  }

  FakeShell shell{fw};
};

TEST_F(InitShellAppTest, BindsToTheShellAndTurnsOffOutputPause) {
  shell.SetArguments({u"qorvex"});
  shell.InstallOnImage();
  shell.KeyFilter = 0xFFFFFFFF;
  fake::ImageRunResult result = Run();
  EXPECT_FALSE(result.Exited);
  EXPECT_EQ(result.Status, EFI_SUCCESS);
  EXPECT_EQ(LibShellInterface, &shell.Interface());
  EXPECT_EQ(LibShellEnvironment, &shell.Environment());
  EXPECT_EQ(shell.EnvironmentCalls, (std::vector<std::string>{"DisablePageBreak", "GetKeyFilter", "SetKeyFilter"}));
  EXPECT_EQ(shell.SetKeyFilterValues, std::vector<UINT32>{0xFFFFFFFD});
  EXPECT_EQ(fw.StdErr().Ascii(), "");
}

TEST_F(InitShellAppTest, OutsideTheShellReportsAndExitsWithTheLookupStatus) {
  fake::ImageRunResult result = Run();
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.ExitHandle, fw.ImageHandle());
  EXPECT_EQ(result.Status, EFI_UNSUPPORTED);
  EXPECT_EQ(result.ExitDataSize, 0u);
  EXPECT_EQ(result.ExitData, nullptr);
  EXPECT_EQ(fw.StdErr().Ascii().rfind("InitShellApp: Application not started from Shell", 0), 0u);
  EXPECT_TRUE(shell.EnvironmentCalls.empty());
}

// The image's own environment is not version 2; another handle's is.
struct EnvironmentCase {
  const char* Name;
  bool Signature;
  UINT32 MajorVersion;
};

void PrintTo(const EnvironmentCase& c, std::ostream* os) { *os << c.Name; }

class NonVersion2Test : public InitShellAppTest, public ::testing::WithParamInterface<EnvironmentCase> {};

TEST_P(NonVersion2Test, SearchesAllEnvironmentsForAVersion2One) {
  shell.SetArguments({u"qorvex"});
  shell.InstallOnImage();
  if (!GetParam().Signature) shell.Environment().SESGuid = EFI_GUID{};
  shell.Environment().MajorVersion = GetParam().MajorVersion;
  fw.InstallProtocol(gEfiShellEnvironmentGuid, shell.NewEnvironment(false));
  EFI_SHELL_ENVIRONMENT2* unreadable = shell.NewEnvironment(true);
  fw.FailProtocolLookup(fw.InstallProtocol(gEfiShellEnvironmentGuid, unreadable), gEfiShellEnvironmentGuid,
                        EFI_ACCESS_DENIED);
  EFI_SHELL_ENVIRONMENT2* version2 = shell.NewEnvironment(true, 2);
  fw.InstallProtocol(gEfiShellEnvironmentGuid, version2);
  fake::ImageRunResult result = Run();
  EXPECT_FALSE(result.Exited);
  EXPECT_EQ(result.Status, EFI_SUCCESS);
  EXPECT_EQ(LibShellEnvironment, version2);
  EXPECT_EQ(shell.DisablePageBreakCalls, 1u);
}

INSTANTIATE_TEST_SUITE_P(Environments, NonVersion2Test,
                         ::testing::Values(EnvironmentCase{"other signature", false, 1},
                                           EnvironmentCase{"major version 0", true, 0}));

TEST_F(InitShellAppTest, NoVersion2EnvironmentExitsWithNotFound) {
  shell.SetArguments({u"qorvex"});
  shell.InstallOnImage();
  shell.Environment().MajorVersion = 0;
  fw.InstallProtocol(gEfiShellEnvironmentGuid, shell.NewEnvironment(false));
  fake::ImageRunResult result = Run();
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.Status, EFI_NOT_FOUND);
  EXPECT_EQ(fw.StdErr().Ascii().rfind("InitShellApp: Shell environment interfaces not found", 0), 0u);
  EXPECT_TRUE(shell.EnvironmentCalls.empty());
}

TEST_F(InitShellAppTest, FailedEnvironmentSearchExitsWithTheSearchStatus) {
  shell.SetArguments({u"qorvex"});
  EFI_HANDLE image = fw.ImageHandle();
  fw.InstallProtocol(&image, gEfiShellInterfaceGuid, &shell.Interface());
  // No allocation succeeds, so the search for a version-2 environment cannot
  // get its handle buffer.
  fw.FailAllocationsFrom(1);
  fake::ImageRunResult result = Run();
  fw.StopFailingAllocations();
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.Status, EFI_OUT_OF_RESOURCES);
}

TEST_F(InitShellAppTest, NoEnvironmentAnywhereExitsWithTheSearchStatus) {
  shell.SetArguments({u"qorvex"});
  EFI_HANDLE image = fw.ImageHandle();
  fw.InstallProtocol(&image, gEfiShellInterfaceGuid, &shell.Interface());
  fake::ImageRunResult result = Run();
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.Status, EFI_NOT_FOUND);
  EXPECT_NE(fw.StdErr().Ascii().find("Shell environment interfaces not found"), std::string::npos);
}

// ---- Under a UEFI 2.x shell ----

TEST_F(InitShellAppTest, UnderAUefi2ShellSplitsTheCommandLineIntoTheArgumentList) {
  shell.StartAsUefiShell(u"qorvex \"/q\"  ^-d.txt a\"b c\"d ^");
  fake::ImageRunResult result = Run();
  EXPECT_FALSE(result.Exited);
  EXPECT_EQ(result.Status, EFI_SUCCESS);
  ASSERT_NE(LibShellInterface, nullptr);
  const EFI_SHELL_INTERFACE& bound = *LibShellInterface;
  EXPECT_EQ(std::vector<std::u16string>(bound.Argv, bound.Argv + bound.Argc),
            (std::vector<std::u16string>{u"qorvex", u"/q", u"-d.txt", u"ab cd"}));
  std::vector<UINT32> info;
  for (UINTN i = 0; i < bound.Argc; ++i) info.push_back(bound.ArgInfo[i].Attributes);
  EXPECT_EQ(info, (std::vector<UINT32>{0, ARG_IS_QUOTED, ARG_FIRST_CHAR_IS_ESC, ARG_IS_QUOTED | ARG_PARTIALLY_QUOTED}));
  EXPECT_EQ(bound.Argv[bound.Argc], nullptr);
  EXPECT_EQ(bound.ImageHandle, fw.ImageHandle());
  EXPECT_EQ(bound.StdIn, shell.Parameters().StdIn);
  EXPECT_EQ(bound.StdOut, shell.Parameters().StdOut);
  EXPECT_EQ(bound.StdErr, shell.Parameters().StdErr);
  // Its own version-2 environment, with the output pause turned off.
  EXPECT_EQ(LibGuidCompare(&LibShellEnvironment->SESGuid, &gEfiShellEnvironment2SignatureGuid), 0);
  EXPECT_EQ(LibShellEnvironment->GetKeyFilter(), EFI_OUTPUT_SCROLL | EFI_EXECUTION_BREAK);
  EXPECT_TRUE(shell.EnvironmentCalls.empty());
  // The end keeps the full status and frees the list (tear-down's check).
  EXPECT_EQ(LibEndShellApp(u"st", EFI_NOT_FOUND), EFI_NOT_FOUND);
  EXPECT_EQ(shell.Variables[u"st"], u"0x800000000000000E");
}

TEST_F(InitShellAppTest, ShellParametersWithoutTheUefiShellAreNoShell) {
  shell.StartAsUefiShell(u"qorvex a b");
  fw.UninstallProtocol(fw.HandlesWith(gEfiShellProtocolGuid)[0], gEfiShellProtocolGuid);
  fake::ImageRunResult result = Run();
  EXPECT_TRUE(result.Exited);
  EXPECT_EQ(result.Status, EFI_UNSUPPORTED);  // the shell interface's lookup
  EXPECT_EQ(fw.StdErr().Ascii(), "InitShellApp: Application not started from Shell\r\n");
}

TEST_F(InitShellAppTest, UnderAUefi2ShellAnAllocationFailureEndsTheImageWithNothingLeft) {
  shell.StartAsUefiShell(u"qorvex d.txt \"o .vkf\"");
  size_t ended = 0;
  size_t runs = fake::FailEachAllocation(fw, [&](size_t) {
    fake::ResetLibraryGlobals();
    fw.StdErr().Clear();
    fake::ImageRunResult result = Run();
    if (!result.Exited) {
      LibEndShellApp(u"st", EFI_SUCCESS);
      return;
    }
    ++ended;
    EXPECT_EQ(result.Status, EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(fw.StdErr().Ascii(), "InitShellApp: Shell environment interfaces not found\r\n");
  });
  EXPECT_EQ(ended, 5u);  // Argv, ArgInfo and the three strings
  EXPECT_GE(runs, ended);
}

}  // namespace
