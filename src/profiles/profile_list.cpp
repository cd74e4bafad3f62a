#include "profiles/profile_list.h"

#include <cwchar>

#include "common/decimal_text.h"
#include "common/report.h"
#include "platform/handles.h"

using namespace platform;

namespace {

constexpr const wchar_t* kProfileImagePathValue = L"ProfileImagePath";
constexpr Dword kValueBufferBytes = 4096;

}  // namespace

void EnumerateSubkeyNames(RegKey key, std::vector<std::wstring>* names) {
  Dword count = 0;
  Dword longest = 0;
  if (RegQueryInfoKeyW(key, &count, &longest) != 0) {
    report::Diagnostic(L"Failed to query registry info\n");
    return;
  }
  std::vector<wchar_t> name(static_cast<std::size_t>(longest) + 1);
  for (Dword i = 0; i < count; ++i) {
    Dword length = longest + 1;
    if (RegEnumKeyExW(key, i, name.data(), &length) != 0) continue;
    names->emplace_back(name.data());
  }
}

bool ReadProfileImagePath(const std::wstring& keyPath, std::wstring* profileDirectory) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HkeyLocalMachine(), keyPath.c_str(), /*options=*/0, kRegistryAccess, key.put()) != 0) {
    report::Diagnostic(L"Failed to open reg key\n");
    return false;
  }
  // One spare unit past the registry's 4096 bytes, so the text is always
  // terminated even when the stored value is not.
  std::vector<wchar_t> value(kValueBufferBytes / sizeof(wchar_t) + 1, L'\0');
  Dword bytes = kValueBufferBytes;
  const Long result = RegQueryValueExW(key.get(), kProfileImagePathValue, /*type=*/nullptr,
                                       reinterpret_cast<std::uint8_t*>(value.data()), &bytes);
  if (result != 0) {
    const std::wstring message =
        L"Failed to get value for sub key '" + keyPath + L"', res: " + DecimalText(result) + L"\n";
    report::Diagnostic(message.c_str());
    return false;
  }
  // Only what the registry returned counts, up to its first zero.
  const std::size_t units = bytes / sizeof(wchar_t);
  std::wstring text(value.data(), units);
  text.resize(std::wcslen(text.c_str()));

  const Dword needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return false;
  std::vector<wchar_t> expanded(needed, L'\0');
  const Dword written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
  if (written == 0 || written > needed) return false;
  *profileDirectory = expanded.data();
  return true;
}

bool ListProfileKeys(std::vector<std::wstring>* names) {
  UniqueRegKey list;
  if (RegOpenKeyExW(HkeyLocalMachine(), kProfileListKey, /*options=*/0, kRegistryAccess, list.put()) != 0) {
    return false;
  }
  EnumerateSubkeyNames(list.get(), names);
  return true;  // the list key closes here, before any profile is visited
}
