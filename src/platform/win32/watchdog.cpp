#include "platform/win32/watchdog.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace win32 {

namespace {

constexpr DWORD kPollMs = 1000;
constexpr SIZE_T kWatchdogStackBytes = 64 * 1024;

// GetTickCount64 values; 0: none yet.
std::atomic<std::uint64_t> g_lastReturn{0};
std::atomic<std::uint64_t> g_waitEnd{0};

DWORD WINAPI Watch(LPVOID) {
  for (;;) {
    ::Sleep(kPollMs);
    const std::uint64_t now = ::GetTickCount64();
    const std::uint64_t lastReturn = g_lastReturn.load();
    const std::uint64_t waitEnd = g_waitEnd.load();
    const std::uint64_t from = lastReturn > waitEnd ? lastReturn : waitEnd;
    if (from != 0 && now > from + kNoReturnLimitMs) {
      // Nothing of the work is finished here: the machine is as the cut
      // leaves it, which the next run finishes.
      ::TerminateProcess(::GetCurrentProcess(), 0);
    }
  }
}

}  // namespace

CallWatch::~CallWatch() { g_lastReturn.store(::GetTickCount64()); }

DeliberateWait::DeliberateWait(std::uint32_t milliseconds) { g_waitEnd.store(::GetTickCount64() + milliseconds); }
DeliberateWait::~DeliberateWait() {
  g_waitEnd.store(0);
  g_lastReturn.store(::GetTickCount64());
}

void StartWatchdog() {
  g_lastReturn.store(::GetTickCount64());
  const HANDLE thread =
      ::CreateThread(nullptr, kWatchdogStackBytes, Watch, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread != nullptr) ::CloseHandle(thread);  // it runs until the process ends
}

}  // namespace win32
