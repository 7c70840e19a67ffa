// Tells whether two shell file names name the same file.
//
// The VKF file is deleted and created anew, so a VKF name that names the open
// dump would destroy the dump. Names can differ and still name one file
// ("d.txt" and "fs0:\D.TXT" with fs0:\ current), so the names are compared as
// the device paths that the shell maps them to.
#ifndef QORVEX_APP_SAME_FILE_H
#define QORVEX_APP_SAME_FILE_H

#include "Efi.h"

// Compares two device paths as names of a file: the nodes before the first
// file-path node (the device) must be equal byte for byte; the file-path
// nodes are joined into one path and compared component by component,
// ignoring the case of the ASCII letters (as FAT does), taking '/' as '\',
// and skipping empty and "." components and resolving "..". Paths whose file
// part holds another kind of node are different unless their bytes are equal.
// *Same receives the answer. EFI_OUT_OF_RESOURCES when the pool cannot hold
// the joined paths; *Same is then not written.
EFI_STATUS DevicePathsNameSameFile(const EFI_DEVICE_PATH_PROTOCOL* First, const EFI_DEVICE_PATH_PROTOCOL* Second,
                                   BOOLEAN* Same);

// The same for two shell file names, mapped through the shell environment.
// A name the shell cannot map names no open file: the answer is FALSE.
EFI_STATUS FileNamesNameSameFile(const CHAR16* First, const CHAR16* Second, BOOLEAN* Same);

#endif  // QORVEX_APP_SAME_FILE_H
