// Whole runs of the shell application's entry on the fake firmware: a shell
// interface with the command line, a fake disk, the HII database. Each run
// is judged by what it printed (with attributes where they matter), the
// status it returned, what is on the disk afterwards, and that it left no
// pool block and no file handle behind (the fixture's tear-down and Run).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "AppStateReset.h"
#include "FakeFileSystem.h"
#include "FakeHii.h"
#include "FakeScriptedFile.h"
#include "FakeShell.h"
#include "FakeShellMap.h"
#include "FirmwareTest.h"
#include "Guids.h"
#include "HiiSupport.h"
#include "Messages.h"
#include "ShellApp.h"
#include "UefiBinding.h"
#include "VkfOutput.h"
#include "qorvex_version.h"
#include "run_state.h"
#include "smbios_builder.h"
#include "vocabulary.h"

namespace {

using fake::FirmwareTest;

QORVEX_FAKE_STATE_RESET(ResetAppState);

const std::string kBanner = "QORVEX ver " + std::to_string(QORVEX_VERSION_MAJOR) + "." +
                            std::to_string(QORVEX_VERSION_MINOR) + "." + std::to_string(QORVEX_VERSION_PATCH) + "\r\n";
const std::string kProgress = "Converting dump file of AMIDE to VKF file...\r\n";
const std::string kDone = "Done!\r\n";
const std::string kMissingNames = "Error: Please specify the name of SMBIOS file and VKF file!\r\n";
const std::string kOutOfMemory = "Error: memory allocation failed!\r\n";

std::string OpenFailed(const std::string& Name) {
  return "Error: Can not open the file [" + Name + "](Exist?Readonly?Directory?)!\r\n";
}
std::string WriteFailed(const std::string& Name) { return "Error: Can not write the file [" + Name + "]!\r\n"; }
std::string ReadFailed(const std::string& Name) { return "Error: Can not read the file [" + Name + "]!\r\n"; }
std::string NoField(const std::string& Name) { return "Error: No field found in the file [" + Name + "]!\r\n"; }
std::string OldKept(const std::string& Name) { return "Error: The previous VKF file is kept as [" + Name + "]!\r\n"; }
const std::string kUsage =
    "Usage: qorvex <dump file> <VKF file> [/q]\r\n"
    "       qorvex /smbios[:<table file>] <VKF file> [/q]\r\n"
    "       qorvex /verify[:<table file>] <VKF file> [/q]\r\n"
    "Converts the DMI editor's dump file into a VKF setting file.\r\n"
    "  /smbios  back up the firmware's SMBIOS table (or a dmidecode --dump-bin file) into it\r\n"
    "  /verify  compare the firmware's SMBIOS table with it\r\n"
    "  /q   print nothing but error messages\r\n"
    "Status: EFI_SUCCESS when the VKF file was written, an error status otherwise (echo %lasterror%).\r\n"
    "EFI_COMPROMISED_DATA when verify found a difference.\r\n"
    "Example: qorvex board.txt board.vkf\r\n";

// A small dump, what its conversion prints and what it writes.
const std::string kDump = "  BIOS\r\n(/IVN)Vendor name   \"Vendor\"\r\n(/SM)Maker  \"Maker\"\r\n";
const std::string kTraceLines =
    "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\r\nType: (1)System, Field: (SM)Manufacturer, Value: Maker\r\n";
const std::string kTrace = kProgress + kTraceLines + kDone;
const std::string kConverted = "[BIOS]\r\nName = Vendor\r\n[System]\r\nManufacturer = Maker\r\n";
const std::string kOldVkf = [] {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "OldKey" + std::to_string(i) + " = a line of the earlier, longer file\r\n";
  return text;
}();

class AppEntryTest : public FirmwareTest {
 public:
  void SetUp() override {
    FirmwareTest::SetUp();
    shell.InstallOnImage();
    fs0.WriteFile(u"\\d.txt", kDump);
  }

  // Runs "qorvex Args..." as the shell would start it; ArgInfo, when given,
  // has one word per argument (the command's word is added). With
  // typedAtUefiShell the arguments are typed as a line at a UEFI 2.x shell.
  EFI_STATUS Run(std::vector<std::u16string> Args, std::vector<UINT32> ArgInfo = {}) {
    Args.insert(Args.begin(), u"qorvex");
    if (!ArgInfo.empty()) ArgInfo.insert(ArgInfo.begin(), 0);
    if (typedAtUefiShell) {
      shell.StartAsUefiShell(TypedLine(Args, ArgInfo));
    } else {
      shell.SetArguments(Args, ArgInfo);
    }
    last = fw.RunImage([this] { return ShellAppEntry(fw.ImageHandle(), fw.SystemTable()); });
    EXPECT_EQ(fs.OpenHandleCount(), 0u) << "file handles left open";
    return last.Status;
  }

  std::string Out() { return fw.ConOut().Ascii(); }
  EFI_SYSTEM_TABLE* SystemTable() { return fw.SystemTable(); }
  // An HII database without the string protocol.
  void WithoutHiiString() {
    hii.reset();
    hii.emplace(fw, /*InstallDatabase=*/true, /*InstallString=*/false);
  }
  std::optional<std::string> File(const std::u16string& Path) { return fs0.ReadFile(Path); }

  // Maps every name on "sf:" to the scripted file, all other names as before.
  void MapScriptedFile() {
    scriptedPath = scripted.DevicePath();
    auto mapped = shell.NameToPath;
    shell.NameToPath = [this, mapped](const CHAR16* Name) -> EFI_DEVICE_PATH_PROTOCOL* {
      if (std::u16string(Name).rfind(u"sf:", 0) == 0) return fake::AsDevicePath(scriptedPath);
      return mapped(Name);
    };
  }

  // The line that gives Args with ArgInfo when split the EFI 1.x way: a
  // quoted argument in quotes (so too an empty one, or one with a blank), an
  // escaped first character after a caret.
  static std::u16string TypedLine(const std::vector<std::u16string>& Args, const std::vector<UINT32>& ArgInfo) {
    std::u16string line;
    for (size_t i = 0; i < Args.size(); ++i) {
      const UINT32 info = i < ArgInfo.size() ? ArgInfo[i] : 0;
      const bool quoted = (info & ARG_IS_QUOTED) != 0 || Args[i].empty() || Args[i].find(u' ') != std::u16string::npos;
      std::u16string typed = (info & ARG_FIRST_CHAR_IS_ESC) != 0 ? u"^" + Args[i] : Args[i];
      line += (i == 0 ? u"" : u" ") + (quoted ? u"\"" + typed + u"\"" : typed);
    }
    return line;
  }

  // Calls RunOnce for every pool allocation of a run, that allocation
  // failing; the library is attached afresh and the console cleared before
  // each. The arguments are handed over afresh in each run and given back
  // after it, so that each run starts and ends with the same live blocks.
  size_t ForEachFailingAllocation(const std::function<void(size_t)>& RunOnce) {
    shell.ReleaseArguments();
    return fake::FailEachAllocation(fw, [&](size_t failing) {
      fake::ResetLibraryGlobals();
      fake::AttachLibrary(fw);
      fw.ConOut().Clear();
      RunOnce(failing);
      shell.ReleaseArguments();
      fw.TakeAsserts();  // a package list that cannot be built is reported
    });
  }

