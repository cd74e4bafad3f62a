#include "common/plain_folder_name.h"

namespace {

// Characters Windows refuses in a file name, besides control characters and
// the two separators.
constexpr const wchar_t* kInvalidNameCharacters = L":*?\"<>|";

bool IsPlainComponent(const std::wstring& name, std::size_t begin, std::size_t end) {
  if (begin == end) return false;
  for (std::size_t i = begin; i < end; ++i) {
    const wchar_t c = name[i];
    if (c < L' ' || c == L'/') return false;
    for (const wchar_t* bad = kInvalidNameCharacters; *bad != L'\0'; ++bad) {
      if (c == *bad) return false;
    }
  }
  const wchar_t last = name[end - 1];
  return last != L'.' && last != L' ';
}

}  // namespace

bool IsPlainFolderName(const std::wstring& name) {
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = name.find(L'\\', begin);
    if (!IsPlainComponent(name, begin, end == std::wstring::npos ? name.size() : end)) return false;
    if (end == std::wstring::npos) return true;
    begin = end + 1;
  }
}

std::optional<PlainFolderName> CheckPlainFolderName(const std::wstring& name) {
  if (!IsPlainFolderName(name)) return std::nullopt;
  return PlainFolderName(name);
}
