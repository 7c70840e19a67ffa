// Interim debug report: tests the mask and writes the format text as it is,
// without converting arguments. The formatted-output engine replaces it.
#include "IO.h"

#include "Init.h"
#include "Mem.h"
#include "Misc.h"

// The report reads a variable, which allocates pool; a pool failure inside a
// report must not start another report.
static BOOLEAN ReportInProgress = FALSE;

static UINT64 EnabledDebugMask() {
  UINTN size = 0;
  UINT8* value = static_cast<UINT8*>(LibReadVariable(u"EFIDebug", &gEfiDebugMaskVariableGuid, &size));
  if (value == nullptr) return kDebugError;
  UINT64 mask = 0;
  for (UINTN i = 0; i < 8 && i < size; ++i) mask |= UINT64(value[i]) << (8 * i);
  ReleasePool(value);
  return mask;
}

static VOID WriteReport(const CHAR8* AsciiFormat) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = LibSystemTable->StdErr;
  if (out == nullptr) out = LibSystemTable->ConOut;
  if (out == nullptr) return;
  CHAR16 chunk[128];
  UINTN used = 0;
  for (const CHAR8* p = AsciiFormat; *p != 0; ++p) {
    chunk[used++] = CHAR16(UINT8(*p));
    if (used == 127) {
      chunk[used] = 0;
      out->OutputString(out, chunk);
      used = 0;
    }
  }
  chunk[used] = 0;
  out->OutputString(out, chunk);
}

UINTN LibDebugReportV(UINTN Mask, const CHAR8* AsciiFormat, const UINT64* Args) {
  (void)Args;
  if (ReportInProgress || LibSystemTable == nullptr || AsciiFormat == nullptr) return 0;
  ReportInProgress = TRUE;
  if ((Mask & EnabledDebugMask()) != 0) WriteReport(AsciiFormat);
  ReportInProgress = FALSE;
  return 0;
}
