// qorvexw: converts an AMIDE DMI editor dump into a VKF setting file.
//
//   qorvexw <dump file> <VKF file> [/q]
//   qorvexw /smbios[:<table file>] <VKF file> [/q]   (see machine_source.h)
//   qorvexw /verify[:<table file>] <VKF file> [/q]
//   qorvexw /? | -h | --help | --version
//
// Exit code 0 when the VKF file was written, 1 for every failure.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "binding.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "machine_source.h"
#include "messages.h"
#include "runtime_binding.h"
#include "same_file.h"
#include "stdio_binding.h"
#include "text_util.h"
#include "vkf_output.h"
#ifdef QORVEXW_TEST_MODES
#include "stream_switch_check.h"
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Positions of the file names in argv.
constexpr int kDumpArgument = 1;
constexpr int kVkfArgument = 2;

// The help text, one line a row.
constexpr const char* kUsageLines[] = {
    "Usage: qorvexw <dump file> <VKF file> [/q]\r\n",
    "       qorvexw /smbios[:<table file>] <VKF file> [/q]\r\n",
    "       qorvexw /verify[:<table file>] <VKF file> [/q]\r\n",
    "Converts the DMI editor's dump file into a VKF setting file; /smbios backs up\r\n",
    "this machine's SMBIOS table (or a dmidecode --dump-bin file) into one, /verify\r\n",
    "compares this machine with one.\r\n",
    "  /q   print nothing but error messages\r\n",
    "Exit code: 0 when the VKF file was written or verify found it equal, 1 on any\r\n",
    "error, 2 when verify found a difference.\r\n",
    "Example: qorvexw board.txt board.vkf\r\n",
};

// The messages of the conversion alone (the shared ones: messages.h).
void print_names_missing() { printf("Error, Please specify the name of SMBIOS file and VKF file!\r\n"); }
void print_usage() {
  for (const char* line : kUsageLines) fputs(line, stdout);
}

// The switches of the command line. None of them is ever taken as the VKF
// file's name: `qorvexw board.txt /q` has forgotten that name.
enum SwitchAction {
  SwitchQuiet,    // The third of exactly three arguments: print errors only.
  SwitchHelp,     // Alone: the banner and the usage.
  SwitchVersion,  // Alone: the banner.
  SwitchMode,     // Reserved for the modes of other sources and checks.
};

struct SwitchRow {
  const char* text;
  bool any_case;
  SwitchAction action;
};

constexpr SwitchRow kSwitches[] = {
    {"/q", true, SwitchQuiet},     {"/?", false, SwitchHelp},           {"-h", false, SwitchHelp},
    {"--help", false, SwitchHelp}, {"--version", false, SwitchVersion}, {"/smbios", true, SwitchMode},
    {"/verify", true, SwitchMode},
};

// The row `argument` spells, or null.
const SwitchRow* find_switch(const char* argument) {
  for (const SwitchRow& row : kSwitches) {
    const bool same = row.any_case ? text_equal_ignoring_case(argument, row.text) : strcmp(argument, row.text) == 0;
    if (same) return &row;
  }
  return nullptr;
}

bool is_switch(const char* argument, SwitchAction action) {
  const SwitchRow* row = find_switch(argument);
  return row != nullptr && row->action == action;
}

// "/q" counts only as the third of exactly three arguments.
bool quiet_switch_given(int argc, char** argv) { return argc == 4 && is_switch(argv[3], SwitchQuiet); }

// Answers a lone help or version switch; returns false for anything else.
bool answered_alone(int argc, char** argv) {
  if (argc != 2) return false;
  const SwitchRow* row = find_switch(argv[1]);
  if (row == nullptr || (row->action != SwitchHelp && row->action != SwitchVersion)) return false;
  print_banner();
  if (row->action == SwitchHelp) print_usage();
  return true;
}