  bool typedAtUefiShell = false;
  std::optional<fake::FakeHii> hii{std::in_place, fw};
  fake::FakeShell shell{fw};
  fake::FakeFileSystem fs{fw};
  fake::FakeVolume& fs0 = fs.AddVolume();
  fake::FakeShellMap map{shell, fs};
  fake::FakeScriptedFile scripted{fw};
  std::vector<UINT8> scriptedPath;
  fake::ImageRunResult last;
};

// ---- Every exit of the entry ----

struct EntryCase {
  const char* Name;
  std::vector<std::u16string> Args;
  std::vector<UINT32> ArgInfo;
  std::function<void(AppEntryTest&)> Arrange;
  std::string Out;
  EFI_STATUS Status;
  std::function<void(AppEntryTest&)> Check;  // the disk afterwards
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.Name; }

class EntryCaseTest : public AppEntryTest, public ::testing::WithParamInterface<EntryCase> {
 protected:
  void RunRow() {
    const EntryCase& c = GetParam();
    if (c.Arrange) c.Arrange(*this);
    EXPECT_EQ(Run(c.Args, c.ArgInfo), c.Status);
    EXPECT_FALSE(last.Exited);
    EXPECT_EQ(Out(), c.Out);
    EXPECT_EQ(File(u"d.txt"), kDump) << "the dump must never change";
    if (c.Check) c.Check(*this);
  }
};

TEST_P(EntryCaseTest, PrintsReturnsAndLeavesTheDiskAsExpected) { RunRow(); }

// The same table typed at a UEFI 2.x shell, which gives qorvex no EFI 1.x
// interfaces: the same output, status and disk, the full status in
// %qorvexstatus%, and nothing left of what start-up made (tear-down).
TEST_P(EntryCaseTest, TypedAtAUefi2ShellTheSame) {
  typedAtUefiShell = true;
  RunRow();
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(GetParam().Status));
  EXPECT_EQ(fake::Narrow(shell.Variables[u"qorvexstatus"]), text);
  EXPECT_EQ(shell.EnvironmentCalls, std::vector<std::string>{}) << "the EFI 1.x environment is not there";
}

using Test = AppEntryTest;

auto VkfIs(const std::string& Expected) {
  return [Expected](Test& t) { EXPECT_EQ(t.File(u"o.vkf"), Expected); };
}
auto VkfAbsent() {
  return [](Test& t) { EXPECT_FALSE(t.fs0.Exists(u"o.vkf")); };
}
auto FileIs(std::u16string Path, std::string Expected) {
  return [Path, Expected](Test& t) { EXPECT_EQ(t.File(Path), Expected) << fake::Narrow(Path); };
}
auto WithFile(std::u16string Path, std::string Bytes) {
  return [Path, Bytes](Test& t) { t.fs0.WriteFile(Path, Bytes); };
}
// A small machine for the backup and verify: its table as the firmware
// holds it, as a table file, and what a backup of it prints and writes.
const std::string kTable =
    table_of({Structure(0, 5, {"Vendor"}).set(4, {1}), Structure(1, 8, {"SN"}).set(7, {1}), Structure(127, 4)});
const std::string kTableFile = smbios3_entry(kTable.size(), 32) + std::string(8, '\0') + kTable;
const std::string kBackupTrace =
    "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\r\nType: (1)System, Field: (SM)Manufacturer, Value: \r\n"
    "Type: (1)System, Field: (SP)Product, Value: \r\nType: (1)System, Field: (SV)Version, Value: \r\n"
    "Type: (1)System, Field: (SS)SerialNum, Value: SN\r\n";
const std::string kBackup =
    "[BIOS]\r\nName = Vendor\r\n[System]\r\nManufacturer = \r\nProduct = \r\nVersion = \r\nSerialNum = SN\r\n";

// Lists the table in the firmware's configuration table under the SMBIOS 3
// GUID, its entry point with a right checksum or a wrong one; with
// `AlsoOldGuid`, a damaged 32-bit entry point is listed first, which the
// SMBIOS 3 one must win over.
auto WithFirmwareTable(bool Damaged, bool AlsoOldGuid = false) {
  return [Damaged, AlsoOldGuid](AppEntryTest& t) {
    static EFI_CONFIGURATION_TABLE entries[2];
    static std::string entry;
    static const std::string kDamaged(0x1F, 'x');
    entry = smbios3_entry(kTable.size(), reinterpret_cast<UINTN>(kTable.data()));
    if (Damaged) entry[5] = static_cast<char>(entry[5] + 1);
    entries[0] = {gEfiSmbiosTableGuid, const_cast<char*>(kDamaged.data())};
    entries[1] = {gEfiSmbios3TableGuid, entry.data()};
    t.SystemTable()->NumberOfTableEntries = AlsoOldGuid ? 2 : 1;
    t.SystemTable()->ConfigurationTable = AlsoOldGuid ? entries : entries + 1;
  };
}

auto WithTableFile(std::function<void(Test&)> More = nullptr) {
  return [More](Test& t) {
    t.fs0.WriteFile(u"t.bin", kTableFile);
    if (More) More(t);
  };
}

// The files in fs0's root afterwards, in any order: nothing else is left.
auto RootHolds(std::vector<std::u16string> Names) {
  return [Names](Test& t) {
    std::vector<std::u16string> listed = t.fs0.List();
    std::vector<std::u16string> expected = Names;
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
  };
}
// The bytes of every file in fs0's root afterwards, and nothing else there.
auto RootIs(std::vector<std::pair<std::u16string, std::string>> Files) {
  return [Files](Test& t) {
    std::vector<std::u16string> names;
    for (const auto& [name, bytes] : Files) {
      EXPECT_EQ(t.File(name), bytes) << fake::Narrow(name);
      names.push_back(name);
    }
    RootHolds(names)(t);
  };
}
// The VKF file's bytes (nothing: no file) and the root holding nothing else.
auto VkfLeft(std::optional<std::string> Expected) {
  return [Expected](Test& t) {
    EXPECT_EQ(t.File(u"o.vkf"), Expected);
    RootHolds(Expected ? std::vector<std::u16string>{u"d.txt", u"o.vkf"} : std::vector<std::u16string>{u"d.txt"})(t);
  };
}
// The same-file check comes before the new file: no create was asked for.
auto NothingCreated() {
  return [](Test& t) {
    for (const fake::FileCall& call : t.fs.CallsOf("Open")) EXPECT_EQ(call.Mode & EFI_FILE_MODE_CREATE, 0u);
  };
}
auto NothingOpened() {
  return [](Test& t) {
    EXPECT_FALSE(t.fs0.Exists(u"o.vkf"));
    EXPECT_EQ(t.fs.CallCount("OpenVolume"), 0u);
  };
}
// Each step of a replacement (a rename, a delete) starts only once every
// change before it reached the media: a device flush came between them.
auto StepsFlushed(std::function<void(Test&)> More) {
  return [More](Test& t) {
    bool pending = false;
    for (const fake::FileCall& call : t.fs.Calls()) {
      const bool step = call.Function == "SetInfo" || call.Function == "Delete";
      EXPECT_FALSE(step && pending) << call.Function << " of " << fake::Narrow(call.Path) << " too early";
      const bool changes = call.Status == EFI_SUCCESS && (step || call.Function == "Write");
      pending = call.Function != "FlushBlocks" && (pending || changes);
    }
    EXPECT_FALSE(pending) << "the last step never reached the media";
    More(t);
  };
}
// A dump without a field: the run stops before it writes, so the files show
// what the recovery of an interrupted replacement alone did.
const std::string kNoFieldDump = "(";
auto WithFiles(std::vector<std::pair<std::u16string, std::string>> Files) {
  return [Files](Test& t) {
    t.fs0.WriteFile(u"e.txt", kNoFieldDump);
    for (const auto& [name, bytes] : Files) t.fs0.WriteFile(name, bytes);
  };
}
auto WithOldVkf(std::function<void(Test&)> More = nullptr) {
  return [More](Test& t) {
    t.fs0.WriteFile(u"o.vkf", kOldVkf);
    if (More) More(t);
  };
}

