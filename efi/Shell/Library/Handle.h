// Protocol lookup and handle search.
#ifndef QORVEX_SHELL_LIBRARY_HANDLE_H
#define QORVEX_SHELL_LIBRARY_HANDLE_H

#include "Efi.h"

// Finds the first handle that carries ProtocolGuid and returns its interface
// through *Interface (null first, and on failure). Returns the lookup status.
EFI_STATUS LibLocateProtocol(const EFI_GUID* ProtocolGuid, VOID** Interface);

// LocateHandle into a new pool array that the caller frees, growing the
// buffer as the firmware asks. *NoHandles is 0 and *Buffer null on failure.
EFI_STATUS LibFindHandles(EFI_LOCATE_SEARCH_TYPE SearchType, const EFI_GUID* Protocol, VOID* SearchKey,
                          UINTN* NoHandles, EFI_HANDLE** Buffer);

#endif  // QORVEX_SHELL_LIBRARY_HANDLE_H
