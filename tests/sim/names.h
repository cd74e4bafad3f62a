// How the simulated machine reads names: the file system, the registry and
// process names compare without letter case, as on Windows, and paths split
// at a separator.
#pragma once

#include <string>
#include <vector>

namespace sim {

// Upper-cases ASCII letters.
inline std::wstring Fold(const std::wstring& s) {
  std::wstring r = s;
  for (auto& c : r) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return r;
}

// The parts of s between separators, empty ones included.
inline std::vector<std::wstring> SplitPath(const std::wstring& s, wchar_t sep) {
  std::vector<std::wstring> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = s.find(sep, begin);
    if (end == std::wstring::npos) break;
    parts.emplace_back(s, begin, end - begin);
    begin = end + 1;
  }
  parts.emplace_back(s, begin, std::wstring::npos);
  return parts;
}

}  // namespace sim
