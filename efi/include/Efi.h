// Everything of our UEFI definitions in one include.
#ifndef QORVEX_EFI_H
#define QORVEX_EFI_H

#include "EfiTypes.h"
#include "EfiSystemTable.h"
#include "Guids.h"
#include "Protocol/AtaPassThru.h"
#include "Protocol/BlockIo.h"
#include "Protocol/DebugAssert.h"
#include "Protocol/DevicePath.h"
#include "Protocol/DiskIo2.h"
#include "Protocol/HiiDatabase.h"
#include "Protocol/HiiString.h"
#include "Protocol/LoadedImage.h"
#include "Protocol/ShellEnvironment.h"
#include "Protocol/ShellInterface.h"
#include "Protocol/SimpleFileSystem.h"
#include "Protocol/SimpleTextOut.h"
#include "Protocol/UnicodeCollation.h"

#endif  // QORVEX_EFI_H
