// Whether an argument reached the program as it was typed on Windows.
#include "command_line.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

// The C runtime's split of the wide command line, the same split that gave
// main its 8-bit arguments.
struct WideStartupInfo {
  int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand, WideStartupInfo* info);

namespace {

// The argument in the 8-bit code page, or null when a character of it has
// no exact form there (a look-alike or "?" would stand in for it). The
// caller frees it.
char* narrow_exactly(const wchar_t* typed) {
  // UTF-8 carries every character and takes no best-fit flag; a broken
  // UTF-16 sequence comes out changed, which the comparison then finds.
  const UINT code_page = GetACP();
  const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL replaced = FALSE;
  BOOL* report = code_page == CP_UTF8 ? nullptr : &replaced;
  const int size = WideCharToMultiByte(code_page, flags, typed, -1, nullptr, 0, nullptr, report);
  if (size <= 0 || replaced) return nullptr;
  char* narrow = static_cast<char*>(malloc(size));
  if (narrow != nullptr &&
      (WideCharToMultiByte(code_page, flags, typed, -1, narrow, size, nullptr, report) != size || replaced)) {
    free(narrow);
    narrow = nullptr;
  }
  return narrow;
}

}  // namespace

bool argument_is_exact(int index, const char* argument) {
  int count = 0;
  wchar_t** arguments = nullptr;
  wchar_t** environment = nullptr;
  WideStartupInfo info = {0};
  if (__wgetmainargs(&count, &arguments, &environment, 0, &info) < 0 || index >= count) return false;
  char* narrow = narrow_exactly(arguments[index]);
  const bool exact = narrow != nullptr && strcmp(narrow, argument) == 0;
  free(narrow);
  return exact;
}
