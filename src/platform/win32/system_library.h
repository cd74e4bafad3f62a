// DLLs that are not among the system's KnownDLLs, and functions of a newer
// kernel32 or ntdll, looked up at run time. For the Win32 side's files only, after
// <windows.h>.
#pragma once

#include <cwchar>

namespace platform {
namespace win32 {

// A DLL that is not one of the system's KnownDLLs (userenv, wtsapi32) would
// be looked for beside the executable first if it were imported: a DLL
// planted there (the tool may run elevated from a user's temporary folder)
// would run in the tool. So such a DLL is loaded only when first needed and
// only from the system folder; where LOAD_LIBRARY_SEARCH_SYSTEM32 is not
// known (Windows 7 without KB2533623) by its full path in the system
// folder, its own dependencies looked for there too.
HMODULE SystemLibrary(const wchar_t* name);

// kernel32 and ntdll are mapped into every process before its first
// instruction: they are found where they already are, never searched for.
inline bool AlwaysLoaded(const wchar_t* dll) {
  return std::wcscmp(dll, L"kernel32.dll") == 0 || std::wcscmp(dll, L"ntdll.dll") == 0;
}

// A function of such a DLL, or one of kernel32 or ntdll that the oldest
// system the tool runs on lacks: the one way the Win32 side looks a function
// up at run time (callers keep the result in a static, so it is looked up
// once). Null, with the last error ERROR_CALL_NOT_IMPLEMENTED, when it is
// not there.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = AlwaysLoaded(dll) ? ::GetModuleHandleW(dll) : SystemLibrary(dll);
  FARPROC found = module != nullptr ? ::GetProcAddress(module, name) : nullptr;
  if (found == nullptr) ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace win32
}  // namespace platform
