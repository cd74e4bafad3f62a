#include "common/decimal_text.h"

std::wstring DecimalText(std::int64_t value) {
  // The magnitude in unsigned arithmetic, so the most negative value works too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  wchar_t digits[24];
  wchar_t* p = digits + sizeof(digits) / sizeof(digits[0]);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = L'-';
  return std::wstring(p, digits + sizeof(digits) / sizeof(digits[0]));
}
