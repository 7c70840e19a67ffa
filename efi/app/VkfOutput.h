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
// Putting the file in place, each step on the media before the next one
// starts (the file system's Flush, then a flush of the volume's device):
// the new file is written and flushed under "<leaf>.qvx-new"; the old VKF
// file (if any) is renamed to "<leaf>.qvx-old"; the new file is renamed to
// the VKF name; the old file is deleted. <leaf> is the VKF file's own last
// name as FAT keeps it (leading blanks, trailing blanks and dots dropped),
// in the VKF file's folder: "dumps\board.vkf" is written as
// "dumps\board.vkf.qvx-new", its old file moves to "dumps\board.vkf.qvx-old".
// A rename that fails finds the old file still there and renames it back.
// FAT renames a file with SetInfo within its own directory; the names are
// leaf names.
//
// Why the VKF's own name and a role suffix: a power cut can stop the steps
// anywhere, and the next run must tell from the names alone which leftover
// belongs to which VKF file and what it holds. A folder may hold several VKF
// files; the pair of one is never mistaken for the pair of another, and no
// file outside these two names is ever touched. A VKF name that itself ends
// in ".qvx-new" or ".qvx-old" is refused, so no VKF file is ever taken for
// a leftover.
//
// After a power cut the next run that writes the same VKF name finds, before
// it writes anything:
//   VKF name missing, "old" there: the old file goes back under the VKF name
//       (TokenVkfRestored, printed also under /q), and "new" is deleted. The
//       old file was whole on the media before the run, and a rename leaves
//       its data alone. The new file is not trusted even though the device
//       was flushed before the old file moved: a driver may answer a device
//       flush without flushing, so its rename may have reached the media and
//       its data not. It never held the VKF name,
//       and the run writes it again;
//   VKF name missing, only "new" there: it may be incomplete: it is deleted;
//   VKF name there: it is whole (old or new), and "new" and "old" are deleted.
// A leftover name that reaches a directory, a file that cannot be opened
// for writing or deleted, or the dump is not touched: the run stops with the
// open message.
//
// Messages, printed by token with the VKF name as typed:
//   TokenOpenFailed    the VKF name cannot be opened, is a directory, reaches
//                      the dump, is refused as above, or a leftover cannot be
//                      put in place or removed, or no new file can be made
//   TokenWriteFailed   the flush or a rename fails, or the old file cannot
//                      be renamed aside
//   TokenOldVkfKept    the old file is left under its temporary name: it
//                      could not be renamed back after a failure, or not
//                      deleted after the new file took its place (the run
//                      still succeeds then; the next run puts it back or
//                      deletes it)
//   TokenVkfRestored   the old file of an interrupted replacement is back
#ifndef QORVEX_APP_VKF_OUTPUT_H
#define QORVEX_APP_VKF_OUTPUT_H

#include "Efi.h"

// The role suffixes of the new file and the old file.
inline constexpr CHAR16 kNewFileSuffix[] = u".qvx-new";
inline constexpr CHAR16 kOldFileSuffix[] = u".qvx-old";
constexpr UINTN kRoleSuffixUnits = sizeof(kNewFileSuffix) / sizeof(CHAR16) - 1;
static_assert(sizeof(kNewFileSuffix) == sizeof(kOldFileSuffix), "both suffixes have one length");

struct VkfOutput {
  const CHAR16* Name;       // the VKF name as typed
  const CHAR16* Leaf;       // its last name, which the new file gets
  CHAR16* Temporary;        // pool: the new file's name, "<leaf>.qvx-new" in Name's folder
  CHAR16* Aside;            // pool: the old file's name, "<leaf>.qvx-old" in Name's folder
  EFI_HANDLE Volume;        // the volume of Name, whose device is flushed; null when unknown
  EFI_FILE_PROTOCOL* Old;   // the existing VKF file, open for writing; null when there is none
  CHAR16* OldName;          // pool: the old file's name as the file system stores it
  EFI_FILE_PROTOCOL* File;  // the new file, where the records go; null once committed
};

// Checks the VKF name, finishes or clears what a cut run left of an earlier
// replacement, and makes the new file. An existing VKF file must be a plain
// file that can be opened for writing; when Dump is given, neither it nor a
// leftover may be the dump (the same-file check comes before anything is
// created or deleted). Returns EFI_SUCCESS with Output->File open and empty, or, after
// the open message: the open's status, EFI_ABORTED (the VKF name is a
// directory or has no information), EFI_ACCESS_DENIED (it is the dump, a
// leftover is not ours to touch, or the new file's name holds a file that
// is not empty), EFI_LOAD_ERROR (the new file has no information),
// EFI_INVALID_PARAMETER (the name ends in '\', ':' or a role suffix),
// EFI_OUT_OF_RESOURCES, or the status of a leftover's failing rename.
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
