#include "reference_lines.h"

#include <stdint.h>

#include <algorithm>

namespace {

constexpr size_t kLongestLine = 255;
constexpr size_t kStep = 80;

// Where the line that starts at character `start` ends (one past it).
template <typename CharacterAt>
size_t line_end(CharacterAt at, size_t start, size_t characters) {
  size_t end = start;
  while (end < characters && end - start < kLongestLine) {
    const size_t step_end = std::min(end + std::min(kStep, kLongestLine - (end - start)), characters);
    size_t stop = end;
    while (stop < step_end && at(stop) != u'\n' && at(stop) != 0) ++stop;
    // A line feed ends the line unless a NUL came first in the same step.
    if (stop < step_end && at(stop) == u'\n') return stop + 1;
    end = step_end;
  }
  return end;
}

}  // namespace

std::vector<std::string> reference_lines(const std::string& bytes, bool eight_bit) {
  const size_t width = eight_bit ? 1 : 2;
  const size_t characters = bytes.size() / width;
  auto low = [&](size_t i) { return static_cast<uint8_t>(bytes[i * width]); };
  auto at = [&](size_t i) -> char16_t {
    return eight_bit ? low(i) : static_cast<char16_t>(low(i) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  };
  std::vector<std::string> lines;
  for (size_t start = 0; start < characters;) {
    const size_t end = line_end(at, start, characters);
    std::string line;
    for (size_t i = start; i < end; ++i) line += static_cast<char>(low(i));
    lines.push_back(line);
    start = end;
  }
  return lines;
}
