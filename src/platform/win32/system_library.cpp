#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "platform/win32/system_library.h"

namespace platform {
namespace win32 {

HMODULE SystemLibrary(const wchar_t* name) {
  HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 20) return nullptr;
  std::wstring path(folder, length);
  path += L"\\";
  path += name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace win32
}  // namespace platform
