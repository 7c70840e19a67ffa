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

// "<folder of name>.qorvexw-<process>-<attempt>.tmp"; null without memory.
char* temporary_name_for(const char* name, unsigned attempt) {
  const size_t folder = folder_part_length(name);
  const size_t size = folder + 64;
  char* temporary = static_cast<char*>(malloc(size));
  if (temporary == nullptr) return nullptr;
  memcpy(temporary, name, folder);
  snprintf(temporary + folder, size - folder, ".qorvexw-%lu-%u.tmp", static_cast<unsigned long>(getpid()), attempt);
  return temporary;
}

// Creates a file that did not exist before under a new temporary name. The
// exclusive create means it never opens a file that is someone else's.
bool create_temporary(VkfOutput* output) {
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
    output->file = fdopen(descriptor, "wb");
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
  release_names(output);
  if (!complete) {
    discard_temporary(output);
    return false;
  }
  free(output->temporary_name);
  output->temporary_name = nullptr;
  return true;
}

void abandon_vkf_output(VkfOutput* output) {
  fclose(output->file);
  if (output->temporary_name != nullptr) discard_temporary(output);
  release_names(output);
}
