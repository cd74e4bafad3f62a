#include "common/ignore_case.h"

#include <cwctype>

bool NamesEqualIgnoreCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(static_cast<std::wint_t>(a[i])) != std::towupper(static_cast<std::wint_t>(b[i]))) return false;
  }
  return true;
}
