// Replacing a file on POSIX systems: rename() puts the new file in place in
// one step, fsync() gets it onto the disk first.
#include "replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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
  return fflush(temporary) == 0 && fsync(fileno(temporary)) == 0;
}

bool put_in_place(const char* temporary, const char* name) { return rename(temporary, name) == 0; }
