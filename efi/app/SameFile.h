// Tells whether two open files are one file.
//
// The VKF file is deleted and created anew, so a VKF name that reaches the
// open dump would destroy it. Names that look different reach the same file
// in more ways than any set of spelling rules could list: letter case,
// trailing dots and blanks, "." and "..", the 8.3 alias of a long name. So
// the question is put to the file system itself, through what it reports of
// the two open files.
#ifndef QORVEX_APP_SAME_FILE_H
#define QORVEX_APP_SAME_FILE_H

#include "Efi.h"

// Deepest directory nesting the comparison follows; a deeper walk is not
// decided. (A FAT path of at most 260 characters nests far less.)
constexpr UINTN kDeepestFilePath = 256;

// *Same is TRUE when First and Second are the same file: the names the file
// system stores for each file and for every directory above it, up to the
// volume root (EFI_FILE_INFO's FileName, reached through ".." and empty for
// the root), are equal ignoring case, and the shell maps both names
// (FirstName opened First, SecondName opened Second) onto the same volume.
// The chains are walked side by side and the walk stops at the first pair of
// names that differ, so telling two files apart usually costs one query of
// each. The two handles stay open and unmoved; handles the walk opens are
// closed. Any failure (no information, no parent directory, no pool, a name
// the shell no longer maps, a path deeper than kDeepestFilePath) is returned
// as an error status and *Same is then not written: the caller must treat
// an undecided answer as "same".
EFI_STATUS OpenFilesAreSame(const CHAR16* FirstName, EFI_FILE_PROTOCOL* First, const CHAR16* SecondName,
                            EFI_FILE_PROTOCOL* Second, BOOLEAN* Same);

#endif  // QORVEX_APP_SAME_FILE_H
