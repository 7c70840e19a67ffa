// The identity of a file on Windows: volume serial number and file index.
#include "same_file.h"

#include <io.h>
#include <windows.h>

bool names_open_file(const char* name, FILE* open_file) {
  HANDLE open_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open_file)));
  BY_HANDLE_FILE_INFORMATION open_info;
  if (open_handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(open_handle, &open_info)) {
    return false;
  }
  // No access rights are asked for: only the file's identity is read, and
  // sharing every mode keeps this from failing on the dump we hold open.
  HANDLE named = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named_info;
  bool known = GetFileInformationByHandle(named, &named_info) != 0;
  CloseHandle(named);
  return known && named_info.dwVolumeSerialNumber == open_info.dwVolumeSerialNumber &&
         named_info.nFileIndexHigh == open_info.nFileIndexHigh &&
         named_info.nFileIndexLow == open_info.nFileIndexLow;
}
