// The identity of a file on POSIX systems: device and inode. stat follows
// symbolic links, so a link to the dump is the dump.
#include "same_file.h"

#include <sys/stat.h>

bool names_open_file(const char* name, FILE* open_file) {
  struct stat open_info;
  struct stat named_info;
  if (fstat(fileno(open_file), &open_info) != 0 || stat(name, &named_info) != 0) return false;
  return named_info.st_dev == open_info.st_dev && named_info.st_ino == open_info.st_ino;
}
