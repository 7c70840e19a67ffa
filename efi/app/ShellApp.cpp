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

const FlagCheckItem AppFlagTable[] = {
    {u"/q", 0x1, 0, KindSwitch},
    {u"/?", 0x2, 0, KindSwitch},
    {u"-?", 0x2, 0, KindSwitch},
    {nullptr, 0, 0, KindSwitch},
};

namespace {

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

// What the entry holds; CleanUp releases all of it.
struct AppRun {
  CheckPackage Package;
  const CHAR16* Useful;  // the argument a flag error is about
  const CHAR16* DumpName;
  const CHAR16* VkfName;
  char* LineBuffer;
  EFI_FILE_PROTOCOL* Dump;
  VkfOutput Vkf;
  bool Quiet;  // "/q": the banner and the run's lines are not printed
  bool Help;   // "/?" or "-?": the banner and the usage, nothing else
};

// Prints the open message with the file's name and passes Status on.
EFI_STATUS OpenFailed(const CHAR16* Name, EFI_STATUS Status) {
  PrintMessageByToken(TokenOpenFailed, AppHiiHandle, Name);
  return Status;
}

void PrintBanner() { LibPrintConsole(u"QORVEX ver %d.%d.%d\r\n", kVersionMajor, kVersionMinor, kVersionPatch); }

// The banner and the usage block; the run ends there, successfully.
void PrintHelp() {
  PrintBanner();
  for (const CHAR16* line : kUsageLines) LibPrintConsole(u"%s", line);
}

// The flag check, help, the quiet switch, the banner and the two file names.
EFI_STATUS ReadCommandLine(AppRun* Run) {
  FlagCheckResult result = LibCheckFlags(LibShellInterface, AppFlagTable, &Run->Package, &Run->Useful);
  if (result != FlagCheckOk) return PrintFlagError(result, Run->Useful);
  Run->Help = LibFindFlag(&Run->Package, u"/?") != nullptr || LibFindFlag(&Run->Package, u"-?") != nullptr;
  if (Run->Help) {
    PrintHelp();
    return EFI_SUCCESS;
  }
  Run->Quiet = LibFindFlag(&Run->Package, u"/q") != nullptr;
  if (!Run->Quiet) PrintBanner();
  if (Run->Package.ArgCount < 2) {
    PrintMessageByToken(TokenMissingFileNames, AppHiiHandle);
    return EFI_INVALID_PARAMETER;
  }
  Run->DumpName = Run->Package.PlainArgs->Value;
  Run->VkfName = Run->Package.PlainArgs->Next->Value;
  return EFI_SUCCESS;
}

EFI_STATUS AllocateLineBuffer(AppRun* Run) {
  Run->LineBuffer = static_cast<char*>(alloc_zeroed(kLineBufferSize));
  if (Run->LineBuffer != nullptr) return EFI_SUCCESS;
  PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS OpenDump(AppRun* Run) {
  EFI_FILE_PROTOCOL* dump = nullptr;
  EFI_STATUS status = FileOpenByName(Run->DumpName, &dump, kOpenForReading, 0);
  if (EFI_ERROR(status)) return OpenFailed(Run->DumpName, status);
  Run->Dump = dump;
  if (!FileIsPlain(dump)) return OpenFailed(Run->DumpName, EFI_LOAD_ERROR);
  return EFI_SUCCESS;
}

// Checks the VKF name and makes the new file that the run writes into.
EFI_STATUS BeginVkf(AppRun* Run) { return VkfOutputBegin(&Run->Vkf, Run->VkfName, Run->DumpName, Run->Dump); }

// The message and status of a run that failed: the dump is named for a
// failure to read it or to find a field in it, the VKF file for a failed
// write.
EFI_STATUS RunFailed(const AppRun* Run, const RunResult& Result) {
  switch (Result.outcome) {
    case RunReadError: PrintMessageByToken(TokenReadFailed, AppHiiHandle, Run->DumpName); return Result.read_status;
    case RunDumpTooShort:
    case RunNoFields: PrintMessageByToken(TokenNoField, AppHiiHandle, Run->DumpName); return EFI_ABORTED;
    case RunWriteError: PrintMessageByToken(TokenWriteFailed, AppHiiHandle, Run->VkfName); return Result.write_status;
    case RunOutOfMemory: PrintMessageByToken(TokenOutOfMemory, AppHiiHandle); return EFI_OUT_OF_RESOURCES;
    case RunCompleted: break;
  }
  return EFI_SUCCESS;
}

// Runs the conversion into the new file and puts it in place. The run stops
// at its first failure, and the new file then goes, so that an incomplete
// VKF file never takes the place of a good one; "Done!" comes only once the
// file is in place.
EFI_STATUS Convert(AppRun* Run) {
  CoreStream dump = MakeFileStream(Run->Dump);
  CoreStream vkf = MakeFileStream(Run->Vkf.File);
  ConsoleOps console = MakeShellConsole();
  RunResult result = run_conversion(&dump, &vkf, Run->LineBuffer, Run->Quiet, &console);
  if (result.outcome != RunCompleted) return RunFailed(Run, result);
  EFI_STATUS status = VkfOutputCommit(&Run->Vkf);
  if (EFI_ERROR(status)) return status;
  if (!Run->Quiet) console.done(console.context);
  return EFI_SUCCESS;
}

// The steps after start-up, in order; the first failing one ends the run
// with its status (it has printed its message), and help ends it at once.
constexpr EFI_STATUS (*kSteps[])(AppRun*) = {
    ReadCommandLine, AllocateLineBuffer, OpenDump, BeginVkf, Convert,
};

EFI_STATUS RunSteps(AppRun* Run) {
  for (EFI_STATUS (*step)(AppRun*) : kSteps) {
    EFI_STATUS status = step(Run);
    if (EFI_ERROR(status) || Run->Help) return status;
  }
  return EFI_SUCCESS;
}

// Releases what the run holds, in this order: the check package, the line
// buffer, the dump, then the new VKF file is deleted unless it was put in
// place, and an old one closed as it is.
EFI_STATUS CleanUp(AppRun* Run, EFI_STATUS Status) {
  LibFreeCheckPackage(&Run->Package);
  if (Run->LineBuffer != nullptr) release_memory(Run->LineBuffer);
  if (Run->Dump != nullptr) FileClose(Run->Dump);
  VkfOutputAbandon(&Run->Vkf);
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
  if (MachineModeRequested(LibShellInterface)) return LibEndShellApp(kStatusVariable, RunMachineMode());
  return LibEndShellApp(kStatusVariable, CleanUp(&run, RunSteps(&run)));
}
