#include "platform/win32/unattended.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <csignal>

namespace {

[[noreturn]] void EndAtOnce() {
  // No atexit handlers, no DLL notifications: whatever failed may hold a
  // lock they would wait for.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  for (;;) {
  }
}

void OnAbort(int) { EndAtOnce(); }

// A structured exception nobody handles (an access violation, a stack
// overflow, an in-page error from a vanished share): the same ending, before
// Windows Error Reporting could show its dialog.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS*) { EndAtOnce(); }

}  // namespace

void InstallUnattendedEndings() {
  std::signal(SIGABRT, OnAbort);
  ::SetUnhandledExceptionFilter(OnUnhandledException);
}

// The runtime's terminate handler (an uncaught exception): the verbose one
// would print the exception's type, pull the C++ name demangler into the
// executable and then abort().
namespace __gnu_cxx {
void __verbose_terminate_handler() { EndAtOnce(); }
}  // namespace __gnu_cxx
