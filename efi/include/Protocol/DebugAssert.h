// Debug-assert protocol: the platform's sink for failed library checks.
//
// Only the first function is declared; the protocol has further functions
// after it, which qorvex never calls.
#ifndef QORVEX_EFI_PROTOCOL_DEBUG_ASSERT_H
#define QORVEX_EFI_PROTOCOL_DEBUG_ASSERT_H

#include "../EfiTypes.h"

struct EFI_DEBUG_ASSERT_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_DEBUG_ASSERT)(EFI_DEBUG_ASSERT_PROTOCOL* This, const CHAR8* FileName, INTN LineNumber,
                                             const CHAR8* Description);

struct EFI_DEBUG_ASSERT_PROTOCOL {
  EFI_DEBUG_ASSERT Assert;
};
static_assert(offsetof(EFI_DEBUG_ASSERT_PROTOCOL, Assert) == 0, "the assert function comes first");

#endif  // QORVEX_EFI_PROTOCOL_DEBUG_ASSERT_H
