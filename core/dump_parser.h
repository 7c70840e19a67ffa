// Turns a dump line into a DumpRecord.
//
// A field line, once leading and trailing blanks are removed, reads
//   (/CODE)any text "value" any text
// with a code of 1 to 5 characters that the FieldTable knows (letters
// compared without regard to case) and the value between the first and the
// last double quote of the line. Every other line is not a field line.
#ifndef QORVEX_CORE_DUMP_PARSER_H
#define QORVEX_CORE_DUMP_PARSER_H

#include "dump_record.h"

// Removes leading and trailing spaces and tabs (only those two) in place.
void trim_blanks(char* text);

// Returns 1 and fills `record` when `line` is a known field line; the caller
// then owns the record's three strings. Returns 0 otherwise, with nothing
// left allocated. The line is changed in place (trimmed, and cut before a
// dropped trailing 'h' of the fields that carry the strip-h flag).
int parse_line(char* line, DumpRecord* record);

#endif  // QORVEX_CORE_DUMP_PARSER_H
