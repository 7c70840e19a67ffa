// Fuzz target: the conversion core on in-memory streams. Built twice:
// fuzz_core_qorvexw with qorvexw's memory and record formatting (and its
// stdio stream binding), fuzz_core_qorvex with qorvex's (pool memory and
// LibFormatAscii on the fake firmware).
//
// Input: byte 0 options, bytes 1-2 a number N (little endian), then the dump.
//   bit 0  quiet run
//   bit 1  the dump read that reaches byte N fails
//   bit 2  qorvexw: both streams go through the stdio binding (a memory FILE)
//   bit 3  qorvexw: the dump is repeated up to 100 KiB, so that lines cross
//          the edges of the stdio binding's read-ahead window
//          qorvex: the (N mod 64 + 1)th pool allocation of the run fails
//          (no read fails then)
// Invariants:
//   * the run ends, with no memory error and no undefined behaviour;
//   * without a fault it completes (RunDumpTooShort with nothing written for
//     a dump under 2 bytes, RunNoFields for one without a field line) and the
//     VKF text is exactly the reference records
//     of the dump (ReferenceVkf.h, with this front end's line-feed rule):
//     every record whole, with its line end, none glued to the next;
//   * a failed read ends the run with RunReadError and the records written
//     are whole: the reference records of a leading part of the dump;
//   * a failed allocation ends the run with RunOutOfMemory; the records
//     written before it are whole: the reference records of a leading part of
//     the dump; no memory is left allocated;
//   * unless quiet, one trace per record that was parsed and the progress line
//     once the dump's encoding is known; the run never prints the done line
//     (the front end does, once the file is in place).
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "FuzzCheck.h"
#include "ReferenceVkf.h"
#include "binding.h"
#include "conversion_run.h"
#include "line_reader.h"
#include "run_state.h"

#ifdef QORVEX_FUZZ_UEFI_BINDING
#include "FakeFirmware.h"
#include "FuzzFirmware.h"
#include "UefiBinding.h"
constexpr fuzz::LineFeeds kLineFeeds = fuzz::LineFeeds::Expanded;
#else
#include "stdio_binding.h"
constexpr fuzz::LineFeeds kLineFeeds = fuzz::LineFeeds::Copied;
#endif

