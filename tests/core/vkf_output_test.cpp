// A failing disk fails the fsync of the VKF file or of its folder, or the
// rename (swapped through their table): the old file and no temporary stay,
// unless the rename was done; it cannot be taken back.
#include "vkf_output.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "replace_file-posix.h"

namespace {

struct CommitFault {
  const char* name;
  bool file_sync;     // The fsync of the written file fails.
  int folder_sync;    // Which folder fsync fails: 1 after the create, 2 after the rename.
  int folder_errno;   // With this errno.
  bool rename;        // The rename fails.
  bool begun;         // What begin_vkf_output returns,
  bool committed;     // and commit_vkf_output.
  const char* after;  // The VKF file afterwards.
  int folder_syncs;   // Folder fsyncs made.
};

const CommitFault* fault;
int folder_syncs;

int failing_sync(int descriptor) {
  struct stat info;
  const bool folder = fstat(descriptor, &info) == 0 && S_ISDIR(info.st_mode);
  if (folder ? ++folder_syncs != fault->folder_sync : !fault->file_sync) return fsync(descriptor);
  errno = folder ? fault->folder_errno : EIO;
  return -1;
}

int failing_rename(const char* from, const char* to) { return fault->rename ? (errno = EIO, -1) : rename(from, to); }

std::set<std::string> listing(const std::string& folder) {
  std::set<std::string> names;
  DIR* entries = opendir(folder.c_str());
  for (const dirent* entry; (entry = readdir(entries)) != nullptr;) names.insert(entry->d_name);
  closedir(entries);
  return names;
}

TEST(VkfOutputTest, FailedCommitKeepsTheOldFileAndLeavesNoTemporary) {
  const CommitFault rows[] = {
      {"no fault", false, 0, 0, false, true, true, "new", 2},
      {"file fsync", true, 0, 0, false, true, false, "old", 1},
      {"folder fsync after the create", false, 1, EIO, false, false, false, "old", 1},
      {"rename", false, 0, 0, true, true, false, "old", 1},
      {"folder fsync after the rename", false, 2, EIO, false, true, false, "new", 2},
      {"folder that cannot be flushed", false, 1, EINVAL, false, true, true, "new", 2},
  };
  const ReplaceFileCalls real = replace_file_calls;
  replace_file_calls = {failing_sync, failing_rename};
  for (const CommitFault& row : rows) {
    SCOPED_TRACE(row.name);
    fault = &row;
    folder_syncs = 0;
    std::string folder = testing::TempDir() + "vkf_output_XXXXXX";
    ASSERT_NE(mkdtemp(&folder[0]), nullptr);
    const std::string vkf = folder + "/o.vkf";
    std::ofstream(vkf, std::ios::binary) << "old";
    VkfOutput output;
    const bool begun = begin_vkf_output(&output, vkf.c_str(), nullptr);
    EXPECT_EQ(begun, row.begun);
    if (begun) {
      fputs("new", output.file);
      EXPECT_EQ(commit_vkf_output(&output), row.committed);
    }
    std::ifstream after(vkf, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), row.after);
    EXPECT_EQ(listing(folder), (std::set<std::string>{".", "..", "o.vkf"}));
    EXPECT_EQ(folder_syncs, row.folder_syncs);
    unlink(vkf.c_str());
    rmdir(folder.c_str());
  }
  replace_file_calls = real;
}

}  // namespace
