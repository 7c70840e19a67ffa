// qorvexw: converts an AMIDE DMI editor dump into a VKF setting file.
//
//   qorvexw <dump file> <VKF file> [/q]
//   qorvexw /smbios[:<table file>] <VKF file> [/q]   (see machine_source.h)
//   qorvexw /verify[:<table file>] <VKF file> [/q]
//
// Exit code 0 when the conversion succeeded, 1 for every failure.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "binding.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "machine_source.h"
#include "qorvex_version.h"
#include "runtime_binding.h"
#include "same_file.h"
#include "stdio_binding.h"
#include "text_util.h"

namespace {

constexpr int kVersionMajor = QORVEX_VERSION_MAJOR;
constexpr int kVersionMinor = QORVEX_VERSION_MINOR;
constexpr int kVersionPatch = QORVEX_VERSION_PATCH;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// The messages, each written in one place.
void print_banner() { printf("QORVEX ver %d.%d.%d\r\n", kVersionMajor, kVersionMinor, kVersionPatch); }
void print_names_missing() { printf("Error, Please specify the name of SMBIOS file and VKF file!\r\n"); }
void print_memory_error() { printf("Error, memory allocation failed\r\n"); }
void print_open_error(const char* name) { printf("Error, Can not open the file [%s]!\r\n", name); }
void print_write_error(const char* name) { printf("Error, Can not write the file [%s]!\r\n", name); }

// "/q" counts only as the third of exactly three arguments.
bool quiet_switch_given(int argc, char** argv) {
  return argc == 4 && text_equal_ignoring_case(argv[3], "/q");
}

// Opens the VKF file for writing unless its name is the open dump itself,
// which opening would truncate.
FILE* open_vkf(const char* name, FILE* dump) {
  if (names_open_file(name, dump)) return nullptr;
  return fopen(name, "wb+");
}

// Converts the open dump into the VKF file; returns the exit code.
int convert(FILE* dump_file, FILE* vkf_file, const char* vkf_name, char* line_buffer, bool quiet) {
  // Static: each holds a read-ahead window too large for a small stack.
  static StdioFile dump;
  static StdioFile vkf;
  // The binding reads ahead and gathers writes in windows of its own: the
  // FILEs' buffers would only copy every byte once more and split each
  // window into two system calls.
  setvbuf(dump_file, nullptr, _IONBF, 0);
  setvbuf(vkf_file, nullptr, _IONBF, 0);
  CoreStream dump_stream = make_stdio_stream(&dump, dump_file);
  CoreStream vkf_stream = make_stdio_stream(&vkf, vkf_file);
  ConsoleOps console = make_stdio_console();
  RunResult run = run_conversion(&dump_stream, &vkf_stream, line_buffer, quiet, &console);

  // A full disk shows up in a write, or only when the buffered rest is
  // flushed: either way the VKF file is incomplete and must not pass as done.
  // So is a file from which a record was dropped for lack of memory.
  bool write_failed = run.outcome == RunWriteError;
  if (flush_stdio_stream(&vkf) != kStreamSuccess) write_failed = true;
  if (fflush(vkf_file) != 0) write_failed = true;
  if (write_failed) {
    print_write_error(vkf_name);
  } else if (run.outcome == RunOutOfMemory) {
    print_memory_error();
  }
  bool complete = (run.outcome == RunCompleted || run.outcome == RunNoFields) && !write_failed;
  if (complete && !quiet) console.done(console.context);
  return complete ? kExitSuccess : kExitFailure;
}

// Opens both files and converts; returns the exit code. The VKF file is
// opened only once the dump is, and never when its name is the dump itself.
int open_and_convert(const char* dump_name, const char* vkf_name, char* line_buffer, bool quiet) {
  FILE* dump = fopen(dump_name, "rb");
  if (dump == nullptr) {
    print_open_error(dump_name);
    return kExitFailure;
  }
  FILE* vkf = open_vkf(vkf_name, dump);
  if (vkf == nullptr) {
    print_open_error(vkf_name);
    fclose(dump);
    return kExitFailure;
  }
  int result = convert(dump, vkf, vkf_name, line_buffer, quiet);
  release_kept_blocks();
  fclose(dump);
  if (fclose(vkf) != 0 && result == kExitSuccess) {
    print_write_error(vkf_name);
    result = kExitFailure;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (machine_mode_requested(argc, argv)) return run_machine_mode(argc, argv);
  const bool quiet = quiet_switch_given(argc, argv);
  if (!quiet) print_banner();
  // Quiet takes three arguments, so only a run with the banner can lack names.
  if (argc < 3) {
    print_names_missing();
    return kExitFailure;
  }
  char* line_buffer = static_cast<char*>(malloc(kLineBufferSize));
  if (line_buffer == nullptr) {
    print_memory_error();
    return kExitFailure;
  }
  memset(line_buffer, 0, kLineBufferSize);
  int result = open_and_convert(argv[1], argv[2], line_buffer, quiet);
  free(line_buffer);
  return result;
}
