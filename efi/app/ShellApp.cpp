#include "ShellApp.h"

#include "FileIO.h"
#include "HiiSupport.h"
#include "IO.h"
#include "Init.h"
#include "MachineSource.h"
#include "Mem.h"
#include "Messages.h"
#include "UefiBinding.h"
#include "VkfOutput.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "qorvex_version.h"
#include "run_state.h"

// The flags of every job. The help rows come first, so that a mode's check
// can leave them out (kModeFlags): "/?" is refused beside a mode flag. A mode
// flag excludes the other mode flags. The ":" forms are matched as typed, so
// each comes in lower and upper case; the upper-case one excludes its
// lower-case twin as well, so that no mode is given twice.
const FlagCheckItem AppFlagTable[] = {
    {u"/?", 0x20, 0, KindSwitch},
    {u"-?", 0x20, 0, KindSwitch},
    {u"/q", 0x1, 0, KindSwitch},
    {u"/smbios", 0x2, 0x1C, KindSwitch},
    {u"/smbios:", 0x4, 0x1A, KindJoinedValue},
    {u"/SMBIOS:", 0x4, 0x1E, KindJoinedValue},
    {u"/verify", 0x8, 0x16, KindSwitch},
    {u"/verify:", 0x10, 0x0E, KindJoinedValue},
    {u"/VERIFY:", 0x10, 0x1E, KindJoinedValue},
    {nullptr, 0, 0, KindSwitch},
};

