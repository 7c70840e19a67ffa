// The one way qorvexw writes a VKF file, for the conversion and the SMBIOS
// backup alike: begin the new file (vkf_output.h), let the job write its
// records, flush them, put the file in place and print "Done!".
#ifndef QORVEX_WIN_VKF_JOB_H
#define QORVEX_WIN_VKF_JOB_H

#include <stdio.h>

#include "binding.h"

// Writes a job's records into `vkf`; returns false after printing the
// job's message for its failure. The records may still sit in the stream's
// window: the caller flushes them.
typedef bool (*VkfRecordWriter)(void* job, CoreStream* vkf, ConsoleOps* console);

// Writes the VKF file `vkf_name` (argv[kVkfArgument]) with `write` and puts
// it in place; `source` is the open file the job reads, which the VKF name
// may not reach. Returns the exit code; on any failure the VKF name is left
// as it was.
int write_vkf(const char* vkf_name, FILE* source, bool quiet, VkfRecordWriter write, void* job);

#endif  // QORVEX_WIN_VKF_JOB_H
