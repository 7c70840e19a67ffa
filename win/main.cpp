// qorvexw: converts an AMIDE DMI editor dump into a VKF setting file, backs
// an SMBIOS table up into one, or verifies a machine against one. The
// command line: command_line.h.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "binding.h"
#include "command_line.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "machine_source.h"
#include "messages.h"
#include "runtime_binding.h"
#include "stdio_binding.h"
#include "vkf_job.h"
#ifdef QORVEXW_TEST_MODES
#include "stream_switch_check.h"
#endif

namespace {

// The messages of a command line that names too few files.
void print_names_missing() { printf("Error, Please specify the name of SMBIOS file and VKF file!\r\n"); }
void print_vkf_name_missing() { printf("Error, Please specify the name of VKF file!\r\n"); }

// The conversion's open dump, its names and its line buffer.
struct Conversion {
  FILE* dump_file;
  const CommandLine* line;
  char* line_buffer;
};

// The message for a run that did not end with every record written.
void report_failed_run(const RunResult& run, const CommandLine* line) {
  switch (run.outcome) {
    case RunCompleted:
    case RunWriteError: print_write_error(line->vkf_name); break;
    case RunReadError: print_read_error(line->source_name); break;
    case RunDumpTooShort:
    case RunNoFields: print_no_field(line->source_name); break;
    case RunOutOfMemory: print_memory_error(); break;
  }
}

// The conversion's records, for write_vkf.
bool convert_records(void* job, CoreStream* vkf, ConsoleOps* console) {
  Conversion* conversion = static_cast<Conversion*>(job);
  // Static: it holds a read-ahead window too large for a small stack. The
  // binding reads ahead in windows of its own: the FILE's buffer would only
  // copy every byte once more and split each window into two system calls.
  static StdioFile dump;
  setvbuf(conversion->dump_file, nullptr, _IONBF, 0);
  CoreStream dump_stream = make_stdio_stream(&dump, conversion->dump_file);
  RunResult run = run_conversion(&dump_stream, vkf, conversion->line_buffer, conversion->line->quiet, console);
  release_kept_blocks();
  if (run.outcome == RunCompleted) return true;
  report_failed_run(run, conversion->line);
  return false;
}

// Opens the dump for reading; null for a name that does not reach a
// readable file. A folder opens on some systems and fails only when read: it
// gets the open message on every one.
FILE* open_dump(const CommandLine* line) {
  FILE* dump = open_argument(kSourceArgument, line->source_argument, line->source_name);
  struct stat info;
  if (dump != nullptr && (fstat(fileno(dump), &info) != 0 || S_ISDIR(info.st_mode))) {
    fclose(dump);
    return nullptr;
  }
  return dump;
}

// Opens the dump and converts it into the VKF file; returns the exit code.
// The VKF output is begun only once the dump is open, and never when its
// name reaches the dump.
int convert(const CommandLine* line, char* line_buffer) {
  Conversion conversion = {open_dump(line), line, line_buffer};
  if (conversion.dump_file == nullptr) {
    print_open_error(line->source_name);
    return kExitFailure;
  }
  int result = write_vkf(line->vkf_name, conversion.dump_file, line->quiet, convert_records, &conversion);
  fclose(conversion.dump_file);
  return result;
}

// The conversion job, from its line buffer on.
int run_conversion_job(const CommandLine* line) {
  char* line_buffer = static_cast<char*>(malloc(kLineBufferSize));
  if (line_buffer == nullptr) {
    print_memory_error();
    return kExitFailure;
  }
  memset(line_buffer, 0, kLineBufferSize);
  int result = convert(line, line_buffer);
  free(line_buffer);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef QORVEXW_TEST_MODES
  if (argc == 3 && strcmp(argv[1], kStreamSwitchCheck) == 0) return check_stream_switch(argv[2]);
#endif
  const CommandLine line = read_command_line(argc, argv);
  if (!line.quiet) print_banner();
  if (line.job == JobHelp) print_usage();
  if (line.job == JobHelp || line.job == JobVersion) return kExitSuccess;
  if (line.vkf_name == nullptr) {
    line.job == JobConvert ? print_names_missing() : print_vkf_name_missing();
    return kExitFailure;
  }
  return line.job == JobConvert ? run_conversion_job(&line) : run_machine_job(&line);
}
