// qorvexw's command line, read once into the job to run, its files and the
// quiet switch:
//
//   qorvexw <dump file> <VKF file> [/q]
//   qorvexw /smbios[:<table file>] <VKF file> [/q]
//   qorvexw /verify[:<table file>] <VKF file> [/q]
//   qorvexw /? | -h | --help | --version
//
// The messages and exit codes of every job: docs/manual.md.
#ifndef QORVEX_WIN_COMMAND_LINE_H
#define QORVEX_WIN_COMMAND_LINE_H

#include <stdio.h>

enum Job {
  JobConvert,  // the dump into the VKF file
  JobBackup,   // an SMBIOS table into the VKF file
  JobVerify,   // an SMBIOS table against the VKF file
  JobHelp,     // the banner and the usage
  JobVersion,  // the banner
};

// The exit codes: success (the VKF file written, or verify found it equal),
// any failure, and a difference that verify found.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitDifferent = 2;

// Positions in argv of the source (the dump, or the mode switch with its
// table file) and of the VKF name.
constexpr int kSourceArgument = 1;
constexpr int kVkfArgument = 2;

struct CommandLine {
  Job job;
  const char* source_argument;  // argv[kSourceArgument] as given, or null
  const char* source_name;      // the dump, or the table file; null: this machine's table
  const char* vkf_name;         // null when the command line names no VKF file
  bool quiet;                   // "/q": print nothing but error messages
};

// Reads argv. "/q" counts only as the third of exactly three arguments; a
// help or version switch only alone; a mode switch only first. A switch is
// never taken as the VKF file's name: `qorvexw board.txt /q` has forgotten it.
CommandLine read_command_line(int argc, char** argv);

// Prints the usage lines.
void print_usage();

// True when argument `index` of main's argv is the argument as it was typed.
// On Windows the 8-bit arguments are the wide command line mapped to the
// code page, which replaces characters it cannot carry by look-alikes
// ("ｏ.vkf" becomes "o.vkf"): such a name would reach another file.
bool argument_is_exact(int index, const char* argument);

// Opens `name`, given inside argument `index` as `argument`, for reading;
// null when it cannot be opened or did not reach the program as typed.
FILE* open_argument(int index, const char* argument, const char* name);

#endif  // QORVEX_WIN_COMMAND_LINE_H
