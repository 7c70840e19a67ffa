// One converted dump field on its way from the parser to the VKF writer.
#ifndef QORVEX_CORE_DUMP_RECORD_H
#define QORVEX_CORE_DUMP_RECORD_H

#include <stdint.h>

// The parser fills a record; whoever received it from a successful parse owns
// the three strings and frees them with release_memory.
struct DumpRecord {
  uint8_t type;  // SMBIOS structure type of the field.
  char* code;    // Field code exactly as written in the dump ("ss" stays "ss").
  char* key;     // Setting key of the field, e.g. "SerialNum".
  char* value;   // Text between the first and the last double quote.
};

#endif  // QORVEX_CORE_DUMP_RECORD_H