namespace {

constexpr uint64_t kReadFailure = 0x8000000000000007ull;
constexpr uint64_t kNoFailure = ~uint64_t(0);

// A byte stream in memory whose read fails when it reaches FailingByte.
struct MemoryStream {
  std::string Bytes;
  uint64_t Position = 0;
  uint64_t FailingByte = kNoFailure;
};

MemoryStream* StreamOf(void* Handle) { return static_cast<MemoryStream*>(Handle); }

uint64_t MemoryRead(void* Handle, void* Buffer, size_t* Size) {
  MemoryStream* stream = StreamOf(Handle);
  if (stream->FailingByte >= stream->Position && stream->FailingByte - stream->Position < *Size) {
    *Size = 0;
    return kReadFailure;
  }
  size_t left = stream->Position < stream->Bytes.size() ? stream->Bytes.size() - stream->Position : 0;
  if (*Size > left) *Size = left;
  stream->Bytes.copy(static_cast<char*>(Buffer), *Size, stream->Position);
  stream->Position += *Size;
  return kStreamSuccess;
}

uint64_t MemorySetPosition(void* Handle, uint64_t Position) {
  StreamOf(Handle)->Position = Position;
  return kStreamSuccess;
}

uint64_t MemoryWrite(void* Handle, const void* Buffer, size_t* Size) {
  MemoryStream* stream = StreamOf(Handle);
  if (stream->Bytes.size() < stream->Position + *Size) stream->Bytes.resize(stream->Position + *Size);
  stream->Bytes.replace(stream->Position, *Size, static_cast<const char*>(Buffer), *Size);
  stream->Position += *Size;
  return kStreamSuccess;
}

constexpr StreamOps kMemoryOps = {MemoryRead, MemorySetPosition, MemoryWrite};

struct ConsoleCount {
  size_t Progress = 0;
  size_t Traces = 0;
  size_t Done = 0;
};

ConsoleOps CountingConsole(ConsoleCount* Count) {
  return ConsoleOps{[](void* c) { ++static_cast<ConsoleCount*>(c)->Progress; },
                    [](void* c, uint8_t, const char*, const char*, const char*, const char*) {
                      ++static_cast<ConsoleCount*>(c)->Traces;
                    },
                    [](void* c) { ++static_cast<ConsoleCount*>(c)->Done; }, Count};
}

// What one run did.
struct Outcome {
  RunResult Result;
  std::string Vkf;
  ConsoleCount Console;
};

Outcome RunOnMemory(const std::string& Dump, bool Quiet, uint64_t FailingByte) {
  MemoryStream dump{Dump, 0, FailingByte};
  MemoryStream vkf;
  CoreStream dumpStream{&kMemoryOps, &dump};
  CoreStream vkfStream{&kMemoryOps, &vkf};
  Outcome outcome;
  ConsoleOps console = CountingConsole(&outcome.Console);
  char line[kLineBufferSize];
  reset_run_state();
  outcome.Result = run_conversion(&dumpStream, &vkfStream, line, Quiet, &console);
  outcome.Vkf = vkf.Bytes;
  return outcome;
}

#ifndef QORVEX_FUZZ_UEFI_BINDING
// The same run through qorvexw's stdio binding, on memory FILEs.
bool RunOnStdio(const std::string& Dump, bool Quiet, Outcome* Result) {
  FILE* dumpFile = fmemopen(const_cast<char*>(Dump.data()), Dump.size(), "rb");
  if (dumpFile == nullptr) return false;
  char* written = nullptr;
  size_t writtenSize = 0;
  FILE* vkfFile = open_memstream(&written, &writtenSize);
  // Static, as in qorvexw: each holds a large read-ahead window.
  static StdioFile dump;
  static StdioFile vkf;
  CoreStream dumpStream = make_stdio_stream(&dump, dumpFile);
  CoreStream vkfStream = make_stdio_stream(&vkf, vkfFile);
  ConsoleOps console = CountingConsole(&Result->Console);
  char line[kLineBufferSize];
  reset_run_state();
  Result->Result = run_conversion(&dumpStream, &vkfStream, line, Quiet, &console);
  // The binding gathers records in its window; qorvexw flushes it at the end.
  FUZZ_CHECK(flush_stdio_stream(&vkf) == kStreamSuccess, "the gathered records could not be written");
  fclose(dumpFile);
  fclose(vkfFile);
  Result->Vkf.assign(written, writtenSize);
  free(written);
  return true;
}

// The dump repeated until it holds at least 100 KiB: the read-ahead window
// of the stdio binding is 32 KiB.
std::string Repeated(const std::string& Dump) {
  std::string repeated = Dump;
  while (!Dump.empty() && repeated.size() < 100 * 1024) repeated += Dump;
  return repeated;
}
#endif

std::string Describe(const std::string& Dump, const Outcome& Run, const std::string& Expected) {
  return "dump:     " + fuzz::Escaped(Dump) + "\nvkf:      " + fuzz::Escaped(Run.Vkf) +
         "\nexpected: " + fuzz::Escaped(Expected) + "\noutcome " + std::to_string(Run.Result.outcome) +
         ", records written " + std::to_string(Run.Result.records_written);
}

// FailingByte: the byte whose read fails, kNoFailure for none. The first
// read takes the two bytes that tell the encoding.
void CheckConsole(const Outcome& Run, bool Quiet, size_t Parsed, uint64_t FailingByte) {
  const ConsoleCount& console = Run.Console;
  if (Quiet) {
    FUZZ_CHECK(console.Progress + console.Traces + console.Done == 0, "a quiet run printed");
    return;
  }
  const bool started =
      Run.Result.outcome != RunDumpTooShort && !(Run.Result.outcome == RunReadError && FailingByte < 2);
  FUZZ_CHECK(console.Progress == (started ? 1u : 0u), "progress line count");
  FUZZ_CHECK(console.Done == 0, "the run printed the done line");
  FUZZ_CHECK(console.Traces <= Parsed, "more traces than records");
}

// The checks of a run without a fault, or with a failed read.
void CheckRun(const std::string& Dump, const Outcome& Run, bool Quiet, uint64_t FailingByte) {
  const auto records = fuzz::ReferenceRecords(Dump);
  const std::string expected = fuzz::ReferenceVkf(records, kLineFeeds);
  FUZZ_CHECK(Run.Result.outcome != RunOutOfMemory && Run.Result.outcome != RunWriteError &&
                 Run.Result.write_status == kStreamSuccess,
             Describe(Dump, Run, expected));
  if (Run.Result.outcome == RunReadError) {
    FUZZ_CHECK(FailingByte != kNoFailure && Run.Result.read_status == kReadFailure, Describe(Dump, Run, expected));
    size_t whole = fuzz::WholeRecordPrefix(records, kLineFeeds, Run.Vkf);
    FUZZ_CHECK(whole != fuzz::kNoRecord, Describe(Dump, Run, expected));
    FUZZ_CHECK(Quiet || Run.Console.Traces == whole, "one trace per record written");
    CheckConsole(Run, Quiet, records.size(), FailingByte);
    return;
  }
  const RunOutcome wanted = Dump.size() < 2 ? RunDumpTooShort : records.empty() ? RunNoFields : RunCompleted;
  FUZZ_CHECK(Run.Result.outcome == wanted, Describe(Dump, Run, expected));
  FUZZ_CHECK(Run.Vkf == expected, Describe(Dump, Run, expected));
  FUZZ_CHECK(Quiet || Run.Console.Traces == records.size(), "one trace per record");
  CheckConsole(Run, Quiet, records.size(), FailingByte);
}

#ifdef QORVEX_FUZZ_UEFI_BINDING
// A run on the fake firmware whose FailingAllocation-th pool allocation
// fails (0: none).
Outcome RunOnFirmware(const std::string& Dump, bool Quiet, uint64_t FailingByte, size_t FailingAllocation) {
  fake::FakeFirmware fw;
  fuzz::StartOnFirmware(fw);
  AppBootServices = fw.BootServices();
  if (FailingAllocation != 0) fw.FailAllocation(FailingAllocation);
  Outcome run = RunOnMemory(Dump, Quiet, FailingByte);
  fuzz::EndOnFirmware(fw, FailingAllocation != 0, fuzz::Escaped(Dump));
  return run;
}

void CheckRunWithoutMemory(const std::string& Dump, const Outcome& Run, bool Quiet) {
  const auto records = fuzz::ReferenceRecords(Dump);
  const std::string expected = fuzz::ReferenceVkf(records, kLineFeeds);
  if (Run.Result.outcome != RunOutOfMemory) {
    CheckRun(Dump, Run, Quiet, kNoFailure);
    return;
  }
  const size_t whole = fuzz::WholeRecordPrefix(records, kLineFeeds, Run.Vkf);
  FUZZ_CHECK(whole != fuzz::kNoRecord && whole == Run.Result.records_written, Describe(Dump, Run, expected));
  CheckConsole(Run, Quiet, records.size(), kNoFailure);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::InputReader input(Data, Size);
  const uint8_t options = input.Byte();
  const uint16_t number = input.Word();
  std::string dump = input.Rest();
  const bool quiet = (options & 1) != 0;
  const uint64_t failingByte = (options & 2) != 0 ? number : kNoFailure;
#ifdef QORVEX_FUZZ_UEFI_BINDING
  if ((options & 4) != 0) {
    CheckRunWithoutMemory(dump, RunOnFirmware(dump, quiet, kNoFailure, number % 64 + 1), quiet);
  } else {
    CheckRun(dump, RunOnFirmware(dump, quiet, failingByte, 0), quiet, failingByte);
  }
#else
  if ((options & 8) != 0) dump = Repeated(dump);
  Outcome run;
  if ((options & 4) != 0 && !dump.empty() && RunOnStdio(dump, quiet, &run)) {
    CheckRun(dump, run, quiet, kNoFailure);
  } else {
    CheckRun(dump, RunOnMemory(dump, quiet, failingByte), quiet, failingByte);
  }
#endif
  return 0;
}
