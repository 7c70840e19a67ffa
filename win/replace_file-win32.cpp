// Replacing a file on Windows: MoveFileEx puts the new file in place in one
// step, FlushFileBuffers gets it onto the disk first.
#include "replace_file.h"

#include <io.h>
#include <windows.h>

TargetInfo examine_target(const char* name) {
  // Opening for writing without truncating tells a missing name, a file that
  // could be written and a device apart. A folder, a read-only file or one
  // locked by another program refuses.
  HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return TargetInfo{GetLastError() == ERROR_FILE_NOT_FOUND ? TargetMissing : TargetUnusable, 0};
  }
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  return TargetInfo{type == FILE_TYPE_DISK ? TargetRegular : TargetDevice, 0};
}

// Links are rare on Windows and MoveFileEx replaces a link itself: names
// are taken as they are.
char* follow_link(const char*, bool* broken) {
  *broken = false;
  return nullptr;
}

size_t folder_part_length(const char* name) {
  size_t length = 0;
  for (size_t i = 0; name[i] != '\0'; ++i) {
    if (name[i] == '/' || name[i] == '\\' || name[i] == ':') length = i + 1;
  }
  return length;
}

bool finish_temporary(FILE* temporary, const TargetInfo&) {
  if (fflush(temporary) != 0) return false;
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(temporary)));
  return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
}

bool put_in_place(const char* temporary, const char* name) {
  return MoveFileExA(temporary, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
