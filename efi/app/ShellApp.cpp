#include "ShellApp.h"

#include "FileIO.h"
#include "HiiSupport.h"
#include "IO.h"
#include "Init.h"
#include "MachineSource.h"
#include "Mem.h"
#include "Messages.h"
#include "SameFile.h"
#include "UefiBinding.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "qorvex_version.h"
#include "run_state.h"

const FlagCheckItem AppFlagTable[] = {
    {u"/q", 0x1, 0, KindSwitch},
    {nullptr, 0, 0, KindSwitch},
};

namespace {

constexpr UINTN kVersionMajor = QORVEX_VERSION_MAJOR;
constexpr UINTN kVersionMinor = QORVEX_VERSION_MINOR;
constexpr UINTN kVersionPatch = QORVEX_VERSION_PATCH;

// What the entry holds; CleanUp releases all of it.
struct AppRun {
  CheckPackage Package;
  const CHAR16* Useful;  // the argument a flag error is about
  const CHAR16* DumpName;
  const CHAR16* VkfName;
  char* LineBuffer;
  EFI_FILE_PROTOCOL* Dump;
  EFI_FILE_PROTOCOL* Vkf;
  bool Quiet;  // "/q": the banner and the run's lines are not printed
};

// Prints the open message with the file's name and passes Status on.
EFI_STATUS OpenFailed(const CHAR16* Name, EFI_STATUS Status) {
  PrintMessageByToken(TokenOpenFailed, AppHiiHandle, Name);
  return Status;
}

// True when the file's information can be had and it is not a directory;
// *Size is then its size in bytes.
bool QueryPlainFile(EFI_FILE_PROTOCOL* File, UINT64* Size) {
  EFI_FILE_INFO* info = FileQueryInfo(File);
  if (info == nullptr) return false;
  const bool plain = (info->Attribute & EFI_FILE_DIRECTORY) == 0;
  *Size = info->FileSize;
  ReleasePool(info);
  return plain;
}

// The flag check, the quiet switch, the banner and the two file names.
EFI_STATUS ReadCommandLine(AppRun* Run) {
  FlagCheckResult result = LibCheckFlags(LibShellInterface, AppFlagTable, &Run->Package, &Run->Useful);
  if (result != FlagCheckOk) return PrintFlagError(result, Run->Useful);
  Run->Quiet = LibFindFlag(&Run->Package, u"/q") != nullptr;
  if (!Run->Quiet) LibPrintConsole(u"QORVEX ver %d.%d.%d\r\n", kVersionMajor, kVersionMinor, kVersionPatch);
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
  UINT64 size = 0;
  if (!QueryPlainFile(dump, &size)) return OpenFailed(Run->DumpName, EFI_LOAD_ERROR);
  return EFI_SUCCESS;
}

// Deletes an existing VKF file so that it is created anew. A VKF name that
// names the dump itself is refused before anything is deleted.
EFI_STATUS DeleteOldVkf(AppRun* Run) {
  EFI_FILE_PROTOCOL* old = nullptr;
  EFI_STATUS status = FileOpenByName(Run->VkfName, &old, kOpenForWriting, 0);
  if (status == EFI_NOT_FOUND) return EFI_SUCCESS;
  if (EFI_ERROR(status)) return OpenFailed(Run->VkfName, status);
  Run->Vkf = old;
  UINT64 size = 0;
  if (!QueryPlainFile(old, &size)) return OpenFailed(Run->VkfName, EFI_ABORTED);
  // A comparison that cannot be made refuses as the dump would be refused.
  BOOLEAN same = TRUE;
  status = OpenFilesAreSame(Run->DumpName, Run->Dump, Run->VkfName, old, &same);
  if (EFI_ERROR(status) || same) return OpenFailed(Run->VkfName, EFI_ACCESS_DENIED);
  // The delete closes the handle whatever its outcome; a file it could not
  // delete is caught after the create.
  Run->Vkf = nullptr;
  FileDelete(old);
  return EFI_SUCCESS;
}

// Creates the VKF file. A file that is not empty afterwards is an old one
// that the delete left in place: writing into it would leave its old tail
// behind the new records, so it is refused untouched.
EFI_STATUS CreateVkf(AppRun* Run) {
  EFI_FILE_PROTOCOL* vkf = nullptr;
  EFI_STATUS status = FileOpenByName(Run->VkfName, &vkf, kOpenOrCreate, 0);
  if (EFI_ERROR(status)) return OpenFailed(Run->VkfName, status);
  Run->Vkf = vkf;
  UINT64 size = 0;
  if (!QueryPlainFile(vkf, &size)) return OpenFailed(Run->VkfName, EFI_LOAD_ERROR);
  if (size != 0) return OpenFailed(Run->VkfName, EFI_ACCESS_DENIED);
  return EFI_SUCCESS;
}

// Runs the conversion. A record that cannot be written or converted does
// not stop it, but the run fails, so that an incomplete VKF file does not
// pass for a converted one.
EFI_STATUS Convert(AppRun* Run) {
  CoreStream dump = MakeFileStream(Run->Dump);
  CoreStream vkf = MakeFileStream(Run->Vkf);
  ConsoleOps console = MakeShellConsole();
  RunResult result = run_conversion(&dump, &vkf, Run->LineBuffer, Run->Quiet, &console);
  switch (result.outcome) {
    case RunReadError:
      return result.read_status;
    case RunDumpTooShort:
      return EFI_ABORTED;
    case RunWriteError:
      return result.write_status;
    case RunOutOfMemory:
      PrintMessageByToken(TokenOutOfMemory, AppHiiHandle);
      return EFI_OUT_OF_RESOURCES;
    case RunCompleted:
    case RunNoFields:
      break;
  }
  if (!Run->Quiet) console.done(console.context);
  return EFI_SUCCESS;
}

// The steps after start-up, in order; the first failing one ends the run
// with its status (it has printed its message).
constexpr EFI_STATUS (*kSteps[])(AppRun*) = {
    ReadCommandLine, AllocateLineBuffer, OpenDump, DeleteOldVkf, CreateVkf, Convert,
};

EFI_STATUS RunSteps(AppRun* Run) {
  for (EFI_STATUS (*step)(AppRun*) : kSteps) {
    EFI_STATUS status = step(Run);
    if (EFI_ERROR(status)) return status;
  }
  return EFI_SUCCESS;
}

// Releases what the run holds, in this order: the check package, the line
// buffer, then the VKF file is flushed, the dump closed and the VKF file
// closed. A conversion whose final flush fails has not reached the disk, so
// the flush's status replaces its success.
EFI_STATUS CleanUp(AppRun* Run, EFI_STATUS Status) {
  LibFreeCheckPackage(&Run->Package);
  if (Run->LineBuffer != nullptr) release_memory(Run->LineBuffer);
  if (Run->Vkf != nullptr) {
    EFI_STATUS flushed = FileFlush(Run->Vkf);
    if (Status == EFI_SUCCESS && EFI_ERROR(flushed)) Status = flushed;
  }
  if (Run->Dump != nullptr) FileClose(Run->Dump);
  if (Run->Vkf != nullptr) FileClose(Run->Vkf);
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
