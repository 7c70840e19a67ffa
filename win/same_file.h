// Tells whether a file name names a file that is already open.
#ifndef QORVEX_WIN_SAME_FILE_H
#define QORVEX_WIN_SAME_FILE_H

#include <stdio.h>

enum NameIdentity {
  NameIsOtherFile,      // No file by that name, or another file than the open one.
  NameIsOpenFile,       // The very file that is open, however it is spelled.
  NameIdentityUnknown,  // The file system could not say (a name too long for
                        // the call, an error): treated like the open file.
};

// Compares the file that `name` reaches (following links) with `open_file`.
// Writing the VKF file replaces whatever its name reaches, so this is asked
// first, and only NameIsOtherFile lets a run go on.
NameIdentity identify_name(const char* name, FILE* open_file);

#endif  // QORVEX_WIN_SAME_FILE_H
