#include "FuzzCheck.h"

#include <stdio.h>
#include <stdlib.h>

namespace fuzz {

void Fail(const char* Invariant, const std::string& Detail) {
  fprintf(stderr, "\n==== invariant broken: %s\n%s\n", Invariant, Detail.c_str());
  fflush(stderr);
  abort();
}

std::string Escaped(const std::string& Bytes) {
  std::string text;
  for (unsigned char c : Bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text.push_back(char(c));
      continue;
    }
    char hex[8];
    snprintf(hex, sizeof(hex), "\\x%02X", c);
    text += hex;
  }
  return text;
}

uint8_t InputReader::Byte() { return at_ < size_ ? data_[at_++] : 0; }

uint16_t InputReader::Word() {
  uint16_t low = Byte();
  return uint16_t(low | (Byte() << 8));
}

std::string InputReader::Until(uint8_t Separator) {
  size_t start = at_;
  while (at_ < size_ && data_[at_] != Separator) ++at_;
  std::string part(reinterpret_cast<const char*>(data_) + start, at_ - start);
  if (at_ < size_) ++at_;
  return part;
}

std::string InputReader::Take(size_t Count) {
  if (Count > size_ - at_) Count = size_ - at_;
  std::string part(reinterpret_cast<const char*>(data_) + at_, Count);
  at_ += Count;
  return part;
}

std::string InputReader::Rest() { return Take(size_ - at_); }

std::u16string InputReader::RestUcs2() {
  std::u16string units;
  while (size_ - at_ >= 2) units.push_back(Word());
  at_ = size_;
  return units;
}

}  // namespace fuzz
