// The reference rules of the conversion, written from the dump and VKF
// formats rather than from the core: which records a dump gives and the VKF
// text of each. Only the field and section tables are shared with the core.
//
// Reading: a dump of fewer than 2 bytes gives nothing. FF FE selects
// UTF-16LE (of each character only the low byte is kept), anything else is
// 8-bit text from byte 0. A line is read in requests of at most 80
// characters and holds at most 255; it ends after the first line feed found
// in a request, where the search stops at a NUL character (the rest of that
// request then belongs to the line). The line's text ends at its first NUL.
//
// A field line, once spaces and tabs are trimmed from both ends, is at
// least 10 characters, starts "(/", has a code of 1 to 5 characters up to
// the first ')' that the field table knows (ASCII case ignored), and two
// distinct double quotes; the value lies between the first and the last
// one, less a final 'h' for the fields that drop it.
//
// Writing: "[Section]\r\n" before a record whose type differs from that of
// the last header written, then "Key = Value\r\n". The two front ends write
// a value's line-feed byte (a UTF-16LE character such as U+4E0A, whose low
// byte is 0x0A) differently: qorvexw copies it, qorvex's formatter writes
// CR LF for it unless a carriage return comes right before it.
#ifndef QORVEX_TESTS_FUZZ_REFERENCE_VKF_H
#define QORVEX_TESTS_FUZZ_REFERENCE_VKF_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace fuzz {

enum class LineFeeds { Copied, Expanded };

struct ReferenceRecord {
  uint8_t Type;
  std::string Code;  // as written in the dump
  std::string Key;
  std::string Value;
};

std::vector<ReferenceRecord> ReferenceRecords(const std::string& Dump);

constexpr size_t kNoRecord = ~size_t(0);

// The VKF text of the records without the one at Skip: a record that is
// not written owes its header to the next one.
std::string ReferenceVkf(const std::vector<ReferenceRecord>& Records, LineFeeds Rule, size_t Skip = kNoRecord);

// The number of leading records whose text is exactly Vkf, or kNoRecord when
// Vkf is no such prefix (a cut or altered record).
size_t WholeRecordPrefix(const std::vector<ReferenceRecord>& Records, LineFeeds Rule, const std::string& Vkf);

}  // namespace fuzz

#endif  // QORVEX_TESTS_FUZZ_REFERENCE_VKF_H
