// A small image that links the whole shell support library, so that the UEFI
// build proves every library routine resolves inside an image. Started from
// the shell it prints one line and returns success.
#include "Efi.h"

extern "C" EFI_STATUS EFIAPI ProbeEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  (void)ImageHandle;
  SystemTable->ConOut->OutputString(SystemTable->ConOut, u"qorvex library probe\r\n");
  return EFI_SUCCESS;
}