const EFI_STATUS kOk = EFI_SUCCESS;
const std::string kRun = kBanner + kTrace;
// What a run prints that stops at the first record's write, or the second's.
const std::string kStopsAtFirst = kBanner + kProgress + "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\r\n";
const std::string kStopsAtSecond = kStopsAtFirst + "Type: (1)System, Field: (SM)Manufacturer, Value: Maker\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, EntryCaseTest,
    ::testing::Values(
        // The command line.
        EntryCase{"Converts", {u"d.txt", u"o.vkf"}, {}, nullptr, kRun, kOk, VkfLeft(kConverted)},
        EntryCase{"QuietFirst", {u"/q", u"d.txt", u"o.vkf"}, {}, nullptr, "", kOk, VkfIs(kConverted)},
        EntryCase{"QuietBetweenInCapitals", {u"d.txt", u"/Q", u"o.vkf"}, {}, nullptr, "", kOk, VkfIs(kConverted)},
        EntryCase{"QuietLast", {u"d.txt", u"o.vkf", u"/q"}, {}, nullptr, "", kOk, VkfIs(kConverted)},
        EntryCase{"ExtraArgumentIgnored", {u"d.txt", u"o.vkf", u"extra"}, {}, nullptr, kRun, kOk, VkfIs(kConverted)},
        EntryCase{"EmptyArgumentsDropped", {u"", u"d.txt", u"", u"o.vkf"}, {}, nullptr, kRun, kOk,
                  VkfIs(kConverted)},
        EntryCase{"DuplicatedQuiet",
                  {u"d.txt", u"o.vkf", u"/q", u"/q"},
                  {},
                  nullptr,
                  "Error: Duplicated flag - '/q'\r\n",
                  EFI_INVALID_PARAMETER,
                  NothingOpened()},
        EntryCase{"UnknownFlag", {u"d.txt", u"o.vkf", u"-x"}, {}, nullptr, "Error: Unknown flag - '-x'\r\n",
                  EFI_INVALID_PARAMETER, NothingOpened()},
        EntryCase{"UnquotedNameWithDash", {u"-d.txt", u"o.vkf"}, {}, nullptr, "Error: Unknown flag - '-d.txt'\r\n",
                  EFI_INVALID_PARAMETER, NothingOpened()},
        EntryCase{"QuotedNameWithDash", {u"-d.txt", u"o.vkf"}, {ARG_IS_QUOTED, 0},
                  [](Test& t) { t.fs0.WriteFile(u"-d.txt", kDump); }, kRun, kOk, VkfIs(kConverted)},
        // FAT refuses '/' in a name.
        EntryCase{"QuotedQuietIsADumpName", {u"/q", u"o.vkf"}, {ARG_IS_QUOTED, 0}, nullptr,
                  kBanner + OpenFailed("/q"), EFI_INVALID_PARAMETER, VkfAbsent()},
        EntryCase{"NoArguments", {}, {}, nullptr, kBanner + kMissingNames, EFI_INVALID_PARAMETER, NothingOpened()},
        EntryCase{"OneName", {u"d.txt"}, {}, nullptr, kBanner + kMissingNames, EFI_INVALID_PARAMETER,
                  NothingOpened()},
        EntryCase{"OneNameQuiet", {u"/q", u"d.txt"}, {}, nullptr, kMissingNames, EFI_INVALID_PARAMETER,
                  NothingOpened()},
        // The dump.
        EntryCase{"DumpMissing", {u"missing.txt", u"o.vkf"}, {}, WithOldVkf(), kBanner + OpenFailed("missing.txt"),
                  EFI_NOT_FOUND, VkfIs(kOldVkf)},
        EntryCase{"DumpIsADirectory", {u"dir", u"o.vkf"}, {}, WithOldVkf([](Test& t) { t.fs0.MakeDirectory(u"dir"); }),
                  kBanner + OpenFailed("dir"), EFI_LOAD_ERROR, VkfIs(kOldVkf)},
        EntryCase{"DumpWithoutInformation", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.GetInfoFailure = EFI_DEVICE_ERROR; }), kBanner + OpenFailed("d.txt"),
                  EFI_LOAD_ERROR, VkfIs(kOldVkf)},
        EntryCase{"ReadOfTheMarkFails", {u"sf:x", u"o.vkf"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Contents = kDump;
                    t.scripted.ReadStatus = EFI_DEVICE_ERROR;
                  },
                  kBanner + ReadFailed("sf:x"), EFI_DEVICE_ERROR, VkfLeft(std::nullopt)},
        EntryCase{"ReadFailsAfterTheMark", {u"sf:x", u"o.vkf"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Contents = kDump;
                    t.scripted.ReadStatuses = {EFI_SUCCESS, EFI_NO_MEDIA};
                  },
                  kBanner + kProgress + ReadFailed("sf:x"), EFI_NO_MEDIA, VkfLeft(std::nullopt)},
        EntryCase{"RewindAfterTheMarkFails", {u"sf:x", u"o.vkf"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Contents = kDump;
                    t.scripted.SetPositionStatuses = {EFI_SUCCESS, EFI_NO_MEDIA};
                  },
                  kBanner + ReadFailed("sf:x"), EFI_NO_MEDIA, VkfLeft(std::nullopt)},
        EntryCase{"ReadFailsInTheDump", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.FailCall("Read", 2, EFI_DEVICE_ERROR); }),
                  kBanner + kProgress + ReadFailed("d.txt"), EFI_DEVICE_ERROR, VkfLeft(kOldVkf)},
        EntryCase{"NoFieldInTheDump", {u"e.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs0.WriteFile(u"e.txt", "[BIOS]\r\nName = Vendor\r\n"); }),
                  kBanner + kProgress + NoField("e.txt"), EFI_ABORTED,
                  RootIs({{u"d.txt", kDump}, {u"e.txt", "[BIOS]\r\nName = Vendor\r\n"}, {u"o.vkf", kOldVkf}})},
        EntryCase{"DumpOfOneByte", {u"e.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs0.WriteFile(u"e.txt", "("); }),
                  kBanner + NoField("e.txt"), EFI_ABORTED, VkfIs(kOldVkf)},
        // The VKF file.
        EntryCase{"OldVkfReplaced", {u"d.txt", u"o.vkf"}, {}, WithOldVkf(), kRun, kOk,
                  StepsFlushed(VkfLeft(kConverted))},
        // A name that differs only in letter case: the new file takes it as typed.
        EntryCase{"OldVkfReplacedUnderAnotherCase", {u"d.txt", u"O.VKF"}, {}, WithOldVkf(), kRun, kOk,
                  RootHolds({u"d.txt", u"O.VKF"})},
        EntryCase{"OldVkfInASubfolderReplaced", {u"d.txt", u"sub\\o.vkf"}, {},
                  [](Test& t) { t.fs0.WriteFile(u"sub\\o.vkf", kOldVkf); }, kRun, kOk,
                  [](Test& t) {
                    EXPECT_EQ(t.File(u"sub\\o.vkf"), kConverted);
                    EXPECT_EQ(t.fs0.List(u"sub"), std::vector<std::u16string>{u"o.vkf"});
                  }},
        // After a power cut. The old file of an interrupted replacement goes
        // back, also under /q, and the new one goes; another VKF file's
        // pair and files of other names stay as they are.
        EntryCase{"InterruptedReplacementUndone", {u"/q", u"e.txt", u"o.vkf"}, {},
                  WithFiles({{u"o.vkf.qvx-new", kConverted}, {u"O.VKF.QVX-OLD", kOldVkf}, {u"b.vkf.qvx-new", "b new"},
                             {u"b.vkf.qvx-old", "b old"}, {u"QVX00000.TMP", "taken"}, {u"o.vkf.tmp", "other"}}),
                  "Note: The VKF file [o.vkf] was restored after an interrupted run.\r\n" + NoField("e.txt"), EFI_ABORTED,
                  RootIs({{u"d.txt", kDump}, {u"e.txt", kNoFieldDump}, {u"o.vkf", kOldVkf}, {u"b.vkf.qvx-new", "b new"},
                          {u"b.vkf.qvx-old", "b old"}, {u"QVX00000.TMP", "taken"}, {u"o.vkf.tmp", "other"}})},
        EntryCase{"InterruptedReplacementBesideAWholeVkf", {u"e.txt", u"o.vkf."}, {},
                  WithFiles({{u"o.vkf", kOldVkf}, {u"o.vkf.qvx-new", "[BIOS]\r\nNa"}, {u"o.vkf.qvx-old", "older"}}),
                  kBanner + NoField("e.txt"), EFI_ABORTED,
                  RootIs({{u"d.txt", kDump}, {u"e.txt", kNoFieldDump}, {u"o.vkf", kOldVkf}})},
        // What is not a leftover of ours is not touched.
        EntryCase{"NewFileNameHeldByADirectory", {u"d.txt", u"o.vkf"}, {},
                  [](Test& t) { t.fs0.MakeDirectory(u"o.vkf.qvx-new"); }, kBanner + OpenFailed("o.vkf"),
                  EFI_ACCESS_DENIED, [](Test& t) { EXPECT_TRUE(t.fs0.IsDirectory(u"o.vkf.qvx-new")); }},
        EntryCase{"DumpUnderTheNewFileName", {u"o.vkf.qvx-new", u"o.vkf"}, {}, WithFile(u"o.vkf.qvx-new", kDump),
                  kBanner + OpenFailed("o.vkf"), EFI_ACCESS_DENIED,
                  RootIs({{u"d.txt", kDump}, {u"o.vkf.qvx-new", kDump}})},
        EntryCase{"VkfNameEndsInARoleSuffix", {u"d.txt", u"b.vkf.QVX-OLD."}, {}, nullptr,
                  kBanner + OpenFailed("b.vkf.QVX-OLD."), EFI_INVALID_PARAMETER, RootHolds({u"d.txt"})},
        // A device that refuses to flush does not fail the run.
        EntryCase{"DeviceFlushRefused", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) {
                    for (size_t nth = 1; nth <= 8; ++nth) t.fs.FailCall("FlushBlocks", nth, EFI_DEVICE_ERROR);
                  }),
                  kRun, kOk, VkfLeft(kConverted)},
        EntryCase{"VkfNameEndsInABackslash", {u"d.txt", u"o.vkf\\"}, {}, nullptr, kBanner + OpenFailed("o.vkf\\"),
                  EFI_INVALID_PARAMETER, RootHolds({u"d.txt"})},
        EntryCase{"VolumeWriteProtected", {u"d.txt", u"fs1:o.vkf"}, {},
                  [](Test& t) { t.fs.AddVolume().WriteProtected = true; }, kBanner + OpenFailed("fs1:o.vkf"),
                  EFI_WRITE_PROTECTED, [](Test& t) { EXPECT_TRUE(t.fs.Volume(1).List().empty()); }},
        EntryCase{"VolumeWriteProtectedWithOldVkf", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs0.WriteProtected = true; }), kBanner + OpenFailed("o.vkf"),
                  EFI_WRITE_PROTECTED, VkfLeft(kOldVkf)},
        EntryCase{"VkfReadOnly", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs0.SetReadOnly(u"o.vkf"); }), kBanner + OpenFailed("o.vkf"),
                  EFI_ACCESS_DENIED, VkfIs(kOldVkf)},
        EntryCase{"VkfIsADirectory", {u"d.txt", u"o.vkf"}, {}, [](Test& t) { t.fs0.MakeDirectory(u"o.vkf"); },
                  kBanner + OpenFailed("o.vkf"), EFI_ABORTED,
                  [](Test& t) { EXPECT_TRUE(t.fs0.IsDirectory(u"o.vkf")); }},
        EntryCase{"OldVkfWithoutInformation", {u"d.txt", u"sf:x"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Contents = kOldVkf;
                    t.scripted.GetInfoStatuses = {EFI_DEVICE_ERROR};
                  },
                  kBanner + OpenFailed("sf:x"), EFI_ABORTED,
                  [](Test& t) {
                    EXPECT_EQ(t.scripted.Contents, kOldVkf);
                    EXPECT_EQ(t.scripted.Calls, (std::vector<std::string>{"Open", "GetInfo", "Close"}));
                  }},
        EntryCase{"VkfCannotBeCreated", {u"d.txt", u"nodir\\o.vkf"}, {}, nullptr,
                  kBanner + OpenFailed("nodir\\o.vkf"), EFI_NOT_FOUND, VkfAbsent()},
        EntryCase{"CreatedVkfWithoutInformation", {u"d.txt", u"sf:x"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Exists = false;
                    t.scripted.GetInfoStatuses = {EFI_DEVICE_ERROR};
                  },
                  kBanner + OpenFailed("sf:x"), EFI_LOAD_ERROR,
                  // The VKF name, the new file's name and the old file's are
                  // probed, the new file created (opened, then created) and,
                  // without information, deleted.
                  [](Test& t) {
                    EXPECT_FALSE(t.scripted.Exists);
                    EXPECT_EQ(t.scripted.Calls,
                              (std::vector<std::string>{"Open", "Open", "Open", "Open", "Open", "GetInfo", "Delete"}));
                  }},
        // The new file is in place; the old one, which the file system would
        // not delete, is left under its temporary name, and the user told.
        EntryCase{"OldVkfNotDeleted", {u"d.txt", u"o.vkf"}, {}, WithOldVkf([](Test& t) { t.fs.DeleteFails = true; }),
                  kBanner + kProgress + kTraceLines + OldKept("o.vkf.qvx-old") + kDone, kOk,
                  RootIs({{u"d.txt", kDump}, {u"o.vkf", kConverted}, {u"o.vkf.qvx-old", kOldVkf}})},
        // The VKF name names the dump: refused before anything is deleted.
        EntryCase{"VkfIsTheDump", {u"d.txt", u"d.txt"}, {}, nullptr, kBanner + OpenFailed("d.txt"),
                  EFI_ACCESS_DENIED, NothingCreated()},
        EntryCase{"VkfIsTheDumpInCapitals", {u"d.txt", u"D.TXT"}, {}, nullptr, kBanner + OpenFailed("D.TXT"),
                  EFI_ACCESS_DENIED, NothingCreated()},
        EntryCase{"VkfIsTheDumpByMapping", {u"d.txt", u"FS0:\\d.txt"}, {}, nullptr,
                  kBanner + OpenFailed("FS0:\\d.txt"), EFI_ACCESS_DENIED, nullptr},
        // Spellings that FAT resolves to the dump.
        EntryCase{"VkfIsTheDumpWithTrailingDots", {u"d.txt", u"d.txt.."}, {}, nullptr,
                  kBanner + OpenFailed("d.txt.."), EFI_ACCESS_DENIED, nullptr},
        EntryCase{"VkfIsTheDumpWithTrailingBlank", {u"d.txt", u"d.txt "}, {}, nullptr,
                  kBanner + OpenFailed("d.txt "), EFI_ACCESS_DENIED, nullptr},
        EntryCase{"VkfIsTheDumpThroughItsDirectory", {u"d.txt", u".\\sub\\..\\d.txt. ."}, {},
                  [](Test& t) { t.fs0.MakeDirectory(u"sub"); }, kBanner + OpenFailed(".\\sub\\..\\d.txt. ."),
                  EFI_ACCESS_DENIED, nullptr},
        EntryCase{"VkfIsTheDumpByItsShortName", {u"longdumpname.txt", u"LONGDU~1.TXT"}, {},
                  WithFile(u"longdumpname.txt", kDump), kBanner + OpenFailed("LONGDU~1.TXT"), EFI_ACCESS_DENIED,
                  FileIs(u"longdumpname.txt", kDump)},
        EntryCase{"DumpByItsShortNameIsTheVkf", {u"LONGDU~1.TXT", u"longdumpname.txt"}, {},
                  WithFile(u"longdumpname.txt", kDump), kBanner + OpenFailed("longdumpname.txt"),
                  EFI_ACCESS_DENIED, FileIs(u"longdumpname.txt", kDump)},
        // Names that look alike but are other files.
        EntryCase{"VkfNamedLikeTheDump", {u"d.txt", u"d.txt.vkf"}, {}, WithFile(u"d.txt.vkf", kOldVkf), kRun, kOk,
                  FileIs(u"d.txt.vkf", kConverted)},
        EntryCase{"VkfWithTheNextShortName", {u"longdumpname.txt", u"LONGDU~2.TXT"}, {},
                  [](Test& t) {
                    t.fs0.WriteFile(u"longdumpname.txt", kDump);
                    t.fs0.WriteFile(u"longdumpnote.txt", kOldVkf);
                  },
                  kRun, kOk,
                  // The old file goes; the new one takes the name as typed.
                  [](Test& t) {
                    EXPECT_EQ(t.File(u"longdumpname.txt"), kDump);
                    EXPECT_FALSE(t.fs0.Exists(u"longdumpnote.txt"));
                    EXPECT_EQ(t.fs0.List(), (std::vector<std::u16string>{u"d.txt", u"longdumpname.txt",
                                                                         u"LONGDU~2.TXT"}));
                    EXPECT_EQ(t.File(u"LONGDU~2.TXT"), kConverted);
                  }},
        EntryCase{"SameNameOnAnotherVolume", {u"d.txt", u"fs1:\\d.txt"}, {},
                  [](Test& t) { t.fs.AddVolume().WriteFile(u"d.txt", kOldVkf); }, kRun, kOk,
                  [](Test& t) { EXPECT_EQ(t.fs.Volume(1).ReadFile(u"d.txt"), kConverted); }},
        // Writing the VKF file: every failure leaves the VKF name as it was.
        EntryCase{"WritesFail", {u"d.txt", u"o.vkf"}, {}, [](Test& t) { t.fs.WriteFailure = EFI_VOLUME_FULL; },
                  kStopsAtFirst + WriteFailed("o.vkf"), EFI_VOLUME_FULL, VkfLeft(std::nullopt)},
        EntryCase{"VolumeFillsUp", {u"d.txt", u"o.vkf"}, {}, WithOldVkf([](Test& t) { t.fs0.FreeSpace = 30; }),
                  kStopsAtSecond + WriteFailed("o.vkf"), EFI_VOLUME_FULL, VkfLeft(kOldVkf)},
        EntryCase{"WritesStoreLessThanAsked", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.ShortWriteLimit = 7; }), kStopsAtFirst + WriteFailed("o.vkf"),
                  EFI_VOLUME_FULL, VkfLeft(kOldVkf)},
        // The scripted file is the new VKF file under its temporary name;
        // it goes again.
        EntryCase{"ShortWriteOfAScriptedFile", {u"d.txt", u"sf:x"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Exists = false;
                    t.scripted.WriteLimit = 30;
                  },
                  kStopsAtSecond + WriteFailed("sf:x"), EFI_VOLUME_FULL,
                  [](Test& t) { EXPECT_FALSE(t.scripted.Exists); }},
        EntryCase{"WriteOfAScriptedFileFailsWithAnyStatus", {u"d.txt", u"sf:x"}, {},
                  [](Test& t) {
                    t.MapScriptedFile();
                    t.scripted.Exists = false;
                    t.scripted.WriteStatuses = {EFI_SUCCESS, EFI_MEDIA_CHANGED};
                  },
                  kStopsAtSecond + WriteFailed("sf:x"), EFI_MEDIA_CHANGED,
                  [](Test& t) { EXPECT_FALSE(t.scripted.Exists); }},
        EntryCase{"WriteProtectedWrite", {u"d.txt", u"o.vkf"}, {},
                  [](Test& t) { t.fs.FailCall("Write", 1, EFI_WRITE_PROTECTED); },
                  kStopsAtFirst + WriteFailed("o.vkf"), EFI_WRITE_PROTECTED, VkfLeft(std::nullopt)},
        // Of two failures in one run, the first is reported.
        EntryCase{"WriteFailsAndThenTheFlushWould", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) {
                    t.fs.FailCall("Write", 1, EFI_DEVICE_ERROR);
                    t.fs.FlushFailure = EFI_VOLUME_FULL;
                  }),
                  kStopsAtFirst + WriteFailed("o.vkf"), EFI_DEVICE_ERROR, VkfLeft(kOldVkf)},
        EntryCase{"ReadFailsAndThenTheDeleteOfTheNewFile", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) {
                    t.fs.FailCall("Read", 2, EFI_VOLUME_CORRUPTED);
                    t.fs.FailCall("Delete", 1, EFI_DEVICE_ERROR);
                  }),
                  kBanner + kProgress + ReadFailed("d.txt"), EFI_VOLUME_CORRUPTED,
                  // The file system kept the new, empty file.
                  RootIs({{u"d.txt", kDump}, {u"o.vkf", kOldVkf}, {u"o.vkf.qvx-new", ""}})},
        EntryCase{"FinalFlushFails", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.FlushFailure = EFI_DEVICE_ERROR; }),
                  kBanner + kProgress + kTraceLines + WriteFailed("o.vkf"), EFI_DEVICE_ERROR, VkfLeft(kOldVkf)},
        EntryCase{"FlushFailsAfterAnEarlierError", {u"e.txt", u"o.vkf"}, {},
                  [](Test& t) {
                    t.fs0.WriteFile(u"e.txt", "(");
                    t.fs.FlushFailure = EFI_DEVICE_ERROR;
                  },
                  kBanner + NoField("e.txt"), EFI_ABORTED, VkfAbsent()},
        // Putting the new file in place.
        EntryCase{"RenameRefused", {u"d.txt", u"o.vkf"}, {}, [](Test& t) { t.fs.FailCall("SetInfo", 1, EFI_VOLUME_FULL); },
                  kBanner + kProgress + kTraceLines + WriteFailed("o.vkf"), EFI_VOLUME_FULL, VkfLeft(std::nullopt)},
        EntryCase{"OldVkfCannotBeRenamedAside", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.FailCall("SetInfo", 1, EFI_ACCESS_DENIED); }),
                  kBanner + kProgress + kTraceLines + WriteFailed("o.vkf"), EFI_ACCESS_DENIED, VkfLeft(kOldVkf)},
        EntryCase{"RenameRefusedOldVkfRenamedBack", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) { t.fs.FailCall("SetInfo", 2, EFI_VOLUME_FULL); }),
                  kBanner + kProgress + kTraceLines + WriteFailed("o.vkf"), EFI_VOLUME_FULL, VkfLeft(kOldVkf)},
        EntryCase{"RenameRefusedOldVkfGetsItsOwnNameBack", {u"d.txt", u"O.VKF"}, {},
                  WithOldVkf([](Test& t) { t.fs.FailCall("SetInfo", 2, EFI_VOLUME_FULL); }),
                  kBanner + kProgress + kTraceLines + WriteFailed("O.VKF"), EFI_VOLUME_FULL, VkfLeft(kOldVkf)},
        EntryCase{"RenameAndRenameBackRefused", {u"d.txt", u"o.vkf"}, {},
                  WithOldVkf([](Test& t) {
                    t.fs.FailCall("SetInfo", 2, EFI_VOLUME_FULL);
                    t.fs.FailCall("SetInfo", 3, EFI_DEVICE_ERROR);
                  }),
                  kBanner + kProgress + kTraceLines + WriteFailed("o.vkf") + OldKept("o.vkf.qvx-old"), EFI_VOLUME_FULL,
                  RootIs({{u"d.txt", kDump}, {u"o.vkf.qvx-old", kOldVkf}})},
        // Help.
        EntryCase{"Help", {u"/?"}, {}, nullptr, kBanner + kUsage, kOk, NothingOpened()},
        EntryCase{"HelpWithDash", {u"-?", u"d.txt", u"o.vkf"}, {}, nullptr, kBanner + kUsage, kOk, NothingOpened()},
        EntryCase{"HelpTakesNoValue", {u"/?x"}, {}, nullptr, "Error: Unknown flag - '/?x'\r\n",
                  EFI_INVALID_PARAMETER, NothingOpened()},
        // Backing up and verifying a machine's table.
        EntryCase{"BackupOfTheFirmwareTable", {u"/SMBIOS", u"o.vkf"}, {}, WithFirmwareTable(false),
                  kBanner + kBackupTrace + kDone, kOk, VkfIs(kBackup)},
        EntryCase{"BackupPrefersTheSmbios3Table", {u"/q", u"/smbios", u"o.vkf"}, {}, WithFirmwareTable(false, true), "",
                  kOk, VkfIs(kBackup)},
        EntryCase{"BackupWithoutFirmwareTable", {u"/smbios", u"o.vkf"}, {}, nullptr,
                  kBanner + "Error: This machine publishes no SMBIOS table!\r\n", EFI_NOT_FOUND, VkfAbsent()},
        EntryCase{"BackupOfADamagedEntryPoint", {u"/q", u"/smbios", u"o.vkf"}, {}, WithFirmwareTable(true),
                  "Error: No valid SMBIOS entry point in [SMBIOS configuration table]!\r\n", EFI_CRC_ERROR,
                  VkfAbsent()},
        EntryCase{"BackupOfATableFile", {u"o.vkf", u"/q", u"/smbios:t.bin"}, {}, WithTableFile(), "", kOk,
                  VkfIs(kBackup)},
        EntryCase{"BackupReadsTheTableFileNoFurtherThanItsEntryPointStates", {u"/q", u"/smbios:t.bin", u"o.vkf"}, {},
                  WithFile(u"t.bin", smbios3_entry(13, 32) + std::string(8, '\0') + kTable), "", kOk,
                  VkfIs("[BIOS]\r\nName = Vendor\r\n")},
        EntryCase{"BackupOfADirectory", {u"/smbios:sub", u"o.vkf"}, {}, [](Test& t) { t.fs0.MakeDirectory(u"sub"); },
                  kBanner + OpenFailed("sub"), EFI_LOAD_ERROR, VkfAbsent()},
        EntryCase{"BackupIntoTheTableFile", {u"/smbios:t.bin", u"T.BIN"}, {}, WithTableFile(),
                  kBanner + OpenFailed("T.BIN"), EFI_ACCESS_DENIED, FileIs(u"t.bin", kTableFile)},
        // A failed backup leaves the old VKF file whole and no other file.
        EntryCase{"BackupOldVkfNotDeleted", {u"/smbios:t.bin", u"o.vkf"}, {},
                  WithTableFile(WithOldVkf([](Test& t) { t.fs.DeleteFails = true; })),
                  kBanner + kBackupTrace + OldKept("o.vkf.qvx-old") + kDone, kOk,
                  RootIs({{u"d.txt", kDump}, {u"t.bin", kTableFile}, {u"o.vkf", kBackup}, {u"o.vkf.qvx-old", kOldVkf}})},
        EntryCase{"BackupWritesFail", {u"/smbios:t.bin", u"o.vkf"}, {},
                  WithTableFile(WithOldVkf([](Test& t) { t.fs.WriteFailure = EFI_VOLUME_FULL; })),
                  kBanner + "Type: (0)BIOS, Field: (IVN)Name, Value: Vendor\r\n" + WriteFailed("o.vkf"),
                  EFI_VOLUME_FULL,
                  RootIs({{u"d.txt", kDump}, {u"o.vkf", kOldVkf}, {u"t.bin", kTableFile}})},
        EntryCase{"BackupFlushFails", {u"/smbios:t.bin", u"o.vkf"}, {},
                  WithTableFile([](Test& t) { t.fs.FlushFailure = EFI_DEVICE_ERROR; }),
                  kBanner + kBackupTrace + WriteFailed("o.vkf"), EFI_DEVICE_ERROR, RootHolds({u"d.txt", u"t.bin"})},
        EntryCase{"BackupAndVerifyConflict", {u"/smbios", u"/verify:t.bin", u"o.vkf"}, {}, nullptr,
                  "Error: Conflict parameter - '/verify:t.bin'\r\n", EFI_INVALID_PARAMETER, VkfAbsent()},
        EntryCase{"HelpBesideAModeIsUnknown", {u"/verify", u"-?", u"o.vkf"}, {}, nullptr,
                  "Error: Unknown flag - '-?'\r\n", EFI_INVALID_PARAMETER, VkfAbsent()},
        EntryCase{"VerifyFindsADifference", {u"/q", u"/verify:t.bin", u"o.vkf"}, {},
                  WithTableFile([](Test& t) { t.fs0.WriteFile(u"o.vkf", "[System]\nSerialNum = SM\n"); }),
                  "[System] SerialNum: file \"SM\", machine \"SN\"\r\nCompared 1 fields, 1 different\r\n",
                  EFI_COMPROMISED_DATA, VkfIs("[System]\nSerialNum = SM\n")},
        EntryCase{"VerifyOfAMissingVkf", {u"/verify", u"o.vkf"}, {}, WithFirmwareTable(false),
                  kBanner + OpenFailed("o.vkf"), EFI_NOT_FOUND, VkfAbsent()},
        EntryCase{"NoHiiDatabase", {u"d.txt", u"o.vkf"}, {}, [](Test& t) { t.hii.reset(); }, "", EFI_NOT_FOUND,
                  NothingOpened()},
        // The strings are registered without the string protocol; the
        // messages then print nothing, and the run goes on.
        EntryCase{"NoHiiStringProtocol", {u"d.txt", u"o.vkf"}, {},
                  [](Test& t) { t.WithoutHiiString(); },
                  kRun, kOk, VkfIs(kConverted)},
        EntryCase{"NoHiiStringProtocolSilentMessage", {u"d.txt"}, {},
                  [](Test& t) { t.WithoutHiiString(); },
                  kBanner, EFI_INVALID_PARAMETER, NothingOpened()},
        EntryCase{"RegistrationRefused", {u"d.txt", u"o.vkf"}, {},
                  [](Test& t) { t.hii->NewPackageListFailure = EFI_OUT_OF_RESOURCES; }, "", EFI_OUT_OF_RESOURCES,
                  NothingOpened()}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.Name); });

