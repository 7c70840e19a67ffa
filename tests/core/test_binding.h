// The core's link-time bindings for the unit tests, with memory accounting
// and failure injection, and an in-memory stream that records how it is used.
#ifndef QORVEX_TESTS_CORE_TEST_BINDING_H
#define QORVEX_TESTS_CORE_TEST_BINDING_H

#include <stdint.h>

#include <string>
#include <vector>

#include "binding.h"

namespace test_memory {

// Blocks from alloc_zeroed not yet released.
size_t live_blocks();
// Makes the n-th alloc_zeroed from now on (1 = the next one) return null;
// 0 turns injection off.
void fail_allocation(size_t n);
// Makes the n-th format_vkf_text from now on (1 = the next one) fail as a
// formatter without memory does; 0 turns injection off.
void fail_formatting(size_t n);
// Forgets injected failures; every test starts with this.
void reset();

}  // namespace test_memory

// A byte stream in memory. Failures can be injected per operation.
class MemoryStream {
 public:
  explicit MemoryStream(std::string bytes = "") : data(std::move(bytes)) {}

  CoreStream stream() { return CoreStream{&kOps, this}; }

  std::string data;
  uint64_t position = 0;

  // A failure injected into the operation with this 1-based number.
  struct Failure {
    size_t number;
    uint64_t status;
  };
  // Statuses as the UEFI binding passes them on; any value works.
  static constexpr uint64_t kDeviceError = 0x8000000000000007ull;
  static constexpr uint64_t kWriteProtected = 0x8000000000000008ull;
  static constexpr uint64_t kVolumeFull = 0x800000000000000Bull;

  // Injection: these reads fail with their status; nothing is read.
  std::vector<Failure> failing_reads;
  // Injection: no read delivers more than this many bytes (0: no limit).
  size_t read_limit = 0;
  // Injection: these writes fail with their status; nothing is stored.
  std::vector<Failure> failing_writes;
  // Injection: these writes (1-based numbers) store only half of their
  // bytes and still report success.
  std::vector<size_t> short_writes;
  bool set_position_fails = false;  // set_position fails

  // What the core did.
  size_t reads = 0;
  size_t writes = 0;
  size_t largest_read = 0;

 private:
  static const StreamOps kOps;
};

#endif  // QORVEX_TESTS_CORE_TEST_BINDING_H
