// Tells whether a file name names a file that is already open.
#ifndef QORVEX_WIN_SAME_FILE_H
#define QORVEX_WIN_SAME_FILE_H

#include <stdio.h>

// True when `name` is an existing file that is the very file `open_file`
// reads, however it is spelled (other path, hard link, symbolic link).
// Opening the VKF file for writing truncates it, so this is asked first.
bool names_open_file(const char* name, FILE* open_file);

#endif  // QORVEX_WIN_SAME_FILE_H
