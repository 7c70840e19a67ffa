// fatprobe.efi: a test-only UEFI application that asks the file system it
// was loaded from how it resolves the table of names in "fatcases.txt" (in
// the volume's root), starting from the directory "fatnames", and prints
// one line per case (see NameProbe.h). The firmware test compares the
// answers with those of the fake FAT of the host tests.
#include "NameProbe.h"

namespace {

constexpr UINTN kMaxCasesBytes = 65536;
UINT8 gCases[kMaxCasesBytes];

void PrintToConsole(void* Context, const CHAR16* Text) {
  auto* out = static_cast<EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*>(Context);
  out->OutputString(out, Text);
}

EFI_FILE_PROTOCOL* OpenOwnVolume(EFI_HANDLE ImageHandle, EFI_BOOT_SERVICES* Boot) {
  VOID* image = nullptr;
  if (EFI_ERROR(Boot->HandleProtocol(ImageHandle, &gEfiLoadedImageProtocolGuid, &image))) return nullptr;
  VOID* fs = nullptr;
  EFI_HANDLE device = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(image)->DeviceHandle;
  if (EFI_ERROR(Boot->HandleProtocol(device, &gEfiSimpleFileSystemProtocolGuid, &fs))) return nullptr;
  auto* volume = static_cast<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*>(fs);
  EFI_FILE_PROTOCOL* root = nullptr;
  return EFI_ERROR(volume->OpenVolume(volume, &root)) ? nullptr : root;
}

// Reads the root's "fatcases.txt" into gCases; its size, or 0.
UINTN ReadCases(EFI_FILE_PROTOCOL* Root) {
  EFI_FILE_PROTOCOL* cases = nullptr;
  if (EFI_ERROR(Root->Open(Root, &cases, u"fatcases.txt", EFI_FILE_MODE_READ, 0))) return 0;
  UINTN size = kMaxCasesBytes;
  EFI_STATUS status = cases->Read(cases, &size, gCases);
  cases->Close(cases);
  return EFI_ERROR(status) ? 0 : size;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI FatProbeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = SystemTable->ConOut;
  EFI_FILE_PROTOCOL* root = OpenOwnVolume(ImageHandle, SystemTable->BootServices);
  if (root == nullptr) {
    out->OutputString(out, u"fatprobe: no volume\r\n");
    return EFI_UNSUPPORTED;
  }
  EFI_FILE_PROTOCOL* start = nullptr;
  UINTN size = ReadCases(root);
  EFI_STATUS status = root->Open(root, &start, u"fatnames", EFI_FILE_MODE_READ, 0);
  if (size == 0 || EFI_ERROR(status)) {
    out->OutputString(out, u"fatprobe: no fatcases.txt or no fatnames directory\r\n");
    if (start != nullptr) start->Close(start);
    root->Close(root);
    return EFI_NOT_FOUND;
  }
  RunNameCases(start, gCases, size, PrintToConsole, out);
  start->Close(start);
  root->Close(root);
  return EFI_SUCCESS;
}
