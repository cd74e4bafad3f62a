// The Win32 side of the seam's windows section: user32's windows and
// messages.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/windows_types.h"

namespace platform {

using win32::W;

namespace {

struct EnumWindowsTrampoline {
  EnumWindowsCallback callback;
  std::intptr_t parameter;
};

BOOL CALLBACK EnumWindowsThunk(HWND window, LPARAM lParam) {
  auto* t = reinterpret_cast<EnumWindowsTrampoline*>(lParam);
  return t->callback(reinterpret_cast<Hwnd>(window), t->parameter) ? TRUE : FALSE;
}

}  // namespace

bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter) {
  const ::win32::CallWatch watch;
  EnumWindowsTrampoline t{callback, parameter};
  return ::EnumWindows(EnumWindowsThunk, reinterpret_cast<LPARAM>(&t)) != FALSE;
}
Dword GetWindowThreadProcessId(Hwnd window, Dword* processId) {
  const ::win32::CallWatch watch;
  DWORD pid = 0;
  const DWORD tid = ::GetWindowThreadProcessId(W(window), &pid);
  if (processId != nullptr) *processId = pid;
  return tid;
}
bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  const ::win32::CallWatch watch;
  return ::PostMessageW(W(window), message, wParam, lParam) != FALSE;
}

}  // namespace platform
