#include "machine_source.h"

#include <stdio.h>

#include "machine_table.h"
#include "messages.h"
#include "run_state.h"
#include "same_file.h"
#include "stdio_binding.h"
#include "table_backup.h"
#include "table_verify.h"
#include "text_util.h"
#include "vkf_output.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitDifferent = 2;

// Positions of the mode flag and the VKF name in argv.
constexpr int kModeArgument = 1;
constexpr int kVkfArgument = 2;

enum MachineMode { ModeBackup, ModeVerify };

struct ModeFlag {
  const char* flag;
  MachineMode mode;
};

constexpr ModeFlag kModeFlags[] = {{"/smbios", ModeBackup}, {"/verify", ModeVerify}};

// The mode command line: the flag, its table file (null: the running
// machine), the VKF file and the quiet switch.
struct ModeLine {
  MachineMode mode;
  const char* mode_argument;  // the flag as typed, with its table file
  const char* table_name;
  const char* vkf_name;
  bool quiet;
};

char fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `arg` is `flag` in any letter case, alone or followed by ":<table file>".
bool matches_flag(const char* arg, const char* flag, const char** table_name) {
  size_t i = 0;
  for (; flag[i] != '\0'; ++i) {
    if (fold(arg[i]) != fold(flag[i])) return false;
  }
  if (arg[i] != '\0' && arg[i] != ':') return false;
  *table_name = arg[i] == ':' ? arg + i + 1 : nullptr;
  return true;
}

const ModeFlag* mode_flag(const char* arg, const char** table_name) {
  for (const ModeFlag& row : kModeFlags) {
    if (matches_flag(arg, row.flag, table_name)) return &row;
  }
  return nullptr;
}

// The messages of the modes, each written in one place.
void print_vkf_name_missing() { printf("Error, Please specify the name of VKF file!\r\n"); }
void print_needs_root(const char* name) {
  printf("Error, Can not read the SMBIOS table [%s]: only root may read it!\r\n", name);
}
void print_no_machine_table() { printf("Error, This machine publishes no SMBIOS table!\r\n"); }
void print_no_entry_point(const char* name) { printf("Error, No valid SMBIOS entry point in [%s]!\r\n", name); }
void print_no_table_field() { printf("Error, The SMBIOS table holds none of the fields!\r\n"); }
void print_too_long(const char* section, const char* key) {
  printf("Error, The value of [%s] %s is too long for a VKF line!\r\n", section, key);
}
void print_not_vkf(const char* name, size_t line) {
  printf("Error, Line %lu of [%s] is not a VKF line!\r\n", static_cast<unsigned long>(line), name);
}
void print_summary(size_t compared, size_t different) {
  printf("Compared %lu fields, %lu different\r\n", static_cast<unsigned long>(compared),
         static_cast<unsigned long>(different));
}

void print_line_break(void*, const char* section, const char* key) {
  printf("Warning, [%s] %s holds a line break: a blank stands in its place\r\n", section, key);
}
void print_cut_short(void*, size_t offset) {
  printf("Warning, The SMBIOS table is damaged at byte %lu: the fields from there on are missing\r\n",
         static_cast<unsigned long>(offset));
}
void print_difference(void*, const char* section, const char* key, const char* file_value, const char* machine_value) {
  if (machine_value == nullptr) {
    printf("[%s] %s: file \"%s\", machine has none\r\n", section, key, file_value);
    return;
  }
  printf("[%s] %s: file \"%s\", machine \"%s\"\r\n", section, key, file_value, machine_value);
}

constexpr TableNotices kNotices = {print_line_break, print_cut_short, nullptr};

// Prints the message of a failed load; returns the exit code.
int load_failed(TableLoad load, const char* name) {
  switch (load) {
    case TableNeedsRoot: print_needs_root(name); break;
    case TableUnavailable: print_no_machine_table(); break;
    case TableNoEntryPoint: print_no_entry_point(name); break;
    case TableNoMemory: print_memory_error(); break;
    default: print_read_error(name); break;
  }
  return kExitFailure;
}

