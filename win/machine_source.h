// qorvexw's second source: a machine's SMBIOS table instead of a dump.
//
//   qorvexw /smbios[:<table file>] <VKF file> [/q]   back the strings up into the VKF file
//   qorvexw /verify[:<table file>] <VKF file> [/q]   compare the machine with the VKF file
//
// Without a table file, the table of the running machine is read.
// Exit code 0 when done or equal, 1 on an error, 2 when verify found differences.
#ifndef QORVEX_WIN_MACHINE_SOURCE_H
#define QORVEX_WIN_MACHINE_SOURCE_H

// True when the first argument is one of the two mode flags.
bool machine_mode_requested(int argc, char** argv);

// Runs the mode the first argument names; returns the exit code.
int run_machine_mode(int argc, char** argv);

#endif  // QORVEX_WIN_MACHINE_SOURCE_H