namespace {

constexpr const FlagCheckItem* kModeFlags = AppFlagTable + 2;
constexpr UINT32 kHelpBit = 0x20;
constexpr UINT32 kQuietBit = 0x1;
constexpr UINT32 kBackupBits = 0x2 | 0x4;
constexpr UINT32 kVerifyBits = 0x8 | 0x10;

constexpr UINTN kVersionMajor = QORVEX_VERSION_MAJOR;
constexpr UINTN kVersionMinor = QORVEX_VERSION_MINOR;
constexpr UINTN kVersionPatch = QORVEX_VERSION_PATCH;

// The usage block that "/?" and "-?" print behind the banner, one line
// per row.
constexpr const CHAR16* kUsageLines[] = {
    u"Usage: qorvex <dump file> <VKF file> [/q]\r\n",
    u"       qorvex /smbios[:<table file>] <VKF file> [/q]\r\n",
    u"       qorvex /verify[:<table file>] <VKF file> [/q]\r\n",
    u"Converts the DMI editor's dump file into a VKF setting file.\r\n",
    u"  /smbios  back up the firmware's SMBIOS table (or a dmidecode --dump-bin file) into it\r\n",
    u"  /verify  compare the firmware's SMBIOS table with it\r\n",
    u"  /q   print nothing but error messages\r\n",
    u"Status: EFI_SUCCESS when the VKF file was written, an error status otherwise (echo %lasterror%).\r\n",
    u"EFI_COMPROMISED_DATA when verify found a difference.\r\n",
    u"Example: qorvex board.txt board.vkf\r\n",
};

enum AppJob { JobConvert, JobBackup, JobVerify };

// What the entry holds; CleanUp releases all of it.
struct AppRun {
  CheckPackage Package;
  const CHAR16* Useful;  // the argument a flag error is about
  AppJob Job;
  bool Quiet;                // "/q": the banner and the run's lines are not printed
  bool Help;                 // "/?" or "-?": the banner and the usage, nothing else
  const CHAR16* SourceName;  // the dump, or the table file (null: the firmware's table)
  const CHAR16* VkfName;
  char* LineBuffer;               // the conversion's
  EFI_FILE_PROTOCOL* SourceFile;  // the open dump or table file
  UINT8* TableBytes;              // the table file's bytes
  SmbiosTable Table;
  VkfOutput Vkf;               // the new VKF file of a conversion or a backup
  EFI_FILE_PROTOCOL* VkfRead;  // the VKF file verify reads
};

// A mode flag typed as a flag (not quoted, not escaped) anywhere on the line
// makes the run a mode's; which one, the flag check's result tells.
bool ModeFlagTyped(const EFI_SHELL_INTERFACE* Shell) {
  for (UINTN i = 1; i < Shell->Argc; ++i) {
    if (LibIsPlainArgument(Shell, i, Shell->Argv[i])) continue;
    const FlagCheckItem* item = LibFindFlagItem(kModeFlags, Shell->Argv[i]);
    if (item != nullptr && item->Bit != kQuietBit) return true;
  }
  return false;
}

// The job, its table file, help and the quiet switch from the accepted flags.
void TakeFlags(AppRun* Run) {
  for (const ArgNode* node = Run->Package.Flags; node != nullptr; node = node->Next) {
    const FlagCheckItem* item = LibFindFlagItem(AppFlagTable, node->Name);
    if (item == nullptr) continue;
    Run->Help |= item->Bit == kHelpBit;
    Run->Quiet |= item->Bit == kQuietBit;
    if ((item->Bit & kBackupBits) != 0) Run->Job = JobBackup;
    if ((item->Bit & kVerifyBits) != 0) Run->Job = JobVerify;
    if (item->Kind == KindJoinedValue) Run->SourceName = node->Value;
  }
}

void PrintBanner() { LibPrintConsole(u"QORVEX ver %d.%d.%d\r\n", kVersionMajor, kVersionMinor, kVersionPatch); }

// The banner and the usage block; the run ends there, successfully.
void PrintHelp() {
  PrintBanner();
  for (const CHAR16* line : kUsageLines) LibPrintConsole(u"%s", line);
}

EFI_STATUS NamesMissing(MessageToken Token) {
  PrintMessageByToken(Token, AppHiiHandle);
  return EFI_INVALID_PARAMETER;
}

// Reads the command line once: the flag check, the job, help, the quiet
// switch, the banner and the file names.
EFI_STATUS ReadCommandLine(AppRun* Run) {
  const FlagCheckItem* flags = ModeFlagTyped(LibShellInterface) ? kModeFlags : AppFlagTable;
  FlagCheckResult result = LibCheckFlags(LibShellInterface, flags, &Run->Package, &Run->Useful);
  if (result != FlagCheckOk) return PrintFlagError(result, Run->Useful);
  TakeFlags(Run);
  if (Run->Help) {
    PrintHelp();
    return EFI_SUCCESS;
  }
  if (!Run->Quiet) PrintBanner();
  const ArgNode* plain = Run->Package.PlainArgs;
  if (Run->Job != JobConvert) {
    if (Run->Package.ArgCount < 1) return NamesMissing(TokenMissingVkfName);
    Run->VkfName = plain->Value;
    return EFI_SUCCESS;
  }
  if (Run->Package.ArgCount < 2) return NamesMissing(TokenMissingFileNames);
  Run->SourceName = plain->Value;
  Run->VkfName = plain->Next->Value;
  return EFI_SUCCESS;
}

// Prints the open message with the file's name and passes Status on.
EFI_STATUS OpenFailed(const CHAR16* Name, EFI_STATUS Status) {
  PrintMessageByToken(TokenOpenFailed, AppHiiHandle, Name);
  return Status;
}

EFI_STATUS AllocateLineBuffer(AppRun* Run) {
  Run->LineBuffer = static_cast<char*>(alloc_zeroed(kLineBufferSize));
  if (Run->LineBuffer != nullptr) return EFI_SUCCESS;
  PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS OpenDump(AppRun* Run) {
  EFI_FILE_PROTOCOL* dump = nullptr;
  EFI_STATUS status = FileOpenByName(Run->SourceName, &dump, kOpenForReading, 0);
  if (EFI_ERROR(status)) return OpenFailed(Run->SourceName, status);
  Run->SourceFile = dump;
  if (!FileIsPlain(dump)) return OpenFailed(Run->SourceName, EFI_LOAD_ERROR);
  return EFI_SUCCESS;
}

// The message and status of a conversion that failed: the dump is named for
// a failure to read it or to find a field in it, the VKF file for a failed
// write.
EFI_STATUS RunFailed(const AppRun* Run, const RunResult& Result) {
  switch (Result.outcome) {
    case RunReadError: PrintMessageByToken(TokenReadFailed, AppHiiHandle, Run->SourceName); return Result.read_status;
    case RunDumpTooShort:
    case RunNoFields: PrintMessageByToken(TokenNoField, AppHiiHandle, Run->SourceName); return EFI_ABORTED;
    case RunWriteError: PrintMessageByToken(TokenWriteFailed, AppHiiHandle, Run->VkfName); return Result.write_status;
    case RunOutOfMemory: PrintMessageByToken(TokenOutOfMemory, AppHiiHandle); return EFI_OUT_OF_RESOURCES;
    case RunCompleted: break;
  }
  return EFI_SUCCESS;
}

// Writes a job's records into the VKF file; prints the message of a failure.
typedef EFI_STATUS (*RecordWriter)(AppRun* Run, CoreStream* Vkf, ConsoleOps* Console);

EFI_STATUS ConvertRecords(AppRun* Run, CoreStream* Vkf, ConsoleOps* Console) {
  CoreStream dump = MakeFileStream(Run->SourceFile);
  RunResult result = run_conversion(&dump, Vkf, Run->LineBuffer, Run->Quiet, Console);
  return result.outcome == RunCompleted ? EFI_SUCCESS : RunFailed(Run, result);
}

EFI_STATUS BackupRecords(AppRun* Run, CoreStream* Vkf, ConsoleOps* Console) {
  return WriteTableBackup(&Run->Table, Vkf, Console, Run->Quiet, Run->VkfName);
}

// Writes the VKF file of a conversion or a backup: a new file, which may not
// replace the source, takes the records and is put in place. A job stops at
// its first failure, and the clean-up then deletes the new file, so that an
// incomplete VKF file never takes the place of a good one; "Done!" comes
// only once the file is in place.
EFI_STATUS WriteVkf(AppRun* Run, RecordWriter Write) {
  EFI_STATUS status = VkfOutputBegin(&Run->Vkf, Run->VkfName, Run->SourceName, Run->SourceFile);
  if (EFI_ERROR(status)) return status;
  CoreStream vkf = MakeFileStream(Run->Vkf.File);
  ConsoleOps console = MakeShellConsole();
  status = Write(Run, &vkf, &console);
  if (EFI_ERROR(status)) return status;
  status = VkfOutputCommit(&Run->Vkf);
  if (EFI_ERROR(status)) return status;
  if (!Run->Quiet) console.done(console.context);
  return EFI_SUCCESS;
}

EFI_STATUS Convert(AppRun* Run) { return WriteVkf(Run, ConvertRecords); }
EFI_STATUS BackUp(AppRun* Run) { return WriteVkf(Run, BackupRecords); }

EFI_STATUS LoadTable(AppRun* Run) {
  return LoadMachineTable(Run->SourceName, &Run->SourceFile, &Run->TableBytes, &Run->Table);
}

EFI_STATUS Verify(AppRun* Run) { return VerifyTable(&Run->Table, Run->VkfName, &Run->VkfRead); }

typedef EFI_STATUS (*AppStep)(AppRun*);

// The steps of each job after the command line, in order; the first failing
// one ends the run with its status (it has printed its message).
constexpr AppStep kJobSteps[][4] = {
    {AllocateLineBuffer, OpenDump, Convert, nullptr},  // JobConvert
    {LoadTable, BackUp, nullptr},                      // JobBackup
    {LoadTable, Verify, nullptr},                      // JobVerify
};

EFI_STATUS RunSteps(AppRun* Run) {
  EFI_STATUS status = ReadCommandLine(Run);
  if (EFI_ERROR(status) || Run->Help) return status;
  for (const AppStep* step = kJobSteps[Run->Job]; !EFI_ERROR(status) && *step != nullptr; ++step) status = (*step)(Run);
  return status;
}

// Releases what the run holds, in this order: the check package, the line
// buffer, the source file, then the new VKF file is deleted unless it was
// put in place (an old one closed as it is), the VKF file verify read and
// the table file's bytes.
EFI_STATUS CleanUp(AppRun* Run, EFI_STATUS Status) {
  LibFreeCheckPackage(&Run->Package);
  if (Run->LineBuffer != nullptr) release_memory(Run->LineBuffer);
  if (Run->SourceFile != nullptr) FileClose(Run->SourceFile);
  VkfOutputAbandon(&Run->Vkf);
  if (Run->VkfRead != nullptr) FileClose(Run->VkfRead);
  if (Run->TableBytes != nullptr) ReleasePool(Run->TableBytes);
  return Status;
}

}  // namespace

// Where a UEFI 2.x shell script finds the full status (%qorvexstatus%).
constexpr CHAR16 kStatusVariable[] = u"qorvexstatus";

extern "C" EFI_STATUS EFIAPI ShellAppEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  AppRun run = {};
  if (EFI_ERROR(InitShellApp(ImageHandle, SystemTable))) return EFI_ABORTED;
  AppBootServices = SystemTable->BootServices;
  EFI_STATUS status = LibRegisterAppStrings(&AppHiiHandle, MessageStringPackage.Bytes, &kQorvexAppGuid);
  if (EFI_ERROR(status)) return LibEndShellApp(kStatusVariable, status);
  // When this fails the list stays as the shell gave it, which still works.
  LibDropEmptyArgs();
  return LibEndShellApp(kStatusVariable, CleanUp(&run, RunSteps(&run)));
}
