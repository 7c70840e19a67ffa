// Asks a file system how it resolves a table of names: the same code runs in
// fatprobe.efi on real firmware and in the host tests on the fake FAT, so
// that their answers can be compared line by line.
//
// Each line of the table is one case: steps separated by '|'. The first
// step is opened from the start directory, each further step from the
// handle the step before opened. A step may start with '!' (open for
// reading and writing) or '+' (create, read and write); otherwise it is
// opened for reading. A step "=NAME" renames the file the step before opened
// to NAME (SetInfo with its EFI_FILE_INFO and the new FileName) and keeps
// it open. Each case prints one line:
//
//   CASE => 0x0 [NAME] SIZE f        every step opened a file
//   CASE => 0x0 [NAME] d             every step opened, the last a directory
//   CASE => STATUS @STEP             step STEP (from 0) failed
//
// STATUS in shell notation, NAME the FileName of the last handle's
// EFI_FILE_INFO, SIZE its FileSize. Every handle opened is closed again.
//
// Pure logic over EFI_FILE_PROTOCOL: it builds into a UEFI image and on the host.
#ifndef QORVEX_TESTS_E2E_FATPROBE_NAME_PROBE_H
#define QORVEX_TESTS_E2E_FATPROBE_NAME_PROBE_H

#include "Efi.h"

// Receives the output, one piece of UCS-2 text at a time.
using NameProbePrint = void (*)(void* Context, const CHAR16* Text);

// Runs every case of Cases (Size bytes of 8-bit text, lines ended by LF or
// CR LF) from the directory Start, which stays open.
void RunNameCases(EFI_FILE_PROTOCOL* Start, const UINT8* Cases, UINTN Size, NameProbePrint Print, void* Context);

#endif  // QORVEX_TESTS_E2E_FATPROBE_NAME_PROBE_H