// ---- Details the table does not show ----

TEST_F(AppEntryTest, StartedOutsideTheShellEndsThroughExit) {
  fw.UninstallProtocol(fw.ImageHandle(), gEfiShellInterfaceGuid);
  Run({u"d.txt", u"o.vkf"});
  EXPECT_TRUE(last.Exited);
  EXPECT_TRUE(EFI_ERROR(last.Status));
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(hii->NewPackageListCalls, 0u);
  EXPECT_FALSE(fs0.Exists(u"o.vkf"));
}

// A UTF-16LE value whose characters have the low byte 0x0A comes out with
// CR LF for each (the formatter's line-feed rule): the longest such record
// is still written whole, with its own line end.
TEST_F(AppEntryTest, LongestRecordOfLineFeedBytesIsWrittenWhole) {
  std::u16string line = u"(/BM)\"" + std::u16string(248, u'\u4E0A') + u"\"";
  ASSERT_EQ(line.size(), 255u);
  std::string dump = "\xFF\xFE";
  for (char16_t unit : line + u"\r\n(/BP)x \"next\"\r\n") {
    dump.push_back(char(unit & 0xFF));
    dump.push_back(char(unit >> 8));
  }
  fs0.WriteFile(u"d.txt", dump);
  EXPECT_EQ(Run({u"/q", u"d.txt", u"o.vkf"}), EFI_SUCCESS);
  std::string value;
  for (int i = 0; i < 248; ++i) value += "\r\n";
  EXPECT_EQ(File(u"o.vkf"), "[BaseBoard]\r\nManufacturer = " + value + "\r\nProduct = next\r\n");
}

