// The Win32 side's view of the seam's plain types: each is the real type's
// size, and the handle types convert to the real handles and back. For the
// Win32 side's files only, after <windows.h>.
#pragma once

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(WCHAR), "wide strings are UTF-16 on Windows");
static_assert(sizeof(platform::Dword) == sizeof(DWORD), "DWORD");
static_assert(sizeof(platform::Long) == sizeof(LONG), "LONG");

namespace platform {
namespace win32 {

inline HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
inline Handle P(HANDLE h) { return reinterpret_cast<Handle>(h); }
inline HWND W(Hwnd w) { return reinterpret_cast<HWND>(w); }

}  // namespace win32
}  // namespace platform
