// Writes the VKF file so that a failed run never costs the user a file.
//
// A run writes into a new temporary file in the VKF file's own folder and,
// only once every byte of it is written and on the disk, puts it in place
// of the VKF name in one step (rename, MoveFileEx). A run that fails removes
// its temporary file: the VKF name is left exactly as it was, the old file
// byte for byte or no file at all. A name that is not a regular file (a
// pipe, /dev/stdout, /dev/null, CON or NUL) cannot be replaced and is
// written directly, so that output into a pipe keeps working.
//
// A run cut off by a power cut or a kill leaves its temporary file. Each run
// removes those in the folder it writes into whose process is gone, and no
// other file.
//
// Use:
//   VkfOutput output;
//   if (!begin_vkf_output(&output, name, dump)) -> the open message; nothing was created
//   ... write output.file ...
//   failed run:  abandon_vkf_output(&output);
//   complete:    if (!commit_vkf_output(&output)) -> the write message
// Every begun output ends in exactly one of commit_vkf_output and
// abandon_vkf_output, which close output.file.
#ifndef QORVEX_WIN_VKF_OUTPUT_H
#define QORVEX_WIN_VKF_OUTPUT_H

#include <stdio.h>

#include "replace_file.h"

struct VkfOutput {
  const char* name;        // The VKF name, as given, for the messages.
  const char* target;      // The name replaced: `name`, or where its symbolic link leads.
  char* followed_link;     // `target` when it was found through a link; freed at the end.
  FILE* file;              // Where the run writes: the temporary file, or the target itself.
  char* temporary_name;    // The temporary file's name; null when the target is written directly.
  TargetInfo target_info;  // What the target was when the output began.
};

// Opens the output for `name`. `source` is the open file the run reads, or
// null when it reads no file: when `name` reaches that file, or the file
// system cannot tell whether it does, the output is refused, since replacing
// the VKF would replace the source. Also refused: a name that reaches a
// folder or an existing file that could not be written, and a temporary file
// that cannot be created. Returns false when refused; nothing exists then.
bool begin_vkf_output(VkfOutput* output, const char* name, FILE* source);

// Puts the written file in place of the VKF name: flushes it to the disk,
// keeps the old file's permission bits where the system has them, replaces
// the old file and flushes the folder. Returns false when any step fails;
// the temporary file is removed then and the VKF name is as it was. Only
// when the folder cannot be flushed after the rename is the new file in
// place on a false: it may not outlast a power cut, so the run must be redone.
bool commit_vkf_output(VkfOutput* output);

// Ends a failed run: closes the output and removes the temporary file.
void abandon_vkf_output(VkfOutput* output);

#endif  // QORVEX_WIN_VKF_OUTPUT_H
