// The platform's part in replacing a file whole: what a name reaches, how a
// file gets onto the disk, how one file takes another's name in one step,
// and which files a run that was cut off left behind.
// replace_file-posix.cpp and replace_file-win32.cpp implement it.
#ifndef QORVEX_WIN_REPLACE_FILE_H
#define QORVEX_WIN_REPLACE_FILE_H

#include <stddef.h>
#include <stdio.h>

enum TargetKind {
  TargetMissing,   // Nothing has the name yet.
  TargetRegular,   // An existing regular file that could be opened for writing.
  TargetDevice,    // A pipe or device (/dev/stdout, a FIFO, NUL): written directly.
  TargetUnusable,  // A folder, or a file that cannot be written.
};

struct TargetInfo {
  TargetKind kind;
  unsigned mode;  // Permission bits of a regular target (POSIX only).
};

// What `name` reaches. Opening an existing file for writing is tried
// (without truncating it), so that a file the run could not write is refused
// before anything is created, as opening it to write would have been.
TargetInfo examine_target(const char* name);

// Where `name` leads when it is a symbolic link to a regular file, as a path
// the caller frees: the file written through the link before is replaced,
// and the link stays. Null for any other name; `broken` is set for a link
// that leads nowhere or cannot be followed.
char* follow_link(const char* name, bool* broken);

// Characters of `name` up to and including its last folder separator: the
// folder the temporary file goes into ("" for the current folder).
size_t folder_part_length(const char* name);

// Gives the temporary file the target's permission bits, then pushes its
// bytes through the C runtime's and the system's caches onto the disk.
bool finish_temporary(FILE* temporary, const TargetInfo& target);

// Moves `temporary` to `name` in one step, replacing the file there.
bool put_in_place(const char* temporary, const char* name);

// Gets the entries of `folder` (a file created or renamed in it) onto the
// disk. False when the system reports a failure; true where the system
// cannot flush a folder, or need not since its rename wrote through.
bool sync_folder(const char* folder);

// Calls `visit(context, file_name)` for each regular file in `folder` whose
// name begins with `prefix`; folders and links are passed over.
void visit_files(const char* folder, const char* prefix, void (*visit)(void* context, const char* file_name),
                 void* context);

// True only when no process with the id `process` exists any more, so that
// no program can be writing a file that process named. Any doubt (no
// right to ask, an id the system cannot have) counts as a running process.
bool process_is_gone(unsigned long process);

#endif  // QORVEX_WIN_REPLACE_FILE_H
