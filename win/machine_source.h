// qorvexw's second source: a machine's SMBIOS table instead of a dump. The
// table comes from the table file the command line names (what
// `dmidecode --dump-bin` writes), or else from the running machine.
#ifndef QORVEX_WIN_MACHINE_SOURCE_H
#define QORVEX_WIN_MACHINE_SOURCE_H

#include "command_line.h"

// Loads the table and backs it up into the VKF file (JobBackup) or compares
// it with the VKF file (JobVerify); returns the exit code.
int run_machine_job(const CommandLine* line);

#endif  // QORVEX_WIN_MACHINE_SOURCE_H
