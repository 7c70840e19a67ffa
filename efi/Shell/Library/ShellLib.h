// The shell support library in one include.
#ifndef QORVEX_SHELL_LIBRARY_SHELL_LIB_H
#define QORVEX_SHELL_LIBRARY_SHELL_LIB_H

#include "Efi.h"
#include "Handle.h"
#include "IO.h"
#include "Init.h"
#include "Mem.h"
#include "Misc.h"
#include "Str.h"
#include "ipf/math.h"

// Parts of the library that come in their own sources.
#if __has_include("VarCheck.h")
#include "VarCheck.h"
#endif
#if __has_include("FileIO.h")
#include "FileIO.h"
#endif
#if __has_include("HiiSupport.h")
#include "HiiSupport.h"
#endif
#if __has_include("DPath.h")
#include "DPath.h"
#endif

#endif  // QORVEX_SHELL_LIBRARY_SHELL_LIB_H
