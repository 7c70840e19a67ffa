// Memory and VKF text formatting of the core, bound to the C runtime.
#ifndef QORVEX_WIN_RUNTIME_BINDING_H
#define QORVEX_WIN_RUNTIME_BINDING_H

#include "binding.h"

// The core releases the small blocks of a record before it allocates those
// of the next, so released blocks of up to this many bytes are kept and
// handed out again instead of going back to the C runtime: a run asks it
// for a handful of blocks, not three per record. Larger ones are not kept.
constexpr size_t kLargestKeptBlock = 256;

// Gives the kept blocks back to the C runtime; called once the run is over.
void release_kept_blocks();

#endif  // QORVEX_WIN_RUNTIME_BINDING_H
