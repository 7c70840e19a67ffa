#include "machine_source.h"

#include <stdio.h>

#include "machine_table.h"
#include "messages.h"
#include "run_state.h"
#include "stdio_binding.h"
#include "table_backup.h"
#include "table_verify.h"
#include "vkf_job.h"

namespace {

// The messages of the modes, each written in one place.
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

// A backup's table and its command line.
struct BackupJob {
  const SmbiosTable* table;
  const CommandLine* line;
};

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

// The backup's records, for write_vkf.
bool back_up_records(void* job, CoreStream* vkf, ConsoleOps* console) {
  const BackupJob* backup = static_cast<const BackupJob*>(job);
  BackupResult result = run_table_backup(backup->table, vkf, backup->line->quiet, console, &kNotices);
  switch (result.outcome) {
    case BackupCompleted: return true;
    case BackupNoField: print_no_table_field(); break;
    case BackupValueTooLong: print_too_long(find_section(result.field->type)->name, result.field->key); break;
    case BackupOutOfMemory: print_memory_error(); break;
    case BackupWriteFailed: print_write_error(backup->line->vkf_name); break;
  }
  return false;
}

// Compares the machine with the VKF file; returns the exit code.
int verify(const SmbiosTable* table, const CommandLine* line) {
  FILE* vkf_file = open_argument(kVkfArgument, line->vkf_name, line->vkf_name);
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

}  // namespace

int run_machine_job(const CommandLine* line) {
  MachineTable loaded = {};
  FILE* table_file = nullptr;
  TableLoad load = TableLoaded;
  if (line->source_name != nullptr) {
    table_file = open_argument(kSourceArgument, line->source_argument, line->source_name);
    if (table_file == nullptr) {
      print_open_error(line->source_name);
      return kExitFailure;
    }
    load = load_table_file(line->source_name, table_file, &loaded);
  } else {
    load = load_machine_table(&loaded);
  }
  BackupJob backup = {&loaded.table, line};
  int result = load != TableLoaded      ? load_failed(load, loaded.failed_name)
               : line->job == JobBackup ? write_vkf(line->vkf_name, table_file, line->quiet, back_up_records, &backup)
                                        : verify(&loaded.table, line);
  if (table_file != nullptr) fclose(table_file);
  release_machine_table(&loaded);
  return result;
}
