// Replacing a file on POSIX systems: rename() puts the new file in place in
// one step, fsync() gets it onto the disk first, and fsync() of the folder
// gets the new entries there too: without it a power cut soon after the
// rename can bring the old file back.
#include "replace_file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "replace_file-posix.h"

ReplaceFileCalls replace_file_calls = {fsync, rename};

TargetInfo examine_target(const char* name) {
  struct stat info;
  if (stat(name, &info) != 0) {
    // Any other failure (a missing folder, no access) would fail the create too.
    return TargetInfo{errno == ENOENT ? TargetMissing : TargetUnusable, 0};
  }
  if (S_ISDIR(info.st_mode)) return TargetInfo{TargetUnusable, 0};
  if (!S_ISREG(info.st_mode)) return TargetInfo{TargetDevice, 0};
  // Opened and closed only to learn that it could be written: a file the
  // user made read-only stays as it is, as it did when it was truncated.
  int probe = open(name, O_WRONLY | O_NONBLOCK);
  if (probe < 0) return TargetInfo{TargetUnusable, 0};
  close(probe);
  return TargetInfo{TargetRegular, static_cast<unsigned>(info.st_mode & 07777)};
}

char* follow_link(const char* name, bool* broken) {
  struct stat info;
  *broken = false;
  if (lstat(name, &info) != 0 || !S_ISLNK(info.st_mode)) return nullptr;
  if (stat(name, &info) != 0) {
    *broken = true;
    return nullptr;
  }
  // A link to a pipe or device (/dev/stdout) is written through as it is.
  if (!S_ISREG(info.st_mode)) return nullptr;
  char* target = realpath(name, nullptr);
  *broken = target == nullptr;
  return target;
}

size_t folder_part_length(const char* name) {
  const char* separator = strrchr(name, '/');
  return separator != nullptr ? static_cast<size_t>(separator - name) + 1 : 0;
}

bool finish_temporary(FILE* temporary, const TargetInfo& target) {
  // A new file gets the permissions a newly created VKF file had.
  if (target.kind == TargetRegular && fchmod(fileno(temporary), target.mode) != 0) return false;
  return fflush(temporary) == 0 && replace_file_calls.sync(fileno(temporary)) == 0;
}

bool put_in_place(const char* temporary, const char* name) { return replace_file_calls.rename(temporary, name) == 0; }

bool sync_folder(const char* folder) {
  // A folder with the rights to write and search but not to read cannot be
  // opened to flush it; its entries reach the disk when the system writes
  // them, as they always did.
  const int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return errno == EACCES;
  // EINVAL: a file system that cannot flush a folder (some FUSE ones).
  const bool synced = replace_file_calls.sync(descriptor) == 0 || errno == EINVAL;
  close(descriptor);
  return synced;
}

void visit_files(const char* folder, const char* prefix, void (*visit)(void* context, const char* file_name),
                 void* context) {
  DIR* entries = opendir(folder);
  if (entries == nullptr) return;
  const size_t prefix_length = strlen(prefix);
  for (const dirent* entry; (entry = readdir(entries)) != nullptr;) {
    if (strncmp(entry->d_name, prefix, prefix_length) != 0) continue;
    struct stat info;
    if (fstatat(dirfd(entries), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
      visit(context, entry->d_name);
    }
  }
  closedir(entries);
}

bool process_is_gone(unsigned long process) {
  // Signal 0 only asks whether the process exists. An id beyond pid_t
  // would turn negative and name a process group.
  if (process == 0 || process > static_cast<unsigned long>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}
