// Telling whether two device paths name the same file, as the shell
// application asks before it deletes an existing VKF file.
#include <string>
#include <vector>

#include "FakeFileSystem.h"
#include "FirmwareTest.h"
#include "SameFile.h"

namespace {

using fake::EndOfPathNode;
using fake::FilePathNode;
using fake::JoinNodes;
using Nodes = std::vector<std::vector<UINT8>>;

std::vector<UINT8> DeviceNode(UINT8 Partition) { return {MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP, 5, 0, Partition}; }
std::vector<UINT8> VendorNode() { return {HARDWARE_DEVICE_PATH, 4, 6, 0, 0xAA, 0xBB}; }

// A path on partition 1 with one file-path node per name.
std::vector<UINT8> OnDisk(const std::vector<std::u16string>& Names, UINT8 Partition = 1) {
  Nodes nodes = {DeviceNode(Partition)};
  for (const std::u16string& name : Names) nodes.push_back(FilePathNode(name));
  nodes.push_back(EndOfPathNode());
  return JoinNodes(nodes);
}

struct SameFileCase {
  const char* Name;
  std::vector<UINT8> First;
  std::vector<UINT8> Second;
  bool Same;
};

void PrintTo(const SameFileCase& c, std::ostream* os) { *os << c.Name; }

class SameFileTest : public fake::FirmwareTest, public ::testing::WithParamInterface<SameFileCase> {};

TEST_P(SameFileTest, ComparesTheFileNamesLikeFat) {
  SameFileCase c = GetParam();
  for (bool swapped : {false, true}) {
    BOOLEAN same = 2;
    std::vector<UINT8>& first = swapped ? c.Second : c.First;
    std::vector<UINT8>& second = swapped ? c.First : c.Second;
    ASSERT_EQ(DevicePathsNameSameFile(fake::AsDevicePath(first), fake::AsDevicePath(second), &same), EFI_SUCCESS);
    EXPECT_EQ(same, c.Same ? TRUE : FALSE) << (swapped ? "swapped" : "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameFileTest,
    ::testing::Values(
        SameFileCase{"Identical", OnDisk({u"\\d.txt"}), OnDisk({u"\\d.txt"}), true},
        SameFileCase{"OtherCase", OnDisk({u"\\Dir\\D.TXT"}), OnDisk({u"\\dir\\d.txt"}), true},
        SameFileCase{"OnlyAsciiLettersFold", OnDisk({u"\\\u00E9"}), OnDisk({u"\\\u00C9"}), false},
        SameFileCase{"SplitIntoNodes", OnDisk({u"\\dir", u"d.txt"}), OnDisk({u"\\dir\\d.txt"}), true},
        SameFileCase{"DotAndDoubleSeparator", OnDisk({u"\\dir\\.\\\\d.txt"}), OnDisk({u"\\dir\\d.txt"}), true},
        SameFileCase{"DotDot", OnDisk({u"\\dir\\sub\\..\\d.txt"}), OnDisk({u"\\dir\\d.txt"}), true},
        SameFileCase{"ForwardSlashes", OnDisk({u"/dir/d.txt"}), OnDisk({u"\\dir\\d.txt"}), true},
        SameFileCase{"OtherName", OnDisk({u"\\dir\\d.txt"}), OnDisk({u"\\dir\\e.txt"}), false},
        SameFileCase{"Deeper", OnDisk({u"\\dir\\d.txt"}), OnDisk({u"\\dir\\d.txt\\x"}), false},
        SameFileCase{"SeparatorMatters", OnDisk({u"\\ab"}), OnDisk({u"\\a\\b"}), false},
        SameFileCase{"OtherPartition", OnDisk({u"\\d.txt"}, 1), OnDisk({u"\\d.txt"}, 2), false},
        SameFileCase{"LongerDevicePart", JoinNodes({VendorNode(), DeviceNode(1), FilePathNode(u"\\d.txt"),
                                                    EndOfPathNode()}),
                     OnDisk({u"\\d.txt"}), false},
        SameFileCase{"BothRoots", OnDisk({}), OnDisk({u"\\"}), true},
        SameFileCase{"OtherNodeAmongFilesEqualBytes",
                     JoinNodes({DeviceNode(1), FilePathNode(u"\\d"), VendorNode(), EndOfPathNode()}),
                     JoinNodes({DeviceNode(1), FilePathNode(u"\\d"), VendorNode(), EndOfPathNode()}), true},
        SameFileCase{"OtherNodeAmongFilesOtherCase",
                     JoinNodes({DeviceNode(1), FilePathNode(u"\\D"), VendorNode(), EndOfPathNode()}),
                     JoinNodes({DeviceNode(1), FilePathNode(u"\\d"), VendorNode(), EndOfPathNode()}), false}),
    [](const ::testing::TestParamInfo<SameFileCase>& info) { return std::string(info.param.Name); });

class SameFileMemoryTest : public fake::FirmwareTest {};

TEST_F(SameFileMemoryTest, NoPoolIsReportedAndLeavesTheAnswerUnwritten) {
  std::vector<UINT8> first = OnDisk({u"\\d.txt"});
  std::vector<UINT8> second = OnDisk({u"\\d.txt"});
  size_t reached = fake::FailEachAllocation(fw, [&](size_t) {
    BOOLEAN same = 2;
    EFI_STATUS status = DevicePathsNameSameFile(fake::AsDevicePath(first), fake::AsDevicePath(second), &same);
    if (status == EFI_SUCCESS) {
      EXPECT_EQ(same, TRUE);
    } else {
      EXPECT_EQ(status, EFI_OUT_OF_RESOURCES);
      EXPECT_EQ(same, 2);
    }
  });
  EXPECT_EQ(reached, 2u);
}

}  // namespace