// What a run may answer when one pool allocation fails: its status and the
// message it ends with. The run's lines before that depend on where it
// stopped, and a line whose own print found no pool is missing.
struct SweepFailure {
  EFI_STATUS Status;
  std::string Message;  // empty: nothing printed at all
};

const SweepFailure kSweepFailures[] = {
    {EFI_OUT_OF_RESOURCES, ""},                   // the message strings cannot be registered
    {EFI_INVALID_PARAMETER, kOutOfMemory},        // the flag check
    {EFI_OUT_OF_RESOURCES, kOutOfMemory},         // the line buffer, the names, a record
    {EFI_OUT_OF_RESOURCES, OpenFailed("d.txt")},  // the device path copy of an open
    {EFI_OUT_OF_RESOURCES, OpenFailed("o.vkf")},
    {EFI_LOAD_ERROR, OpenFailed("d.txt")},         // no information record
    {EFI_LOAD_ERROR, OpenFailed("o.vkf")},         // ... of the new file
    {EFI_ABORTED, OpenFailed("o.vkf")},            // ... of the old file
    {EFI_ACCESS_DENIED, OpenFailed("o.vkf")},      // the same-file check undecided
    {EFI_OUT_OF_RESOURCES, WriteFailed("o.vkf")},  // a rename
};

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

