// The identity of a file on Windows: volume serial number and file index.
#include "same_file.h"

#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

bool read_identity(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, info) != 0;
}

// The name in UTF-16 as the 8-bit calls would see it, or null. The caller frees it.
wchar_t* widen(const char* name) {
  int count = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (count <= 0) return nullptr;
  wchar_t* wide = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
  if (wide != nullptr && MultiByteToWideChar(CP_ACP, 0, name, -1, wide, count) != count) {
    free(wide);
    wide = nullptr;
  }
  return wide;
}

// Opens the named file for its identity alone. No access rights are asked
// for, and every sharing mode is granted, so this cannot fail on the dump we
// hold open.
HANDLE open_for_identity(const wchar_t* name) {
  return CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A name the path calls cannot take whole: MAX_PATH characters or more
// without the "\\?\" prefix that lifts the limit. Some calls cut or refuse
// it while others accept it, so it is never trusted to be another file.
bool too_long_for_the_calls(const wchar_t* name) {
  return wcslen(name) >= MAX_PATH && wcsncmp(name, L"\\\\?\\", 4) != 0;
}

}  // namespace

NameIdentity identify_name(const char* name, FILE* open_file) {
  BY_HANDLE_FILE_INFORMATION open_info;
  HANDLE open_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open_file)));
  if (!read_identity(open_handle, &open_info)) return NameIdentityUnknown;
  wchar_t* wide = widen(name);
  if (wide == nullptr || too_long_for_the_calls(wide)) {
    free(wide);
    return NameIdentityUnknown;
  }
  HANDLE named = open_for_identity(wide);
  free(wide);
  if (named == INVALID_HANDLE_VALUE) {
    // Only a name that reaches nothing is surely another file.
    return GetLastError() == ERROR_FILE_NOT_FOUND ? NameIsOtherFile : NameIdentityUnknown;
  }
  // A device (NUL, CON) is never the dump, and has no file identity to read.
  if (GetFileType(named) != FILE_TYPE_DISK) {
    CloseHandle(named);
    return NameIsOtherFile;
  }
  BY_HANDLE_FILE_INFORMATION named_info;
  const bool known = read_identity(named, &named_info);
  CloseHandle(named);
  if (!known) return NameIdentityUnknown;
  const bool same = named_info.dwVolumeSerialNumber == open_info.dwVolumeSerialNumber &&
                    named_info.nFileIndexHigh == open_info.nFileIndexHigh &&
                    named_info.nFileIndexLow == open_info.nFileIndexLow;
  return same ? NameIsOpenFile : NameIsOtherFile;
}
