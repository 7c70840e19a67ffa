#include "ReferenceVkf.h"

#include "vocabulary.h"

namespace fuzz {

namespace {

constexpr size_t kLineLimit = 255;
constexpr size_t kRequest = 80;

// The next line's characters from Position on, as the reading rules take
// them; empty at the end of the dump.
std::string NextLine(const std::string& Dump, size_t* Position, size_t Width) {
  const size_t start = *Position;
  std::string line;
  bool found = false;
  while (!found && line.size() < kLineLimit) {
    size_t wanted = kLineLimit - line.size() < kRequest ? kLineLimit - line.size() : kRequest;
    size_t available = Dump.size() > *Position ? Dump.size() - *Position : 0;
    size_t bytes = wanted * Width < available ? wanted * Width : available;
    if (bytes == 0) break;
    const size_t units = bytes / Width;
    size_t taken = units;
    *Position += bytes;
    for (size_t i = 0; i < units; ++i) {
      unsigned unit = uint8_t(Dump[start + line.size() * Width + i * Width]);
      if (Width == 2) unit |= unsigned(uint8_t(Dump[start + line.size() * Width + i * Width + 1])) << 8;
      if (unit == 0) break;
      if (unit != 10) continue;
      found = true;
      taken = i + 1;
      break;
    }
    const size_t from = start + line.size() * Width;
    if (found) *Position = from + taken * Width;
    for (size_t i = 0; i < taken; ++i) line.push_back(Dump[from + i * Width]);
  }
  return line;
}

std::string Trimmed(const std::string& Text) {
  size_t first = Text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return Text.substr(first, Text.find_last_not_of(" \t") - first + 1);
}

std::string Upper(std::string Text) {
  for (char& c : Text) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return Text;
}

const FieldRow* FieldOf(const std::string& Code) {
  for (const FieldRow& row : FieldTable) {
    if (row.code != nullptr && Upper(Code) == row.code) return &row;
  }
  return nullptr;
}

bool ParseFieldLine(std::string Line, ReferenceRecord* Record) {
  Line = Trimmed(Line.substr(0, Line.find('\0')));
  if (Line.size() < 10 || Line.compare(0, 2, "(/") != 0) return false;
  size_t close = Line.find(')');
  if (close == std::string::npos || close <= 2 || close - 2 > 5) return false;
  size_t open_quote = Line.find('"');
  size_t close_quote = Line.rfind('"');
  if (open_quote == std::string::npos || close_quote <= open_quote) return false;
  const FieldRow* row = FieldOf(Line.substr(2, close - 2));
  if (row == nullptr) return false;
  std::string value = Line.substr(open_quote + 1, close_quote - open_quote - 1);
  if (row->strip_h != 0 && !value.empty() && value.back() == 'h') value.pop_back();
  *Record = ReferenceRecord{row->type, Line.substr(2, close - 2), row->key, value};
  return true;
}

const char* SectionName(uint8_t Type) {
  for (const SectionRow& row : SectionTable) {
    if (row.type == Type) return row.name;
  }
  return "";
}

std::string ValueText(const std::string& Value, LineFeeds Rule) {
  if (Rule == LineFeeds::Copied) return Value;
  std::string text;
  char before = ' ';  // the last character of " = "
  for (char c : Value) {
    if (c == '\n' && before != '\r') text.push_back('\r');
    text.push_back(c);
    before = c;
  }
  return text;
}

// The VKF text of the records without Skip. Ends, when given, gets the
// text's length before the first record and after each one.
std::string Render(const std::vector<ReferenceRecord>& Records, LineFeeds Rule, size_t Skip,
                   std::vector<size_t>* Ends) {
  std::string vkf;
  int last_type = -1;
  if (Ends != nullptr) Ends->push_back(0);
  for (size_t i = 0; i < Records.size(); ++i) {
    if (i == Skip) continue;
    const ReferenceRecord& record = Records[i];
    if (record.Type != last_type) vkf += "[" + std::string(SectionName(record.Type)) + "]\r\n";
    last_type = record.Type;
    vkf += record.Key + " = " + ValueText(record.Value, Rule) + "\r\n";
    if (Ends != nullptr) Ends->push_back(vkf.size());
  }
  return vkf;
}

}  // namespace

std::vector<ReferenceRecord> ReferenceRecords(const std::string& Dump) {
  std::vector<ReferenceRecord> records;
  if (Dump.size() < 2) return records;
  const bool utf16 = uint8_t(Dump[0]) == 0xFF && uint8_t(Dump[1]) == 0xFE;
  size_t position = utf16 ? 2 : 0;
  for (;;) {
    std::string line = NextLine(Dump, &position, utf16 ? 2 : 1);
    if (line.empty()) break;
    ReferenceRecord record;
    if (ParseFieldLine(line, &record)) records.push_back(record);
  }
  return records;
}

std::string ReferenceVkf(const std::vector<ReferenceRecord>& Records, LineFeeds Rule, size_t Skip) {
  return Render(Records, Rule, Skip, nullptr);
}

size_t WholeRecordPrefix(const std::vector<ReferenceRecord>& Records, LineFeeds Rule, const std::string& Vkf) {
  std::vector<size_t> ends;
  const std::string whole = Render(Records, Rule, kNoRecord, &ends);
  if (whole.compare(0, Vkf.size(), Vkf) != 0) return kNoRecord;
  for (size_t count = 0; count < ends.size(); ++count) {
    if (ends[count] == Vkf.size()) return count;
  }
  return kNoRecord;
}

}  // namespace fuzz
