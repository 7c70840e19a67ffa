#include "vkf_output.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "same_file.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

// Tries a new name after this many collisions with files that exist.
constexpr unsigned kTemporaryAttempts = 100;

// A temporary file is "<folder of name>.qorvexw-<process>-<attempt>.tmp".
// The process id tells whether a file left by a run that was cut off can
// still be in use: a file of a process that is gone is removed.
constexpr char kTemporaryPrefix[] = ".qorvexw-";
constexpr char kTemporarySuffix[] = ".tmp";

// `file` in the folder of `name`, as a name the caller frees; null without
// memory.
char* name_in_folder(const char* name, const char* file) {
  const size_t folder = folder_part_length(name);
  const size_t rest = strlen(file) + 1;
  char* joined = static_cast<char*>(malloc(folder + rest));
  if (joined == nullptr) return nullptr;
  memcpy(joined, name, folder);
  memcpy(joined + folder, file, rest);
  return joined;
}

char* temporary_name_for(const char* name, unsigned attempt) {
  char file[64];
  snprintf(file, sizeof(file), "%s%lu-%u%s", kTemporaryPrefix, static_cast<unsigned long>(getpid()), attempt,
           kTemporarySuffix);
  return name_in_folder(name, file);
}

// Flushes the folder that holds `name`.
bool sync_folder_of(const char* name) {
  char* folder = name_in_folder(name, ".");
  if (folder == nullptr) return false;
  const bool synced = sync_folder(folder);
  free(folder);
  return synced;
}

// Reads a decimal number as printf writes it (no sign, no leading zero) of
// at most 32 bits; returns the character after it, or null.
const char* read_number(const char* text, unsigned long* value) {
  if (text[0] < '0' || text[0] > '9' || (text[0] == '0' && text[1] >= '0' && text[1] <= '9')) return nullptr;
  // Wide enough to hold one digit more than 32 bits (unsigned long is 32
  // bits on Windows).
  unsigned long long number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    number = number * 10 + static_cast<unsigned long long>(*text - '0');
    if (number > 0xFFFFFFFFull) return nullptr;
  }
  *value = static_cast<unsigned long>(number);
  return text;
}

// The process that named `file_name` as its temporary file; 0 for a name of
// any other pattern, which is never touched.
unsigned long temporary_file_process(const char* file_name) {
  const size_t prefix = sizeof(kTemporaryPrefix) - 1;
  unsigned long process = 0;
  unsigned long attempt = 0;
  if (strncmp(file_name, kTemporaryPrefix, prefix) != 0) return 0;
  const char* rest = read_number(file_name + prefix, &process);
  if (rest == nullptr || *rest != '-') return 0;
  rest = read_number(rest + 1, &attempt);
  return rest != nullptr && strcmp(rest, kTemporarySuffix) == 0 ? process : 0;
}

// Removes `file_name`, in the folder of the name `context`, when it is the
// temporary file of a process that is gone. A file of a running process,
// this one among them, stays, also when the id was reused after a cut run:
// a later run removes it.
void remove_if_stale(void* context, const char* file_name) {
  const unsigned long process = temporary_file_process(file_name);
  if (process == 0 || !process_is_gone(process)) return;
  char* path = name_in_folder(static_cast<const char*>(context), file_name);
  if (path != nullptr) unlink(path);
  free(path);
}

// A run cut off by a power cut or a kill leaves its temporary file behind;
// each run clears those of the folder it writes into.
void remove_stale_temporaries(const char* target) {
  char* folder = name_in_folder(target, ".");
  if (folder == nullptr) return;
  visit_files(folder, kTemporaryPrefix, remove_if_stale, const_cast<char*>(target));
  free(folder);
}

// Creates a file that did not exist before under a new temporary name, and
// gets its entry onto the disk. The exclusive create means it never opens a
// file that is someone else's.
bool create_temporary(VkfOutput* output) {
  remove_stale_temporaries(output->target);
  for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    char* temporary = temporary_name_for(output->target, attempt);
    if (temporary == nullptr) return false;
    int descriptor = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    if (descriptor < 0) {
      const bool collided = errno == EEXIST;
      free(temporary);
      if (collided) continue;
      return false;
    }
    // The new entry reaches the disk before the bytes of the file do.
    const bool synced = sync_folder_of(temporary);
    output->file = synced ? fdopen(descriptor, "wb") : nullptr;
    if (output->file == nullptr) {
      close(descriptor);
      remove(temporary);
      free(temporary);
      return false;
    }
    output->temporary_name = temporary;
    return true;
  }
  return false;
}

void discard_temporary(VkfOutput* output) {
  remove(output->temporary_name);
  free(output->temporary_name);
  output->temporary_name = nullptr;
}

// Opens what the target is: a new temporary file beside a regular file or
// a free name, the target itself for a device.
bool open_target(VkfOutput* output) {
  output->target_info = examine_target(output->target);
  switch (output->target_info.kind) {
    case TargetMissing:
    case TargetRegular: return create_temporary(output);
    case TargetDevice: output->file = fopen(output->target, "wb+"); return output->file != nullptr;
    case TargetUnusable: break;
  }
  return false;
}

void release_names(VkfOutput* output) {
  free(output->followed_link);
  output->followed_link = nullptr;
}

}  // namespace

bool begin_vkf_output(VkfOutput* output, const char* name, FILE* source) {
  output->name = name;
  output->file = nullptr;
  output->temporary_name = nullptr;
  if (source != nullptr && identify_name(name, source) != NameIsOtherFile) return false;
  bool broken = false;
  output->followed_link = follow_link(name, &broken);
  output->target = output->followed_link != nullptr ? output->followed_link : name;
  if (!broken && open_target(output)) return true;
  release_names(output);
  return false;
}

bool commit_vkf_output(VkfOutput* output) {
  if (output->temporary_name == nullptr) {
    // A pipe or device: nothing to put in place, and nothing to sync.
    const bool flushed = fflush(output->file) == 0;
    release_names(output);
    return fclose(output->file) == 0 && flushed;
  }
  bool complete = finish_temporary(output->file, output->target_info);
  complete = fclose(output->file) == 0 && complete;
  complete = complete && put_in_place(output->temporary_name, output->target);
  if (!complete) {
    release_names(output);
    discard_temporary(output);
    return false;
  }
  // The new file is in place. When its folder cannot be flushed, a power
  // cut may still bring the old file back: the run is reported failed, so
  // that it is run again, rather than a success the disk may not keep.
  const bool on_disk = sync_folder_of(output->target);
  release_names(output);
  free(output->temporary_name);
  output->temporary_name = nullptr;
  return on_disk;
}

void abandon_vkf_output(VkfOutput* output) {
  fclose(output->file);
  if (output->temporary_name != nullptr) discard_temporary(output);
  release_names(output);
}
