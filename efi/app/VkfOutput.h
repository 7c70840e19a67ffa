// Writes the VKF file so that a failed run never costs the user a file.
//
// The records go into a new temporary file in the VKF file's own folder.
// Only when they are all written and flushed does the temporary file take
// the VKF name; on any failure it is deleted and the VKF name is left as it
// was before the run: the old file byte for byte, or no file.
//
//   VkfOutput output = {};
//   status = VkfOutputBegin(&output, VkfName, DumpName, Dump);  // prints its own message
//   ... write the records to output.File; on a failure: VkfOutputAbandon(&output) ...
//   status = VkfOutputCommit(&output);                          // prints its own message
//   VkfOutputAbandon(&output);  // in the clean-up, on every path: a no-op after a commit
//
// Putting the file in place: the old VKF file (if any) is renamed aside to a
// temporary name of its own, the new file is renamed to the VKF name, and
// only then is the old file deleted. So a rename that fails (a full
// directory, a refused name) finds the old file still there and renames it
// back. FAT renames a file with SetInfo within its own directory; the names
// are leaf names.
//
// Messages, printed by token with the VKF name as typed:
//   TokenOpenFailed    the VKF name cannot be opened, is a directory, reaches
//                      the dump, or no temporary file can be made
//   TokenWriteFailed   the flush or a rename fails, or the old file cannot
//                      be renamed aside
//   TokenOldVkfKept    the old file is left under its temporary name: it
//                      could not be renamed back after a failure, or not
//                      deleted after the new file took its place (the run
//                      still succeeds then)
#ifndef QORVEX_APP_VKF_OUTPUT_H
#define QORVEX_APP_VKF_OUTPUT_H

#include "Efi.h"

// Temporary names tried in a folder before giving up: "QVX00000.TMP" on.
// Short names need no long-name entries, so they fit a nearly full folder.
constexpr UINTN kTemporaryNameTries = 100;
constexpr UINTN kTemporaryLeafUnits = 12;  // "QVX00000.TMP"

struct VkfOutput {
  const CHAR16* Name;       // the VKF name as typed
  const CHAR16* Leaf;       // its last name, which the new file gets
  CHAR16* Folder;           // pool: Name up to its leaf, for the temporary names
  CHAR16* Temporary;        // pool: Folder and the new file's temporary leaf
  CHAR16* Aside;            // pool: Folder and the old file's temporary leaf
  EFI_FILE_PROTOCOL* Old;   // the existing VKF file, open for writing; null when there is none
  CHAR16* OldName;          // pool: the old file's name as the file system stores it
  EFI_FILE_PROTOCOL* File;  // the new file, where the records go; null once committed
};

// Checks the VKF name and makes the temporary file. An existing VKF file
// must be a plain file that can be opened for writing; when Dump is given,
// it must not be the dump (the same-file check comes before anything is
// created). Returns EFI_SUCCESS with Output->File open and empty, or, after
// the open message: the open's status, EFI_ABORTED (the VKF name is a
// directory or has no information), EFI_ACCESS_DENIED (it is the dump, or
// no free temporary name), EFI_LOAD_ERROR (the temporary file has no
// information), EFI_INVALID_PARAMETER (the name ends in '\' or ':'),
// EFI_OUT_OF_RESOURCES.
EFI_STATUS VkfOutputBegin(VkfOutput* Output, const CHAR16* Name, const CHAR16* DumpName, EFI_FILE_PROTOCOL* Dump);

// Flushes the new file and puts it in place of the VKF name. Returns
// EFI_SUCCESS when the new file holds the name, else the failing step's
// status after the write message; the VKF name is then as it was (or the
// old file is kept aside, and named).
EFI_STATUS VkfOutputCommit(VkfOutput* Output);

// Deletes the new file if it is still there and closes the old one, leaving
// it untouched; frees the names. Safe to call more than once.
VOID VkfOutputAbandon(VkfOutput* Output);

#endif  // QORVEX_APP_VKF_OUTPUT_H
