// What every fuzz target shares: reporting a broken invariant, and reading
// the parts of an input.
#ifndef QORVEX_TESTS_FUZZ_FUZZ_CHECK_H
#define QORVEX_TESTS_FUZZ_FUZZ_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace fuzz {

// Prints the broken invariant and aborts: libFuzzer records the abort as a
// finding and saves the input that caused it.
[[noreturn]] void Fail(const char* Invariant, const std::string& Detail);

// Text for failure messages: printable bytes as they are, others as \xHH.
std::string Escaped(const std::string& Bytes);

// Reads an input front to back. Reads past the end give zeros and empty
// parts, so a target never has to reject a short input.
class InputReader {
 public:
  InputReader(const uint8_t* Data, size_t Size) : data_(Data), size_(Size) {}

  bool AtEnd() const { return at_ == size_; }
  uint8_t Byte();
  uint16_t Word();  // little endian
  // The bytes up to the next Separator (consumed, not returned), or all
  // that is left.
  std::string Until(uint8_t Separator);
  std::string Take(size_t Count);
  std::string Rest();
  // The rest as UCS-2 units, little endian; an odd last byte is dropped.
  std::u16string RestUcs2();

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The two bytes in front of an input of the firmware targets: option bits,
// and the number of the pool allocation to fail (0: none).
struct InputHeader {
  uint8_t Options;
  uint8_t Failing;
};
inline InputHeader ReadHeader(InputReader& Input) {
  const uint8_t options = Input.Byte();
  return InputHeader{options, Input.Byte()};
}

}  // namespace fuzz

#define FUZZ_CHECK(Condition, Detail)                     \
  do {                                                    \
    if (!(Condition)) ::fuzz::Fail(#Condition, (Detail)); \
  } while (0)

#endif  // QORVEX_TESTS_FUZZ_FUZZ_CHECK_H
