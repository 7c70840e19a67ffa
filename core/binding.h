// How the conversion core reaches the outside world.
//
// The core is compiled for the host, for 32-bit Windows and freestanding
// into a UEFI image, so it may not call any C library routine. Everything it
// needs from its surroundings comes through this header: streams as a small
// table of operations handed in at run time, memory and VKF text formatting
// as routines that every front end defines at link time, and console output
// as a table of callbacks.
#ifndef QORVEX_CORE_BINDING_H
#define QORVEX_CORE_BINDING_H

#include <stddef.h>
#include <stdint.h>

// Status of a stream operation: 0 is success, any other value is a failure
// that carries the platform's own code unchanged (the UEFI binding passes its
// EFI_STATUS through, the stdio binding an errno value).
constexpr uint64_t kStreamSuccess = 0;

// Status the core records for a write that reported success but stored fewer
// bytes than it was given. Bindings should report such a write as a failure
// themselves; this value only keeps the failure from being lost if one does not.
constexpr uint64_t kShortWriteStatus = ~static_cast<uint64_t>(0);

// Byte stream operations. `size` is in/out: the bytes asked for on entry, the
// bytes actually transferred on return. A read that returns success with
// *size == 0 has reached the end of the stream.
struct StreamOps {
  uint64_t (*read)(void* handle, void* buffer, size_t* size);
  uint64_t (*set_position)(void* handle, uint64_t position);
  uint64_t (*write)(void* handle, const void* buffer, size_t* size);
};

// An open stream as the core sees it: the operations and the front end's
// handle that is passed back to every one of them.
struct CoreStream {
  const StreamOps* ops;
  void* handle;
};

// Console output of a run. The front end owns the exact wording of the
// messages; the core only says which message to print and with what.
struct ConsoleOps {
  // The dump's encoding is known and conversion starts.
  void (*progress)(void* context);
  // One record was parsed: its type, the section name of that type, the
  // field code as written in the dump, the setting key and the value.
  void (*trace)(void* context, uint8_t type, const char* section, const char* code, const char* key, const char* value);
  // The VKF file is complete and in place. Called by the front end, not by
  // the run, since only the front end knows when the file is in place.
  void (*done)(void* context);
  void* context;
};

// Memory, defined by each front end. alloc_zeroed returns a block of `size`
// zero bytes or null; release_memory accepts null.
void* alloc_zeroed(size_t size);
void release_memory(void* block);

// Formats one VKF record into `buffer`: "[section]\r\nkey = value\r\n", or
// "key = value\r\n" when `section` is null, and a terminating NUL. Returns
// the number of bytes stored before the NUL, or 0 when the record could not
// be formatted whole (it did not fit in size - 1 bytes, or the formatter ran
// out of memory): a record is written whole or not at all.
size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key, const char* value);

#endif  // QORVEX_CORE_BINDING_H
