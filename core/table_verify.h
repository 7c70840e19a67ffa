// Verifying a machine against a VKF file: every field the file names is
// compared with the same field of the machine's SMBIOS table.
#ifndef QORVEX_CORE_TABLE_VERIFY_H
#define QORVEX_CORE_TABLE_VERIFY_H

#include <stddef.h>
#include <stdint.h>

#include "binding.h"
#include "smbios_table.h"

// The longest VKF line verify reads, its line end included.
constexpr size_t kVerifyLineSize = 1024;

struct VerifyReport {
  // One field differs. `machine_value` is null when the machine has no such
  // field (no structure of its type, one too short, or no n-th OEM string).
  void (*difference)(void* context, const char* section, const char* key, const char* file_value,
                     const char* machine_value);
  void* context;
};

enum VerifyOutcome {
  VerifyEqual,      // every field named was compared and is equal
  VerifyDifferent,  // at least one differs
  VerifyReadError,  // the file could not be read; read_status holds the stream's status
  VerifyNotVkf,     // `line` is not a header or a "Key = Value" line of a known field
  VerifyNoField,    // the file names no field: nothing was verified
};

struct VerifyResult {
  VerifyOutcome outcome;
  uint64_t read_status;
  size_t line;  // 1 on, for VerifyNotVkf
  size_t compared;
  size_t different;
};

// Reads `vkf` from 0 and compares each "Key = Value" line with the machine's
// field of the same section and key; the n-th "String" of the OEM strings
// with the n-th OEM string. Strings compare byte for byte; UUID, chassis
// type and chassis OEM value as numbers (letter case, hyphens and a trailing
// "h" do not count). Lines end with LF or CR LF.
VerifyResult run_table_verify(const SmbiosTable* table, CoreStream* vkf, const VerifyReport* report);

#endif  // QORVEX_CORE_TABLE_VERIFY_H
