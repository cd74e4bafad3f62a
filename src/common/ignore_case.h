// Names compared as Windows compares file and process names: without
// regard to letter case.
#pragma once

#include <string>

// Whether two names are equal regardless of letter case: same length, and
// every pair of units equal after the standard library's upper-casing.
bool NamesEqualIgnoreCase(const std::wstring& a, const std::wstring& b);
