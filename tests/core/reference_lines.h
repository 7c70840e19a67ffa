// The lines of a dump found character by character in the whole text, as
// the reading rules of line_reader.h say, written apart from the core's
// window reader: the lines that reader must hand out.
#ifndef QORVEX_TESTS_CORE_REFERENCE_LINES_H
#define QORVEX_TESTS_CORE_REFERENCE_LINES_H

#include <string>
#include <vector>

// Every line of `bytes`, 8-bit or UTF-16LE text, each narrowed to the low
// bytes of its characters.
std::vector<std::string> reference_lines(const std::string& bytes, bool eight_bit);

#endif  // QORVEX_TESTS_CORE_REFERENCE_LINES_H
