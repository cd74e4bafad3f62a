// Text for a log that any program can read whole: UTF-8.
#pragma once

#include <string>

// The text as UTF-8, without a byte-order mark. UTF-16 surrogate pairs are
// joined; a lone surrogate (NTFS names may hold one) becomes U+FFFD.
std::string Utf8(const std::wstring& text);
