// Replacing a file on Windows: MoveFileEx puts the new file in place in one
// step, FlushFileBuffers gets it onto the disk first.
#include "replace_file.h"

#include <io.h>
#include <stdlib.h>
#include <string.h>
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

// MoveFileEx with MOVEFILE_WRITE_THROUGH returns only once the rename is on
// the disk, and the file system journals the folder's entries itself.
bool sync_folder(const char*) { return true; }

void visit_files(const char* folder, const char* prefix, void (*visit)(void* context, const char* file_name),
                 void* context) {
  const size_t folder_length = strlen(folder);
  const size_t prefix_length = strlen(prefix);
  char* pattern = static_cast<char*>(malloc(folder_length + prefix_length + 3));
  if (pattern == nullptr) return;
  memcpy(pattern, folder, folder_length);
  pattern[folder_length] = '\\';
  memcpy(pattern + folder_length + 1, prefix, prefix_length);
  memcpy(pattern + folder_length + 1 + prefix_length, "*", 2);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  free(pattern);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
      visit(context, found.cFileName);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

bool process_is_gone(unsigned long process) {
  // An id that no process has is an invalid parameter; any other refusal
  // (a process of another user) means that it runs. Id 0 is the idle
  // process, which the call refuses in the same way.
  if (process == 0) return false;
  HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  // A process that ended keeps its id while another program holds a handle
  // to it, but writes nothing any more.
  const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  CloseHandle(handle);
  return ended;
}
