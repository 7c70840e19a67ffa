// Fuzz target: the SMBIOS table reader and the backup on arbitrary tables.
//
// Input: byte 0 options, bytes 1-2 a structure count (little endian), then
// the bytes handed to the reader, each time in a heap block of exactly their
// size, so that AddressSanitizer reports any read past them.
//   bit 0  the bytes are a table file: an entry point at 0, the table at 32
//          (its version and count come from the entry point when it is valid)
//   bit 1  version 2.5 instead of 3.0 (UUID byte order)
// Invariants:
//   * nothing outside the buffers is read, and the run ends without
//     undefined behaviour;
//   * the backup completes, finds no field, or stops at a string too long
//     for a line; it never reports a failed write to a stream that cannot fail;
//   * the VKF text is lines ended by CR LF with no other CR or LF, each a
//     known "[Section]" or a "Key = Value" line, one per record written;
//   * a completed backup verifies equal against the same table, every
//     record compared.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "binding.h"
#include "run_state.h"
#include "smbios_table.h"
#include "table_backup.h"
#include "table_verify.h"

namespace {

struct MemoryStream {
  std::string Bytes;
  uint64_t Position = 0;
};

uint64_t Read(void* Handle, void* Buffer, size_t* Size) {
  MemoryStream* stream = static_cast<MemoryStream*>(Handle);
  *Size = stream->Bytes.copy(static_cast<char*>(Buffer), *Size, stream->Position);
  stream->Position += *Size;
  return kStreamSuccess;
}
uint64_t SetPosition(void* Handle, uint64_t Position) {
  static_cast<MemoryStream*>(Handle)->Position = Position;
  return kStreamSuccess;
}
uint64_t Write(void* Handle, const void* Buffer, size_t* Size) {
  MemoryStream* stream = static_cast<MemoryStream*>(Handle);
  stream->Bytes.replace(stream->Position, *Size, static_cast<const char*>(Buffer), *Size);
  stream->Position += *Size;
  return kStreamSuccess;
}
constexpr StreamOps kMemoryOps = {Read, SetPosition, Write};

void NoLineBreak(void*, const char*, const char*) {}
void NoCut(void*, size_t) {}

// A heap copy of exactly the bytes, so that a read past them is caught.
struct ExactCopy {
  explicit ExactCopy(const std::string& Bytes) : Data(static_cast<uint8_t*>(malloc(Bytes.size() + !Bytes.size()))) {
    memcpy(Data, Bytes.data(), Bytes.size());
  }
  ~ExactCopy() { free(Data); }
  uint8_t* Data;
};

bool KnownSection(const std::string& Name) {
  for (const SectionRow* row = SectionTable; row->name != nullptr; ++row) {
    if (Name == row->name) return true;
  }
  return false;
}

// Checks the lines of the VKF text; returns the number of "Key = Value" lines.
size_t CheckLines(const std::string& Vkf) {
  size_t records = 0;
  size_t at = 0;
  while (at < Vkf.size()) {
    size_t end = Vkf.find("\r\n", at);
    FUZZ_CHECK(end != std::string::npos, "a line without CR LF: " + fuzz::Escaped(Vkf));
    const std::string line = Vkf.substr(at, end - at);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "a CR or LF inside a line: " + fuzz::Escaped(Vkf));
    if (line[0] == '[') {
      FUZZ_CHECK(line.back() == ']' && KnownSection(line.substr(1, line.size() - 2)), "a bad header: " + line);
    } else {
      FUZZ_CHECK(line.find(" = ") != std::string::npos, "a bad record line: " + fuzz::Escaped(line));
      ++records;
    }
    at = end + 2;
  }
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const uint8_t options = input.Byte();
  const uint16_t count = input.Word();
  const std::string bytes = input.Rest();
  SmbiosTable table = {nullptr, 0, count, static_cast<uint8_t>((options & 2) ? 2 : 3),
                       static_cast<uint8_t>((options & 2) ? 5 : 0)};
  std::string table_bytes = bytes;
  if (options & 1) {
    ExactCopy entry(bytes.substr(0, kTableFileTableOffset));
    SmbiosEntryPoint point = {};
    if (read_entry_point(entry.Data, bytes.size() < kTableFileTableOffset ? bytes.size() : kTableFileTableOffset,
                         &point)) {
      table = SmbiosTable{nullptr, 0, point.structure_count, point.major, point.minor};
      table_bytes = bytes.size() > kTableFileTableOffset ? bytes.substr(kTableFileTableOffset) : std::string();
      if (table_bytes.size() > point.table_length) table_bytes.resize(point.table_length);
    }
  }
  ExactCopy copy(table_bytes);
  table.bytes = copy.Data;
  table.size = table_bytes.size();

  reset_run_state();
  MemoryStream vkf;
  CoreStream stream{&kMemoryOps, &vkf};
  ConsoleOps console = {nullptr, [](void*, uint8_t, const char*, const char*, const char*, const char*) {}, nullptr,
                        nullptr};
  TableNotices notices = {NoLineBreak, NoCut, nullptr};
  BackupResult result = run_table_backup(&table, &stream, false, &console, &notices);
  FUZZ_CHECK(
      result.outcome == BackupCompleted || result.outcome == BackupNoField || result.outcome == BackupValueTooLong,
      "outcome " + std::to_string(result.outcome));
  FUZZ_CHECK(CheckLines(vkf.Bytes) == result.records, "records written and lines differ: " + fuzz::Escaped(vkf.Bytes));
  if (result.outcome != BackupCompleted) return 0;
  VerifyReport report = {[](void*, const char*, const char*, const char*, const char*) {}, nullptr};
  VerifyResult verified = run_table_verify(&table, &stream, &report);
  FUZZ_CHECK(verified.outcome == VerifyEqual && verified.compared == result.records,
             "the backup does not verify: outcome " + std::to_string(verified.outcome) + ", " +
                 std::to_string(verified.different) + " different of " + std::to_string(verified.compared));
  return 0;
}