// The message for a run that did not end with a complete VKF file.
void report_failed_run(const RunResult& run, const char* dump_name, const char* vkf_name) {
  switch (run.outcome) {
    case RunCompleted:
    case RunWriteError: print_write_error(vkf_name); break;
    case RunReadError: print_read_error(dump_name); break;
    case RunDumpTooShort:
    case RunNoFields: print_no_field(dump_name); break;
    case RunOutOfMemory: print_memory_error(); break;
  }
}

// Converts the open dump into the output; returns the exit code. The VKF
// name changes only when the run completed and its file is on the disk.
int convert(FILE* dump_file, VkfOutput* output, const char* dump_name, char* line_buffer, bool quiet) {
  // Static: each holds a read-ahead window too large for a small stack.
  static StdioFile dump;
  static StdioFile vkf;
  // The binding reads ahead and gathers writes in windows of its own: the
  // FILEs' buffers would only copy every byte once more and split each
  // window into two system calls.
  setvbuf(dump_file, nullptr, _IONBF, 0);
  setvbuf(output->file, nullptr, _IONBF, 0);
  CoreStream dump_stream = make_stdio_stream(&dump, dump_file);
  CoreStream vkf_stream = make_stdio_stream(&vkf, output->file);
  ConsoleOps console = make_stdio_console();
  RunResult run = run_conversion(&dump_stream, &vkf_stream, line_buffer, quiet, &console);
  release_kept_blocks();
  // The last gathered records reach the file only now; a full disk may show
  // up here first.
  const bool complete = run.outcome == RunCompleted && flush_stdio_stream(&vkf) == kStreamSuccess;
  if (!complete) {
    abandon_vkf_output(output);
    report_failed_run(run, dump_name, output->name);
    return kExitFailure;
  }
  if (!commit_vkf_output(output)) {
    print_write_error(output->name);
    return kExitFailure;
  }
  if (!quiet) console.done(console.context);
  return kExitSuccess;
}

// Opens the dump for reading; null for a name that does not reach a
// readable file. A folder opens on some systems and fails only when read: it
// gets the open message on every one.
FILE* open_dump(const char* name) {
  if (!argument_is_exact(kDumpArgument, name)) return nullptr;
  FILE* dump = fopen(name, "rb");
  struct stat info;
  if (dump != nullptr && (fstat(fileno(dump), &info) != 0 || S_ISDIR(info.st_mode))) {
    fclose(dump);
    return nullptr;
  }
  return dump;
}

// Opens both files and converts; returns the exit code. The VKF output is
// begun only once the dump is open, and never when its name reaches the dump.
int open_and_convert(const char* dump_name, const char* vkf_name, char* line_buffer, bool quiet) {
  FILE* dump = open_dump(dump_name);
  if (dump == nullptr) {
    print_open_error(dump_name);
    return kExitFailure;
  }
  VkfOutput output;
  if (!argument_is_exact(kVkfArgument, vkf_name) || !begin_vkf_output(&output, vkf_name, dump)) {
    print_open_error(vkf_name);
    fclose(dump);
    return kExitFailure;
  }
  int result = convert(dump, &output, dump_name, line_buffer, quiet);
  fclose(dump);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef QORVEXW_TEST_MODES
  if (argc == 3 && strcmp(argv[1], kStreamSwitchCheck) == 0) return check_stream_switch(argv[2]);
#endif
  if (answered_alone(argc, argv)) return kExitSuccess;
  if (machine_mode_requested(argc, argv)) return run_machine_mode(argc, argv);
  const bool quiet = quiet_switch_given(argc, argv);
  if (!quiet) print_banner();
  if (argc < 3 || find_switch(argv[kVkfArgument]) != nullptr) {
    print_names_missing();
    return kExitFailure;
  }
  char* line_buffer = static_cast<char*>(malloc(kLineBufferSize));
  if (line_buffer == nullptr) {
    print_memory_error();
    return kExitFailure;
  }
  memset(line_buffer, 0, kLineBufferSize);
  int result = open_and_convert(argv[kDumpArgument], argv[kVkfArgument], line_buffer, quiet);
  free(line_buffer);
  return result;
}
