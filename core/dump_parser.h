// Turns a dump line into a DumpRecord.
//
// A field line, once leading and trailing blanks are removed, reads
//   (/CODE)any text "value" any text
// with a code of 1 to 5 characters that the FieldTable knows (letters
// compared without regard to case) and the value between the first and the
// last double quote of the line. Every other line is not a field line.
#ifndef QORVEX_CORE_DUMP_PARSER_H
#define QORVEX_CORE_DUMP_PARSER_H

#include <stddef.h>

#include "dump_record.h"

// Removes leading and trailing spaces and tabs (only those two) in place.
void trim_blanks(char* text);

enum ParseOutcome {
  ParseSkipped,      // Not a field line (or a missing argument); nothing allocated.
  ParseRecord,       // A field line: `record` is filled and its strings are the caller's.
  ParseOutOfMemory,  // A field line whose strings could not be allocated; nothing left allocated.
};

// Parses the `length` characters at `line` (which hold no NUL) into `record`.
// The line is not changed.
ParseOutcome parse_text(const char* line, size_t length, DumpRecord* record);

// Parses the C string `line` into `record`, as parse_text does.
ParseOutcome parse_line(const char* line, DumpRecord* record);

#endif  // QORVEX_CORE_DUMP_PARSER_H
