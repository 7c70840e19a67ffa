// Where qorvex finds an SMBIOS table: the firmware's, through the EFI
// configuration table, or a table file in the format of `dmidecode --dump-bin`.
#ifndef QORVEX_APP_MACHINE_TABLE_H
#define QORVEX_APP_MACHINE_TABLE_H

#include "Efi.h"
#include "smbios_table.h"

// The firmware's table: the SMBIOS 3 entry point when the configuration
// table lists one, else the 32-bit one. EFI_NOT_FOUND without either,
// EFI_CRC_ERROR when the entry point is not valid.
EFI_STATUS FindFirmwareTable(const EFI_SYSTEM_TABLE* SystemTable, SmbiosTable* Table);

// Reads the open table file into a new pool buffer (*Bytes, which the
// caller releases, also after a failure) and describes the table in it.
// EFI_LOAD_ERROR for a directory, EFI_OUT_OF_RESOURCES, the read's status,
// or EFI_CRC_ERROR when the file does not start with a valid entry point.
EFI_STATUS LoadTableFile(EFI_FILE_PROTOCOL* File, UINT8** Bytes, SmbiosTable* Table);

#endif  // QORVEX_APP_MACHINE_TABLE_H
