// qorvex's second source: an SMBIOS table instead of a dump. Without a
// table file the firmware's table is read, found through the EFI
// configuration table (the SMBIOS 3 entry point when there is one); a table
// file is what `dmidecode --dump-bin` writes. The statuses of both jobs:
// docs/manual.md.
#ifndef QORVEX_APP_MACHINE_SOURCE_H
#define QORVEX_APP_MACHINE_SOURCE_H

#include "Efi.h"
#include "binding.h"
#include "smbios_table.h"

// Loads the table: the firmware's when TableName is null, else the table
// file, opened into *TableFile and read into *TableBytes (the caller closes
// and releases both, also after a failure). Prints the message of a failure.
EFI_STATUS LoadMachineTable(const CHAR16* TableName, EFI_FILE_PROTOCOL** TableFile, UINT8** TableBytes,
                            SmbiosTable* Table);

// Writes the backup records of Table into Vkf; prints the message of a failure.
EFI_STATUS WriteTableBackup(const SmbiosTable* Table, CoreStream* Vkf, ConsoleOps* Console, bool Quiet,
                            const CHAR16* VkfName);

// Opens the VKF file into *VkfFile (the caller closes it) and compares Table
// with it: prints each difference and the summary, or the message of a failure.
EFI_STATUS VerifyTable(const SmbiosTable* Table, const CHAR16* VkfName, EFI_FILE_PROTOCOL** VkfFile);

#endif  // QORVEX_APP_MACHINE_SOURCE_H
