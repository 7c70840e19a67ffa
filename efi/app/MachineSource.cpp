#include "MachineSource.h"

#include "FileIO.h"
#include "Globals.h"
#include "IO.h"
#include "MachineTable.h"
#include "Messages.h"
#include "UefiBinding.h"
#include "table_backup.h"
#include "table_verify.h"

namespace {

EFI_STATUS Failed(MessageToken Token, EFI_STATUS Status) {
  PrintMessageByToken(Token, AppHiiHandle);
  return Status;
}

EFI_STATUS FailedWithName(MessageToken Token, const CHAR16* Name, EFI_STATUS Status) {
  PrintMessageByToken(Token, AppHiiHandle, Name);
  return Status;
}

void PrintLineBreak(void*, const char* Section, const char* Key) {
  LibPrintConsole(u"Warning: [%a] %a holds a line break: a blank stands in its place\r\n", Section, Key);
}

void PrintCutShort(void*, size_t Offset) {
  LibPrintConsole(u"Warning: The SMBIOS table is damaged at byte %d: the fields from there on are missing\r\n",
                  UINTN{Offset});
}

void PrintDifference(void*, const char* Section, const char* Key, const char* FileValue, const char* MachineValue) {
  if (MachineValue == nullptr) {
    LibPrintConsole(u"[%a] %a: file \"%a\", machine has none\r\n", Section, Key, FileValue);
    return;
  }
  LibPrintConsole(u"[%a] %a: file \"%a\", machine \"%a\"\r\n", Section, Key, FileValue, MachineValue);
}

}  // namespace

EFI_STATUS LoadMachineTable(const CHAR16* TableName, EFI_FILE_PROTOCOL** TableFile, UINT8** TableBytes,
                            SmbiosTable* Table) {
  if (TableName == nullptr) {
    EFI_STATUS status = FindFirmwareTable(LibSystemTable, Table);
    if (status == EFI_NOT_FOUND) return Failed(TokenNoSmbiosTable, status);
    if (EFI_ERROR(status)) return FailedWithName(TokenNoEntryPoint, u"SMBIOS configuration table", status);
    return EFI_SUCCESS;
  }
  EFI_STATUS status = FileOpenByName(TableName, TableFile, kOpenForReading, 0);
  if (EFI_ERROR(status)) return FailedWithName(TokenOpenFailed, TableName, status);
  status = LoadTableFile(*TableFile, TableBytes, Table);
  if (status == EFI_CRC_ERROR) return FailedWithName(TokenNoEntryPoint, TableName, status);
  if (status == EFI_OUT_OF_RESOURCES) return Failed(TokenOutOfMemory, status);
  if (status == EFI_LOAD_ERROR) return FailedWithName(TokenOpenFailed, TableName, status);
  if (EFI_ERROR(status)) return FailedWithName(TokenReadFailed, TableName, status);
  return EFI_SUCCESS;
}

EFI_STATUS WriteTableBackup(const SmbiosTable* Table, CoreStream* Vkf, ConsoleOps* Console, bool Quiet,
                            const CHAR16* VkfName) {
  const TableNotices notices = {PrintLineBreak, PrintCutShort, nullptr};
  BackupResult result = run_table_backup(Table, Vkf, Quiet, Console, &notices);
  switch (result.outcome) {
    case BackupNoField: return Failed(TokenNoTableField, EFI_NOT_FOUND);
    case BackupOutOfMemory: return Failed(TokenOutOfMemory, EFI_OUT_OF_RESOURCES);
    case BackupWriteFailed: return FailedWithName(TokenWriteFailed, VkfName, result.write_status);
    case BackupValueTooLong:
      PrintMessageByToken(TokenValueTooLong, AppHiiHandle, find_section(result.field->type)->name, result.field->key);
      return EFI_BAD_BUFFER_SIZE;
    case BackupCompleted: break;
  }
  return EFI_SUCCESS;
}

EFI_STATUS VerifyTable(const SmbiosTable* Table, const CHAR16* VkfName, EFI_FILE_PROTOCOL** VkfFile) {
  EFI_STATUS status = FileOpenByName(VkfName, VkfFile, kOpenForReading, 0);
  if (EFI_ERROR(status)) return FailedWithName(TokenOpenFailed, VkfName, status);
  CoreStream vkf = MakeFileStream(*VkfFile);
  const VerifyReport report = {PrintDifference, nullptr};
  VerifyResult result = run_table_verify(Table, &vkf, &report);
  switch (result.outcome) {
    case VerifyReadError: return FailedWithName(TokenReadFailed, VkfName, result.read_status);
    case VerifyNoField: return FailedWithName(TokenNoField, VkfName, EFI_NOT_FOUND);
    case VerifyNotVkf:
      PrintMessageByToken(TokenNotVkfLine, AppHiiHandle, UINTN{result.line}, VkfName);
      return EFI_LOAD_ERROR;
    case VerifyEqual:
    case VerifyDifferent: break;
  }
  LibPrintConsole(u"Compared %d fields, %d different\r\n", UINTN{result.compared}, UINTN{result.different});
  return result.outcome == VerifyEqual ? EFI_SUCCESS : EFI_COMPROMISED_DATA;
}
