// qorvex: the EFI shell application that converts an AMIDE DMI editor dump
// into a VKF setting file, backs the firmware's SMBIOS table up into one, or
// verifies the firmware against one.
//
//   qorvex [/q] dumpfile vkffile                   ("/q" in any case, anywhere on the line)
//   qorvex [/q] /smbios[:<table file>] <VKF file>  (MachineSource.h)
//   qorvex [/q] /verify[:<table file>] <VKF file>
//   qorvex /?                                      (or "-?": the banner and the usage)
//
// The VKF file is written into a new temporary file beside it and takes the
// VKF name only when complete (VkfOutput.h): a failed run leaves the VKF
// name as it was. "Done!" comes only then.
//
// The status returned for every outcome of every job: docs/manual.md. Under
// a UEFI 2.x shell the status is also kept, as 0x and its hexadecimal
// digits, in the shell variable qorvexstatus (%lasterror% drops its error bit).
#ifndef QORVEX_APP_SHELL_APP_H
#define QORVEX_APP_SHELL_APP_H

#include "Efi.h"
#include "VarCheck.h"

// The flags qorvex takes: the two help switches, the quiet switch and the
// mode flags.
extern const FlagCheckItem AppFlagTable[];

// The image entry point.
extern "C" EFI_STATUS EFIAPI ShellAppEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

#endif  // QORVEX_APP_SHELL_APP_H