// Every pool allocation of a whole run over an old VKF file fails once in
// turn. A run that succeeds has replaced the old file with the whole new
// one; a run that fails answers one of the rows above and leaves the old
// file as it was and nothing else. Nothing may leak, every handle is closed,
// the dump stays as it was, and every row is met somewhere in the sweep.
TEST_F(AppEntryTest, EveryAllocationFailureIsSurvived) {
  std::vector<bool> met(std::size(kSweepFailures), false);
  size_t runs = ForEachFailingAllocation([&](size_t failing) {
    fs0.WriteFile(u"o.vkf", kOldVkf);
    EFI_STATUS status = Run({u"d.txt", u"o.vkf"});
    SCOPED_TRACE("allocation " + std::to_string(failing) + " failed; printed: " + Out());
    EXPECT_EQ(File(u"d.txt"), kDump);
    EXPECT_EQ(File(u"o.vkf"), status == EFI_SUCCESS ? kConverted : kOldVkf);
    RootHolds({u"d.txt", u"o.vkf"})(*this);
    if (status != EFI_SUCCESS) {
      size_t row = 0;
      while (row < met.size() &&
             !(kSweepFailures[row].Status == status &&
               (kSweepFailures[row].Message.empty() ? Out().empty() : EndsWith(Out(), kSweepFailures[row].Message)))) {
        ++row;
      }
      EXPECT_LT(row, met.size()) << "an answer of no row: status " << std::hex << status;
      if (row < met.size()) met[row] = true;
    }
  });
  // The last run, which no failure reached, converted as usual.
  EXPECT_GT(runs, 30u);
  EXPECT_EQ(last.Status, EFI_SUCCESS);
  EXPECT_EQ(File(u"o.vkf"), kConverted);
  for (size_t row = 0; row < met.size(); ++row) EXPECT_TRUE(met[row]) << "row " << row << " never met";
}