// Writes the backup into the new VKF file; returns the exit code.
int write_backup(const SmbiosTable* table, FILE* vkf_file, const ModeLine* line) {
  static StdioFile vkf;
  setvbuf(vkf_file, nullptr, _IONBF, 0);
  CoreStream stream = make_stdio_stream(&vkf, vkf_file);
  ConsoleOps console = make_stdio_console();
  BackupResult result = run_table_backup(table, &stream, line->quiet, &console, &kNotices);
  switch (result.outcome) {
    case BackupCompleted: break;
    case BackupNoField: print_no_table_field(); return kExitFailure;
    case BackupValueTooLong:
      print_too_long(find_section(result.field->type)->name, result.field->key);
      return kExitFailure;
    case BackupOutOfMemory: print_memory_error(); return kExitFailure;
    case BackupWriteFailed: print_write_error(line->vkf_name); return kExitFailure;
  }
  // The last gathered records reach the file only now.
  if (flush_stdio_stream(&vkf) != kStreamSuccess) {
    print_write_error(line->vkf_name);
    return kExitFailure;
  }
  return kExitSuccess;
}

// Backs the table up into a new file that replaces the VKF file only when
// complete; the VKF name may not reach the table file.
int back_up(const SmbiosTable* table, FILE* table_file, const ModeLine* line) {
  VkfOutput output;
  if (!argument_is_exact(kVkfArgument, line->vkf_name) || !begin_vkf_output(&output, line->vkf_name, table_file)) {
    print_open_error(line->vkf_name);
    return kExitFailure;
  }
  if (write_backup(table, output.file, line) != kExitSuccess) {
    abandon_vkf_output(&output);
    return kExitFailure;
  }
  if (!commit_vkf_output(&output)) {
    print_write_error(line->vkf_name);
    return kExitFailure;
  }
  ConsoleOps console = make_stdio_console();
  if (!line->quiet) console.done(console.context);
  return kExitSuccess;
}

// Compares the machine with the VKF file; returns the exit code.
int verify(const SmbiosTable* table, const ModeLine* line) {
  FILE* vkf_file = argument_is_exact(kVkfArgument, line->vkf_name) ? fopen(line->vkf_name, "rb") : nullptr;
  if (vkf_file == nullptr) {
    print_open_error(line->vkf_name);
    return kExitFailure;
  }
  setvbuf(vkf_file, nullptr, _IONBF, 0);
  static StdioFile vkf;
  CoreStream stream = make_stdio_stream(&vkf, vkf_file);
  const VerifyReport report = {print_difference, nullptr};
  VerifyResult result = run_table_verify(table, &stream, &report);
  fclose(vkf_file);
  switch (result.outcome) {
    case VerifyReadError: print_read_error(line->vkf_name); return kExitFailure;
    case VerifyNotVkf: print_not_vkf(line->vkf_name, result.line); return kExitFailure;
    case VerifyNoField: print_no_field(line->vkf_name); return kExitFailure;
    case VerifyEqual:
    case VerifyDifferent: break;
  }
  print_summary(result.compared, result.different);
  return result.outcome == VerifyEqual ? kExitSuccess : kExitDifferent;
}

// Loads the table the command line names and runs the mode on it.
int load_and_run(const ModeLine* line) {
  MachineTable loaded = {};
  FILE* table_file = nullptr;
  TableLoad load = TableLoaded;
  if (line->table_name != nullptr) {
    table_file = argument_is_exact(kModeArgument, line->mode_argument) ? fopen(line->table_name, "rb") : nullptr;
    if (table_file == nullptr) {
      print_open_error(line->table_name);
      return kExitFailure;
    }
    load = load_table_file(line->table_name, table_file, &loaded);
  } else {
    load = load_machine_table(&loaded);
  }
  int result = load != TableLoaded        ? load_failed(load, loaded.failed_name)
               : line->mode == ModeBackup ? back_up(&loaded.table, table_file, line)
                                          : verify(&loaded.table, line);
  if (table_file != nullptr) fclose(table_file);
  release_machine_table(&loaded);
  return result;
}

}  // namespace

bool machine_mode_requested(int argc, char** argv) {
  const char* table_name = nullptr;
  return argc >= 2 && mode_flag(argv[1], &table_name) != nullptr;
}

int run_machine_mode(int argc, char** argv) {
  ModeLine line = {};
  line.mode_argument = argv[kModeArgument];
  line.mode = mode_flag(line.mode_argument, &line.table_name)->mode;
  // As for a conversion, "/q" counts only as the third of exactly three arguments.
  line.quiet = argc == 4 && text_equal_ignoring_case(argv[3], "/q");
  if (!line.quiet) print_banner();
  if (argc <= kVkfArgument) {
    print_vkf_name_missing();
    return kExitFailure;
  }
  line.vkf_name = argv[kVkfArgument];
  return load_and_run(&line);
}
