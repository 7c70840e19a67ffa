// qorvex: the EFI shell application that converts an AMIDE DMI editor dump
// into a VKF setting file.
//
//   qorvex [/q] dumpfile vkffile      ("/q" in any case, anywhere on the line)
//   qorvex /?                         (or "-?": the banner and the usage)
//
// The VKF file is written into a new temporary file beside it and takes the
// VKF name only when complete (VkfOutput.h): a failed run leaves the VKF
// name as it was. "Done!" comes only then.
//
// Returns EFI_SUCCESS when the VKF file was written (or help was given), and
// otherwise a status that tells the failures apart:
//   start-up failed                                  EFI_ABORTED
//   the message strings cannot be registered         the registration's status
//   a flag error, or fewer than two file names       EFI_INVALID_PARAMETER
//   no memory for the line buffer, the file names or
//     a record                                       EFI_OUT_OF_RESOURCES
//   a file cannot be opened or created               the open's status
//   the dump is a directory or has no information    EFI_LOAD_ERROR
//   the existing VKF file is a directory, or has no
//     information                                    EFI_ABORTED
//   the new file has no information                  EFI_LOAD_ERROR
//   the VKF name names the dump itself, or no free
//     temporary name                                 EFI_ACCESS_DENIED
//   the dump cannot be read to its end               the read's status
//   the dump holds fewer than 2 bytes, or no field   EFI_ABORTED
//   a VKF record, the flush or a rename fails        that call's status
// Under a UEFI 2.x shell the status is also kept, as 0x and its hexadecimal
// digits, in the shell variable qorvexstatus (%lasterror% drops its error bit).
#ifndef QORVEX_APP_SHELL_APP_H
#define QORVEX_APP_SHELL_APP_H

#include "Efi.h"
#include "VarCheck.h"

// The flags qorvex takes: the quiet switch and the two help switches.
extern const FlagCheckItem AppFlagTable[];

// The image entry point.
extern "C" EFI_STATUS EFIAPI ShellAppEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

#endif  // QORVEX_APP_SHELL_APP_H
