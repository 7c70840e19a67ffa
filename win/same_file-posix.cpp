// The identity of a file on POSIX systems: device and inode. stat follows
// symbolic links, so a link to the dump is the dump.
#include "same_file.h"

#include <errno.h>
#include <sys/stat.h>

NameIdentity identify_name(const char* name, FILE* open_file) {
  struct stat open_info;
  struct stat named_info;
  if (fstat(fileno(open_file), &open_info) != 0) return NameIdentityUnknown;
  if (stat(name, &named_info) != 0) {
    // Only a name that reaches nothing is surely another file; any other
    // failure (a name too long, a loop of links, no access) leaves it open.
    return errno == ENOENT ? NameIsOtherFile : NameIdentityUnknown;
  }
  const bool same = named_info.st_dev == open_info.st_dev && named_info.st_ino == open_info.st_ino;
  return same ? NameIsOpenFile : NameIsOtherFile;
}
