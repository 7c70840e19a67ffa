#include "StatusText.h"

void StatusToText(EFI_STATUS Status, CHAR16* Buffer) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  UINTN digits = 1;
  while (digits < 16 && (Status >> (4 * digits)) != 0) ++digits;
  Buffer[0] = u'0';
  Buffer[1] = u'x';
  for (UINTN i = 0; i < digits; ++i) {
    Buffer[1 + digits - i] = static_cast<CHAR16>(kDigits[(Status >> (4 * i)) & 0xF]);
  }
  Buffer[2 + digits] = 0;
}
