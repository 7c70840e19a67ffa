#include "MachineSource.h"

#include "FileIO.h"
#include "IO.h"
#include "Init.h"
#include "MachineTable.h"
#include "Mem.h"
#include "Messages.h"
#include "Str.h"
#include "UefiBinding.h"
#include "VkfOutput.h"
#include "qorvex_version.h"
#include "table_backup.h"
#include "table_verify.h"

// A mode flag excludes the other mode flags. The ":" forms are matched as
// typed, so each comes in lower and upper case; the upper-case one excludes
// its lower-case twin as well, so that no mode is given twice.
const FlagCheckItem MachineFlagTable[] = {
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

constexpr UINT32 kQuietBit = 0x1;
constexpr UINT32 kBackupBits = 0x2 | 0x4;

enum MachineMode { ModeBackup, ModeVerify };

// What a run holds; CleanUp releases all of it.
struct MachineRun {
  CheckPackage Package;
  const CHAR16* Useful;
  MachineMode Mode;
  const CHAR16* TableName;  // null: the firmware's table
  const CHAR16* VkfName;
  bool Quiet;
  EFI_FILE_PROTOCOL* TableFile;
  UINT8* TableBytes;
  SmbiosTable Table;
  VkfOutput Output;        // the backup's new VKF file
  EFI_FILE_PROTOCOL* Vkf;  // the VKF file verify reads
};

// An argument the shell marks as quoted or escaped is a plain argument.
bool TypedAsPlain(const EFI_SHELL_INTERFACE* Shell, UINTN Index) {
  if (Shell->ArgInfo == nullptr) return false;
  const UINT32 info = Shell->ArgInfo[Index].Attributes;
  if ((info & ARG_IS_QUOTED) != 0 && (info & ARG_PARTIALLY_QUOTED) == 0) return true;
  return (info & (ARG_FIRST_HALF_QUOTED | ARG_FIRST_CHAR_IS_ESC)) != 0;
}

const FlagCheckItem* ItemOf(const CHAR16* Arg) {
  for (const FlagCheckItem* item = MachineFlagTable; item->FlagText != nullptr; ++item) {
    const bool match = item->Kind == KindJoinedValue ? LibFlagPrefixMatch(item->FlagText, Arg)
                                                     : Str16CompareNoCase(Arg, item->FlagText) == 0;
    if (match) return item;
  }
  return nullptr;
}

EFI_STATUS Failed(MessageToken Token, EFI_STATUS Status) {
  PrintMessageByToken(Token, AppHiiHandle);
  return Status;
}

EFI_STATUS FailedWithName(MessageToken Token, const CHAR16* Name, EFI_STATUS Status) {
  PrintMessageByToken(Token, AppHiiHandle, Name);
  return Status;
}

// The mode, its table file and the quiet switch from the accepted flags.
void TakeFlags(MachineRun* Run) {
  for (const ArgNode* node = Run->Package.Flags; node != nullptr; node = node->Next) {
    const FlagCheckItem* item = ItemOf(node->Name);
    if (item == nullptr) continue;
    if (item->Bit == kQuietBit) {
      Run->Quiet = true;
      continue;
    }
    Run->Mode = (item->Bit & kBackupBits) != 0 ? ModeBackup : ModeVerify;
    if (item->Kind == KindJoinedValue) Run->TableName = node->Value;
  }
}

EFI_STATUS ReadModeLine(MachineRun* Run) {
  FlagCheckResult result = LibCheckFlags(LibShellInterface, MachineFlagTable, &Run->Package, &Run->Useful);
  if (result != FlagCheckOk) return PrintFlagError(result, Run->Useful);
  TakeFlags(Run);
  if (!Run->Quiet) {
    LibPrintConsole(u"QORVEX ver %d.%d.%d\r\n", UINTN{QORVEX_VERSION_MAJOR}, UINTN{QORVEX_VERSION_MINOR},
                    UINTN{QORVEX_VERSION_PATCH});
  }
  if (Run->Package.ArgCount < 1) return Failed(TokenMissingVkfName, EFI_INVALID_PARAMETER);
  Run->VkfName = Run->Package.PlainArgs->Value;
  return EFI_SUCCESS;
}

EFI_STATUS LoadTable(MachineRun* Run) {
  if (Run->TableName == nullptr) {
    EFI_STATUS status = FindFirmwareTable(LibSystemTable, &Run->Table);
    if (status == EFI_NOT_FOUND) return Failed(TokenNoSmbiosTable, status);
    if (EFI_ERROR(status)) return FailedWithName(TokenNoEntryPoint, u"SMBIOS configuration table", status);
    return EFI_SUCCESS;
  }
  EFI_STATUS status = FileOpenByName(Run->TableName, &Run->TableFile, kOpenForReading, 0);
  if (EFI_ERROR(status)) return FailedWithName(TokenOpenFailed, Run->TableName, status);
  status = LoadTableFile(Run->TableFile, &Run->TableBytes, &Run->Table);
  if (status == EFI_CRC_ERROR) return FailedWithName(TokenNoEntryPoint, Run->TableName, status);
  if (status == EFI_OUT_OF_RESOURCES) return Failed(TokenOutOfMemory, status);
  if (status == EFI_LOAD_ERROR) return FailedWithName(TokenOpenFailed, Run->TableName, status);
  if (EFI_ERROR(status)) return FailedWithName(TokenReadFailed, Run->TableName, status);
  return EFI_SUCCESS;
}

// Begins the new VKF file, which may not replace the table file itself.
EFI_STATUS BeginVkf(MachineRun* Run) {
  return VkfOutputBegin(&Run->Output, Run->VkfName, Run->TableName, Run->TableFile);
}

void PrintLineBreak(void*, const char* Section, const char* Key) {
  LibPrintConsole(u"Warning: [%a] %a holds a line break: a blank stands in its place\r\n", Section, Key);
}

void PrintCutShort(void*, size_t Offset) {
  LibPrintConsole(u"Warning: The SMBIOS table is damaged at byte %d: the fields from there on are missing\r\n",
                  UINTN{Offset});
}

// Writes the records into the new file and puts it in place; on a failure
// the clean-up deletes it, and the VKF name stays as it was.
EFI_STATUS WriteBackup(MachineRun* Run) {
  CoreStream vkf = MakeFileStream(Run->Output.File);
  ConsoleOps console = MakeShellConsole();
  const TableNotices notices = {PrintLineBreak, PrintCutShort, nullptr};
  BackupResult result = run_table_backup(&Run->Table, &vkf, Run->Quiet, &console, &notices);
  switch (result.outcome) {
    case BackupNoField: return Failed(TokenNoTableField, EFI_NOT_FOUND);
    case BackupOutOfMemory: return Failed(TokenOutOfMemory, EFI_OUT_OF_RESOURCES);
    case BackupWriteFailed: return FailedWithName(TokenWriteFailed, Run->VkfName, result.write_status);
    case BackupValueTooLong:
      PrintMessageByToken(TokenValueTooLong, AppHiiHandle, find_section(result.field->type)->name, result.field->key);
      return EFI_BAD_BUFFER_SIZE;
    case BackupCompleted: break;
  }
  EFI_STATUS status = VkfOutputCommit(&Run->Output);
  if (EFI_ERROR(status)) return status;
  if (!Run->Quiet) console.done(console.context);
  return EFI_SUCCESS;
}

EFI_STATUS OpenVkfForReading(MachineRun* Run) {
  EFI_STATUS status = FileOpenByName(Run->VkfName, &Run->Vkf, kOpenForReading, 0);
  if (EFI_ERROR(status)) return FailedWithName(TokenOpenFailed, Run->VkfName, status);
  return EFI_SUCCESS;
}

void PrintDifference(void*, const char* Section, const char* Key, const char* FileValue, const char* MachineValue) {
  if (MachineValue == nullptr) {
    LibPrintConsole(u"[%a] %a: file \"%a\", machine has none\r\n", Section, Key, FileValue);
    return;
  }
  LibPrintConsole(u"[%a] %a: file \"%a\", machine \"%a\"\r\n", Section, Key, FileValue, MachineValue);
}

EFI_STATUS Verify(MachineRun* Run) {
  CoreStream vkf = MakeFileStream(Run->Vkf);
  const VerifyReport report = {PrintDifference, nullptr};
  VerifyResult result = run_table_verify(&Run->Table, &vkf, &report);
  switch (result.outcome) {
    case VerifyReadError: return FailedWithName(TokenReadFailed, Run->VkfName, result.read_status);
    case VerifyNoField: return FailedWithName(TokenNoField, Run->VkfName, EFI_NOT_FOUND);
    case VerifyNotVkf:
      PrintMessageByToken(TokenNotVkfLine, AppHiiHandle, UINTN{result.line}, Run->VkfName);
      return EFI_LOAD_ERROR;
    case VerifyEqual:
    case VerifyDifferent: break;
  }
  LibPrintConsole(u"Compared %d fields, %d different\r\n", UINTN{result.compared}, UINTN{result.different});
  return result.outcome == VerifyEqual ? EFI_SUCCESS : EFI_COMPROMISED_DATA;
}

typedef EFI_STATUS (*MachineStep)(MachineRun*);

// The steps of each mode after the command line and the table; the first
// failing one ends the run with its status (it has printed its message).
constexpr MachineStep kBackupSteps[] = {BeginVkf, WriteBackup, nullptr};
constexpr MachineStep kVerifySteps[] = {OpenVkfForReading, Verify, nullptr};

EFI_STATUS RunSteps(MachineRun* Run) {
  EFI_STATUS status = ReadModeLine(Run);
  if (!EFI_ERROR(status)) status = LoadTable(Run);
  const MachineStep* steps = Run->Mode == ModeBackup ? kBackupSteps : kVerifySteps;
  for (; !EFI_ERROR(status) && *steps != nullptr; ++steps) status = (*steps)(Run);
  return status;
}

EFI_STATUS CleanUp(MachineRun* Run, EFI_STATUS Status) {
  LibFreeCheckPackage(&Run->Package);
  VkfOutputAbandon(&Run->Output);
  if (Run->Vkf != nullptr) FileClose(Run->Vkf);
  if (Run->TableFile != nullptr) FileClose(Run->TableFile);
  if (Run->TableBytes != nullptr) ReleasePool(Run->TableBytes);
  return Status;
}

}  // namespace

bool MachineModeRequested(const EFI_SHELL_INTERFACE* Shell) {
  for (UINTN i = 1; i < Shell->Argc; ++i) {
    if (TypedAsPlain(Shell, i)) continue;
    const FlagCheckItem* item = ItemOf(Shell->Argv[i]);
    if (item != nullptr && item->Bit != kQuietBit) return true;
  }
  return false;
}

EFI_STATUS RunMachineMode() {
  MachineRun run = {};
  return CleanUp(&run, RunSteps(&run));
}
