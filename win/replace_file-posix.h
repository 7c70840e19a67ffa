// The system calls with which replace_file-posix.cpp gets a file onto the
// disk and into its place. They are reached through this table so that a
// host test can make each of them fail as a failing disk does, which no
// file or permission can provoke; the program never changes the table.
#ifndef QORVEX_WIN_REPLACE_FILE_POSIX_H
#define QORVEX_WIN_REPLACE_FILE_POSIX_H

struct ReplaceFileCalls {
  int (*sync)(int descriptor);  // fsync, of the file and of its folder.
  int (*rename)(const char* from, const char* to);
};

extern ReplaceFileCalls replace_file_calls;

#endif  // QORVEX_WIN_REPLACE_FILE_POSIX_H