// A backup under every allocation failure: success only with the whole file,
// else the memory message (or a flag check's), and nothing left behind.
TEST_F(AppEntryTest, EveryAllocationFailureOfABackupIsSurvived) {
  fs0.WriteFile(u"t.bin", kTableFile);
  size_t failures = 0;
  size_t runs = ForEachFailingAllocation([&](size_t) {
    if (fs0.Exists(u"o.vkf")) fs0.Remove(u"o.vkf");
    EFI_STATUS status = Run({u"/q", u"/smbios:t.bin", u"o.vkf"});
    EXPECT_EQ(File(u"t.bin"), kTableFile);
    if (status == EFI_SUCCESS) {
      EXPECT_EQ(File(u"o.vkf"), kBackup) << "reported success";
    } else if (Out() == kOutOfMemory) {
      ++failures;
    }
  });
  EXPECT_GT(runs, 10u);
  EXPECT_GT(failures, 0u);
  EXPECT_EQ(last.Status, EFI_SUCCESS);
  EXPECT_EQ(File(u"o.vkf"), kBackup);
}

// A power cut after every call of a run (over an old VKF file, and to a new
// name), then after every call of the next run, whose dump has no field so
// that only its recovery acts; a last run converts. After each run the dump
// is whole, the VKF name holds a whole VKF file, or none while the old one
// is aside (or there was none), and the last run leaves only the new one.
TEST_F(AppEntryTest, EveryPowerCutLeavesAWholeVkfAndTheNextRunsFinish) {
  for (bool withOld : {true, false}) {
    // Runs as a new start of the image does, cut after Calls calls.
    auto cutRun = [&](const std::u16string& Dump, size_t Calls) {
      fake::ResetLibraryGlobals();
      fake::AttachLibrary(fw);
      fs.CutPowerAfter(Calls);
      Run({u"/q", Dump, u"o.vkf"});
      const bool cut = fs.PowerIsCut();
      fs.RestorePower();
      const std::optional<std::string> vkf = File(u"o.vkf");
      EXPECT_EQ(File(u"d.txt"), kDump);
      EXPECT_TRUE(vkf == kConverted || vkf == kOldVkf || (!vkf && (!withOld || File(u"o.vkf.qvx-old") == kOldVkf)));
      return cut;
    };
    bool firstCut = true;
    for (size_t first = 0; firstCut && !HasFailure(); ++first) {
      bool secondCut = true;
      for (size_t second = 0; secondCut && !HasFailure(); ++second) {
        SCOPED_TRACE("cut after " + std::to_string(first) + " calls, then " + std::to_string(second));
        for (const std::u16string& name : fs0.List()) fs0.Remove(name);
        WithFiles({{u"d.txt", kDump}})(*this);
        if (withOld) fs0.WriteFile(u"o.vkf", kOldVkf);
        firstCut = cutRun(u"d.txt", first);
        secondCut = cutRun(u"e.txt", second);
        cutRun(u"d.txt", 1u << 30);
        RootIs({{u"d.txt", kDump}, {u"e.txt", kNoFieldDump}, {u"o.vkf", kConverted}})(*this);
      }
    }
  }
}

// ---- The same conversions as qorvexw ----

#ifdef QORVEXW_PROGRAM
constexpr const char* kQorvexwProgram = QORVEXW_PROGRAM;
#else
constexpr const char* kQorvexwProgram = nullptr;  // not part of this build
#endif

