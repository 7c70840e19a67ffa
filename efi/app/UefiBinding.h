// Binds the conversion core to UEFI: its streams to open EFI_FILE_PROTOCOL
// handles through the library's file routines, its memory to the boot
// services the image was started with, its VKF text formatting to
// LibFormatAscii and its console messages to LibPrintConsole.
#ifndef QORVEX_APP_UEFI_BINDING_H
#define QORVEX_APP_UEFI_BINDING_H

#include "Efi.h"
#include "binding.h"

// The boot services of the system table the image was started with. The
// entry sets it before the core runs; the core's memory goes through it
// (pool of EfiReservedMemoryType, cleared with SetMem, freed with FreePool).
// It is kept apart from the library's LibBootServices on purpose: the
// library saves its tables only at its first start-up and allocates from its
// own pool type, while the core's memory belongs to this run of the
// application, whatever state the library was left in.
extern EFI_BOOT_SERVICES* AppBootServices;

// The core's view of an open file. A failed write reports the file system's
// status; a write that stores fewer bytes than given while reporting success
// is reported as EFI_VOLUME_FULL, so that it cannot pass for a whole write.
CoreStream MakeFileStream(EFI_FILE_PROTOCOL* File);

// Console messages of the run on the console output: the progress line
// (ended by a line feed alone, which the engine turns into CR LF), the trace
// line and "Done!".
ConsoleOps MakeShellConsole();

#endif  // QORVEX_APP_UEFI_BINDING_H
