#include "UefiBinding.h"

#include "FileIO.h"
#include "IO.h"
#include "Mem.h"

EFI_BOOT_SERVICES* AppBootServices = nullptr;

// ---- Memory and VKF text for the core ----

void* alloc_zeroed(size_t size) { return AppAllocZeroed(AppBootServices, size); }

void release_memory(void* block) {
  if (block != nullptr) AppBootServices->FreePool(block);
}

// LibFormatAscii gives 0 when its run had no memory; a text that filled the
// buffer may have been cut, and a record is written whole or not at all.
size_t format_vkf_text(char* buffer, size_t size, const char* section, const char* key, const char* value) {
  UINTN length = section == nullptr ? LibFormatAscii(buffer, size, "%a = %a\r\n", key, value)
                                    : LibFormatAscii(buffer, size, "[%a]\r\n%a = %a\r\n", section, key, value);
  return length + 1 < size ? length : 0;
}

// ---- Streams ----

namespace {

EFI_FILE_PROTOCOL* FileOf(void* handle) { return static_cast<EFI_FILE_PROTOCOL*>(handle); }

// Warnings carry data that did arrive; only errors count as failures.
uint64_t StreamStatus(EFI_STATUS status) { return EFI_ERROR(status) ? status : kStreamSuccess; }

uint64_t FileStreamRead(void* handle, void* buffer, size_t* size) {
  UINTN count = *size;
  EFI_STATUS status = FileRead(FileOf(handle), &count, buffer);
  *size = EFI_ERROR(status) ? 0 : count;
  return StreamStatus(status);
}

uint64_t FileStreamSetPosition(void* handle, uint64_t position) {
  return StreamStatus(FileSetPosition(FileOf(handle), position));
}

uint64_t FileStreamWrite(void* handle, const void* buffer, size_t* size) {
  const UINTN asked = *size;
  UINTN count = asked;
  EFI_STATUS status = FileWrite(FileOf(handle), &count, buffer);
  *size = count;
  if (EFI_ERROR(status)) return status;
  return count == asked ? kStreamSuccess : EFI_VOLUME_FULL;
}

constexpr StreamOps kFileStreamOps = {FileStreamRead, FileStreamSetPosition, FileStreamWrite};

// ---- Console ----

void PrintProgress(void*) { LibPrintConsole(u"Converting dump file of AMIDE to VKF file...\n"); }

void PrintTrace(void*, uint8_t type, const char* section, const char* code, const char* key, const char* value) {
  LibPrintConsole(u"Type: (%d)%a, Field: (%a)%a, Value: %a\r\n", type, section, code, key, value);
}

void PrintDone(void*) { LibPrintConsole(u"Done!\r\n"); }

}  // namespace

CoreStream MakeFileStream(EFI_FILE_PROTOCOL* File) { return CoreStream{&kFileStreamOps, File}; }

ConsoleOps MakeShellConsole() { return ConsoleOps{PrintProgress, PrintTrace, PrintDone, nullptr}; }
