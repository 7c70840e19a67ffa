// qorvex's second source: the machine's SMBIOS table instead of a dump.
//
//   qorvex [/q] /smbios[:<table file>] <VKF file>   back the strings up into the VKF file
//   qorvex [/q] /verify[:<table file>] <VKF file>   compare the machine with the VKF file
//
// Without a table file the firmware's table is read, found through the EFI
// configuration table (the SMBIOS 3 entry point when there is one). A table
// file is what `dmidecode --dump-bin` writes. The ":" forms take the flag
// in lower or upper case ("/smbios:", "/SMBIOS:"); the others in any case.
//
// Returns EFI_SUCCESS when the backup is written or the machine equals the
// file, and otherwise:
//   a flag error, or no VKF file name                EFI_INVALID_PARAMETER
//   no SMBIOS configuration table                    EFI_NOT_FOUND
//   an entry point that is not whole or not summed
//     right (firmware or table file)                 EFI_CRC_ERROR
//   a file cannot be opened or created, or read      the file system's status
//   the table file is a directory                    EFI_LOAD_ERROR
//   the VKF name names the table file                EFI_ACCESS_DENIED
//   the new VKF file cannot be put in place          the failing step's status
//   the table holds none of the fields               EFI_NOT_FOUND
//   a string too long for a VKF line                 EFI_BAD_BUFFER_SIZE
//   no memory                                        EFI_OUT_OF_RESOURCES
//   a VKF write or the flush fails                   the write's status
//   verify: a line of the VKF file is not a VKF line EFI_LOAD_ERROR
//   verify: the VKF file names no field              EFI_NOT_FOUND
//   verify: the machine differs from the file        EFI_COMPROMISED_DATA
#ifndef QORVEX_APP_MACHINE_SOURCE_H
#define QORVEX_APP_MACHINE_SOURCE_H

#include "Efi.h"
#include "VarCheck.h"

// The flags of the two modes, with the quiet switch.
extern const FlagCheckItem MachineFlagTable[];

// True when an argument typed as a flag (not quoted, not escaped) is one of
// the mode flags. Allocates nothing.
bool MachineModeRequested(const EFI_SHELL_INTERFACE* Shell);

// Runs the mode the command line names; prints its messages and returns its status.
EFI_STATUS RunMachineMode();

#endif  // QORVEX_APP_MACHINE_SOURCE_H
