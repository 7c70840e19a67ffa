#include "command_line.h"

#include "text_util.h"

namespace {

enum SwitchAction { SwitchQuiet, SwitchHelp, SwitchVersion, SwitchBackup, SwitchVerify };

struct SwitchRow {
  const char* text;
  bool any_case;
  bool takes_table;  // may be followed by ":<table file>"
  SwitchAction action;
};

constexpr SwitchRow kSwitches[] = {
    {"/q", true, false, SwitchQuiet},           {"/?", false, false, SwitchHelp},
    {"-h", false, false, SwitchHelp},           {"--help", false, false, SwitchHelp},
    {"--version", false, false, SwitchVersion}, {"/smbios", true, true, SwitchBackup},
    {"/verify", true, true, SwitchVerify},
};

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

// `argument` spells the switch of `row`, alone or, for a switch that takes a
// table file, followed by ":<table file>"; `table_name` receives that name.
bool spells(const char* argument, const SwitchRow& row, const char** table_name) {
  size_t i = 0;
  for (; row.text[i] != '\0'; ++i) {
    const bool same = row.any_case ? fold_ascii(argument[i]) == fold_ascii(row.text[i]) : argument[i] == row.text[i];
    if (!same) return false;
  }
  *table_name = nullptr;
  if (argument[i] == '\0') return true;
  if (argument[i] != ':' || !row.takes_table) return false;
  *table_name = argument + i + 1;
  return true;
}

// The row `argument` spells, or null.
const SwitchRow* find_switch(const char* argument, const char** table_name) {
  for (const SwitchRow& row : kSwitches) {
    if (spells(argument, row, table_name)) return &row;
  }
  return nullptr;
}

// The action of a switch spelled without a table file; -1 for anything else.
int bare_switch(const char* argument) {
  const char* table_name = nullptr;
  const SwitchRow* row = find_switch(argument, &table_name);
  return row != nullptr && table_name == nullptr ? row->action : -1;
}

}  // namespace

CommandLine read_command_line(int argc, char** argv) {
  CommandLine line = {};
  const int alone = argc == 2 ? bare_switch(argv[1]) : -1;
  if (alone == SwitchHelp || alone == SwitchVersion) {
    line.job = alone == SwitchHelp ? JobHelp : JobVersion;
    return line;
  }
  line.quiet = argc == 4 && bare_switch(argv[3]) == SwitchQuiet;
  line.source_argument = argc > kSourceArgument ? argv[kSourceArgument] : nullptr;
  const SwitchRow* mode = argc > kSourceArgument ? find_switch(argv[kSourceArgument], &line.source_name) : nullptr;
  if (mode != nullptr && (mode->action == SwitchBackup || mode->action == SwitchVerify)) {
    line.job = mode->action == SwitchBackup ? JobBackup : JobVerify;
    line.vkf_name = argc > kVkfArgument ? argv[kVkfArgument] : nullptr;
    return line;
  }
  line.job = JobConvert;
  line.source_name = line.source_argument;
  const bool named = argc > kVkfArgument && bare_switch(argv[kVkfArgument]) < 0;
  line.vkf_name = named ? argv[kVkfArgument] : nullptr;
  return line;
}

void print_usage() {
  for (const char* line : kUsageLines) fputs(line, stdout);
}

FILE* open_argument(int index, const char* argument, const char* name) {
  return argument_is_exact(index, argument) ? fopen(name, "rb") : nullptr;
}