std::string ReadWhole(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ConsoleRun {
  int ExitCode = -1;
  std::string Out;
  std::optional<std::string> Vkf;
};

// Runs qorvexw on Dump in a fresh temporary directory.
ConsoleRun RunQorvexw(const std::string& Dump, bool Quiet) {
  char folder[] = "/tmp/qorvex-app-XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  std::ofstream(dir + "/d.txt", std::ios::binary) << Dump;
  const std::string command =
      "cd '" + dir + "' && '" + kQorvexwProgram + "' d.txt o.vkf" + (Quiet ? " /q" : "") + " > out.txt";
  ConsoleRun run;
  int raw = std::system(command.c_str());
  run.ExitCode = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.Out = ReadWhole(dir + "/out.txt");
  if (access((dir + "/o.vkf").c_str(), F_OK) == 0) run.Vkf = ReadWhole(dir + "/o.vkf");
  int removed = std::system(("rm -rf '" + dir + "'").c_str());
  (void)removed;
  return run;
}

std::string Utf16(const std::u16string& Text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : Text) {
    bytes.push_back(char(unit & 0xFF));
    bytes.push_back(char(unit >> 8));
  }
  return bytes;
}

std::u16string Widen8(const std::string& Text) { return std::u16string(Text.begin(), Text.end()); }

// Dumps from a seeded generator: field lines of every code in mixed case,
// values with quotes, '%' and trailing h, headings, near misses, long lines,
// LF and CR LF ends, with and without a last line end.
std::vector<std::string> GeneratedCodes() {
  std::vector<std::string> codes = {"XX", "ABCDEF", "", "OS 1"};  // no field codes
  for (const FieldRow* row = FieldTable; row->type != kNoSectionType; ++row) codes.push_back(row->code);
  return codes;
}

std::string GeneratedDump(unsigned Seed) {
  static const std::vector<std::string> kCodes = GeneratedCodes();
  std::mt19937 random(Seed);
  auto pick = [&](size_t n) { return size_t(random() % n); };
  std::string dump;
  for (size_t line = 0, lines = 5 + pick(40); line < lines; ++line) {
    std::string code = kCodes[pick(kCodes.size())];
    for (char& c : code) c = pick(3) == 0 ? char(std::tolower(c)) : c;
    std::string value;
    for (size_t i = 0, length = pick(8) == 0 ? 200 + pick(100) : pick(30); i < length; ++i) {
      value.push_back(" aZ09-\".h%"[pick(10)]);
    }
    if (pick(6) == 0) {
      dump += pick(2) == 0 ? "  Heading" : "(/SS)\"ab\"";
    } else {
      dump += std::string(pick(3), ' ') + "(/" + code + ")Label" + std::string(pick(20), ' ') + "\"" + value +
              (pick(3) == 0 ? "h\"" : "\"") + (pick(4) == 0 ? " tail" : "");
    }
    if (line + 1 < lines || pick(2) == 0) dump += pick(3) == 0 ? "\n" : "\r\n";
  }
  return dump;
}

struct SameAsConsoleCase {
  std::string Name;
  std::string Dump;
};

void PrintTo(const SameAsConsoleCase& c, std::ostream* os) { *os << c.Name; }

std::vector<SameAsConsoleCase> SameAsConsoleCases() {
  const std::string source = QORVEX_SOURCE_DIR;
  std::vector<SameAsConsoleCase> cases = {
      {"Sample", ReadWhole(source + "/examples/sample-dump.txt")},
      {"SampleUtf16", ReadWhole(source + "/examples/sample-dump-utf16.txt")},
      {"FirmwareDump8", ReadWhole(source + "/tests/e2e/data/d8.txt")},
      {"FirmwareDump16", ReadWhole(source + "/tests/e2e/data/d16.txt")},
      {"Empty", ""},
      {"OneByte", "("},
      {"MarkOnly", "\xFF\xFE"},
      {"NoFieldLines", "hello\r\nworld\r\n"},
      {"SectionsComeBack", "(/IVN)x \"a\"\r\n(/SM)x \"b\"\r\n(/IV)x \"c\"\r\n(/OS)x \"d\"\r\n"},
      {"LowerCaseCode", "(/sm)x \"Maker\"\r\n(/ss)x \"1234h\"\r\n(/SM)x \"1234h\"\r\n"},
      {"QuotesInValue", "(/SS)\"A\"B\"\r\n(/SP)x \"\"\r\n"},
      {"NoLastLineEnd", "(/SM)x \"a\"\r\n(/SP)x \"b\""},
      {"Line255", "(/SP)\"" + std::string(248, 'p') + "\"\r\n(/SM)x \"after\"\r\n"},
      {"LineOver255", "(/SP)\"" + std::string(300, 'p') + "\"\r\n(/SM)x \"after\"\r\n"},
      {"LongestRecord", "(/BLC)\"" + std::string(247, 'l') + "\"\r\n"},
      {"Utf8Mark", "\xEF\xBB\xBF(/SM)x \"first\"\r\n(/SM)x \"second\"\r\n"},
      {"HighBytes", "(/SM)x \"Caf\xE9 \xFF\"\r\n"},
      {"Utf16LongLines", Utf16(Widen8("(/SP)x \"" + std::string(200, 'q') + "\"\r\n(/SM)x \"" + std::string(90, 'm') +
                                      "\"\r\n(/SK)x \"sk\"\n"))},
      {"Utf16WideCharacters", Utf16(u"(/SM)x \"Caf\u00E9 \u4E2D \u20AC\"\r\n(/SS)x \"\u0141h\"\r\n")},
  };
  for (unsigned seed = 1; seed <= 12; ++seed) {
    std::string dump = GeneratedDump(seed);
    cases.push_back({"Generated" + std::to_string(seed), seed % 2 == 0 ? Utf16(Widen8(dump)) : dump});
  }
  return cases;
}

class SameAsConsoleTest : public AppEntryTest, public ::testing::WithParamInterface<SameAsConsoleCase> {};

TEST_P(SameAsConsoleTest, WritesAndPrintsWhatQorvexwDoes) {
  if (kQorvexwProgram == nullptr) GTEST_SKIP() << "qorvexw is not built, so there is nothing to compare with";
  const SameAsConsoleCase& c = GetParam();
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "not quiet");
    ConsoleRun console = RunQorvexw(c.Dump, quiet);
    ASSERT_TRUE(console.ExitCode == 0 || console.ExitCode == 1);
    fake::ResetLibraryGlobals();
    fake::AttachLibrary(fw);
    fw.ConOut().Clear();
    fs0.WriteFile(u"d.txt", c.Dump);
    if (fs0.Exists(u"o.vkf")) fs0.Remove(u"o.vkf");
    std::vector<std::u16string> args = {u"d.txt", u"o.vkf"};
    if (quiet) args.push_back(u"/q");
    EFI_STATUS status = Run(args);
    // A dump in which qorvexw finds no record fails here, naming the dump,
    // and leaves no VKF file (what qorvexw does then is its own tests' part).
    if (status != EFI_SUCCESS) {
      EXPECT_TRUE(!console.Vkf.has_value() || console.Vkf->empty());
      EXPECT_EQ(status, EFI_ABORTED);
      const std::string message = NoField("d.txt");
      EXPECT_EQ(Out().substr(Out().size() - std::min(Out().size(), message.size())), message);
      EXPECT_FALSE(fs0.Exists(u"o.vkf"));
      continue;
    }
    EXPECT_EQ(console.ExitCode, 0);
    EXPECT_EQ(Out(), console.Out);
    EXPECT_EQ(File(u"o.vkf"), console.Vkf);
  }
  fs0.WriteFile(u"d.txt", kDump);
}

INSTANTIATE_TEST_SUITE_P(Dumps, SameAsConsoleTest, ::testing::ValuesIn(SameAsConsoleCases()),
                         [](const ::testing::TestParamInfo<SameAsConsoleCase>& info) { return info.param.Name; });

}  // namespace
