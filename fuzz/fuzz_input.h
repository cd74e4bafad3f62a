// Shared by the fuzz targets: reading a fuzz input as text, and failing
// loudly when a run broke a promise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hostile_machine.h"

namespace fuzz {

// Bytes as wide text, one unit per byte, so that a corpus file of plain text
// reads as itself. "\x01" followed by two bytes is one unit of any value (a
// zero, a surrogate, a letter outside Latin-1).
inline std::wstring WideText(const std::uint8_t* data, std::size_t size) {
  std::wstring out;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0x01 && i + 2 < size) {
      out += static_cast<wchar_t>(data[i + 1] | (data[i + 2] << 8));
      i += 2;
    } else {
      out += static_cast<wchar_t>(data[i]);
    }
  }
  return out;
}

inline std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = text.find(L'\n', begin);
    lines.push_back(text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin));
    if (end == std::wstring::npos) return lines;
    begin = end + 1;
  }
}

// The leading decimal digits of text (at most 9 of them), 0 when none.
inline std::uint64_t LeadingNumber(const std::wstring& text) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < text.size() && i < 9 && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    n = n * 10 + static_cast<std::uint64_t>(text[i] - L'0');
  }
  return n;
}

// Prints what broke and ends the process, which libFuzzer reports as a
// crash with the input saved.
inline void Fail(const std::string& what, const std::vector<std::string>& violations) {
  std::fprintf(stderr, "%s\n", what.c_str());
  for (const auto& v : violations) std::fprintf(stderr, "  %s\n", v.c_str());
  std::abort();
}

}  // namespace fuzz
