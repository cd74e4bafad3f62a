// The Win32 side of the seam's registry section: advapi32's registry, read
// only.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/windows_types.h"

namespace platform {
namespace {

HKEY K(RegKey k) { return reinterpret_cast<HKEY>(k); }

}  // namespace

Long RegOpenKeyExW(RegKey key, const wchar_t* subKey, Dword options, Dword desiredAccess, RegKey* result) {
  const ::win32::CallWatch watch;
  HKEY k = nullptr;
  const LONG rc = ::RegOpenKeyExW(K(key), subKey, options, desiredAccess, &k);
  if (rc == ERROR_SUCCESS) *result = reinterpret_cast<RegKey>(k);
  return rc;
}
Long RegQueryInfoKeyW(RegKey key, Dword* subKeys, Dword* maxSubKeyLength) {
  const ::win32::CallWatch watch;
  return ::RegQueryInfoKeyW(K(key), nullptr, nullptr, nullptr, reinterpret_cast<DWORD*>(subKeys),
                            reinterpret_cast<DWORD*>(maxSubKeyLength), nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr);
}
Long RegEnumKeyExW(RegKey key, Dword index, wchar_t* name, Dword* nameLength) {
  const ::win32::CallWatch watch;
  return ::RegEnumKeyExW(K(key), index, name, reinterpret_cast<DWORD*>(nameLength), nullptr, nullptr, nullptr, nullptr);
}
Long RegQueryValueExW(RegKey key, const wchar_t* valueName, Dword* type, std::uint8_t* data, Dword* dataBytes) {
  const ::win32::CallWatch watch;
  return ::RegQueryValueExW(K(key), valueName, nullptr, reinterpret_cast<DWORD*>(type), data,
                            reinterpret_cast<DWORD*>(dataBytes));
}
Long RegCloseKey(RegKey key) {
  const ::win32::CallWatch watch;
  return ::RegCloseKey(K(key));
}

}  // namespace platform
