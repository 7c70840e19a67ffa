// The fake FAT is a claim about OVMF's FAT driver: put the same table of
// names to both and the answers must agree. The table and the files it
// works on are in tests/e2e/data (fat_cases.txt, fat_layout.txt); OVMF's
// answers are recorded in tests/e2e/expected/fat_names.out, and the
// firmware test hands this test OVMF's answers of the day through the
// environment variable QORVEX_FAT_ANSWERS.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FakeConsole.h"
#include "FakeFileSystem.h"
#include "FirmwareTest.h"
#include "NameProbe.h"

namespace {

std::string ReadText(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(Text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void Collect(void* Context, const CHAR16* Text) { *static_cast<std::u16string*>(Context) += Text; }

class FakeFatNamesTest : public fake::FirmwareTest {
 protected:
  // Lays the files of fat_layout.txt into "\fatnames", in their order:
  // "dir\" makes a directory, "name=bytes" a file.
  void LayOut(const std::string& Layout) {
    fs0.MakeDirectory(u"\\fatnames");
    for (const std::string& line : Lines(Layout)) {
      if (line.empty()) continue;
      size_t equals = line.find('=');
      std::u16string path = u"\\fatnames\\" + fake::Widen(line.substr(0, equals));
      if (equals == std::string::npos) {
        fs0.MakeDirectory(path);
      } else {
        fs0.WriteFile(path, line.substr(equals + 1));
      }
    }
  }

  fake::FakeFileSystem fs{fw};
  fake::FakeVolume& fs0 = fs.AddVolume();
};

TEST_F(FakeFatNamesTest, AnswersTheNameTableAsOvmfDoes) {
  const std::string data = QORVEX_SOURCE_DIR "/tests/e2e/data/";
  const char* live = std::getenv("QORVEX_FAT_ANSWERS");
  const std::string answersPath = live != nullptr ? live : QORVEX_SOURCE_DIR "/tests/e2e/expected/fat_names.out";
  const std::vector<std::string> answers = Lines(ReadText(answersPath));
  const std::string cases = ReadText(data + "fat_cases.txt");
  ASSERT_FALSE(answers.empty()) << answersPath;
  LayOut(ReadText(data + "fat_layout.txt"));

  EFI_FILE_PROTOCOL* root = nullptr;
  EFI_FILE_PROTOCOL* start = nullptr;
  ASSERT_EQ(fs0.Protocol()->OpenVolume(fs0.Protocol(), &root), EFI_SUCCESS);
  ASSERT_EQ(root->Open(root, &start, u"fatnames", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
  std::u16string output;
  RunNameCases(start, reinterpret_cast<const UINT8*>(cases.data()), cases.size(), Collect, &output);
  start->Close(start);
  root->Close(root);

  const std::vector<std::string> fake = Lines(fake::Narrow(output));
  ASSERT_EQ(fake.size(), answers.size()) << "the table and the answers of " << answersPath << " differ in length";
  for (size_t i = 0; i < fake.size(); ++i) EXPECT_EQ(fake[i], answers[i]) << "fake FAT, line " << i + 1;
}

}  // namespace
