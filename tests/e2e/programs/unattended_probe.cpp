// The tool's endings on the two paths no command can be made to take on
// purpose: "throw" leaves an exhausted allocation uncaught, "abort" calls
// abort(). Both must end the process at once with exit code 0 and no
// message box. "unguarded-abort" calls abort() without the tool's endings:
// what the C runtime does by itself (a message box, exit code 3).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <new>

#include "platform/win32/unattended.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const wchar_t* mode = argv != nullptr && argc >= 2 ? argv[1] : L"";
  if (std::wcscmp(mode, L"unguarded-abort") != 0) InstallUnattendedEndings();
  if (std::wcscmp(mode, L"throw") == 0) throw std::bad_alloc();
  std::abort();
}
