#include "platform/win32/watchdog.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace win32 {

namespace {

constexpr DWORD kPollMs = 1000;
constexpr SIZE_T kWatchdogStackBytes = 64 * 1024;

// Milliseconds of the machine's working time. QueryUnbiasedInterruptTime
// leaves out the time the machine sleeps or hibernates, as the tool's own
// timed waits do (Windows 8 and later): a laptop that sleeps during a run is
// not cut when it wakes, and a deliberate wait does not run out in its sleep.
std::uint64_t WorkingMs() {
  ULONGLONG unbiased = 0;
  ::QueryUnbiasedInterruptTime(&unbiased);
  return unbiased / 10000;
}

// WorkingMs values; 0: none yet.
std::atomic<std::uint64_t> g_lastReturn{0};
std::atomic<std::uint64_t> g_waitEnd{0};

DWORD WINAPI Watch(LPVOID) {
  for (;;) {
    ::Sleep(kPollMs);
    const std::uint64_t now = WorkingMs();
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

CallWatch::~CallWatch() { g_lastReturn.store(WorkingMs()); }

DeliberateWait::DeliberateWait(std::uint32_t milliseconds) { g_waitEnd.store(WorkingMs() + milliseconds); }
DeliberateWait::~DeliberateWait() {
  g_waitEnd.store(0);
  g_lastReturn.store(WorkingMs());
}

void StartWatchdog() {
  g_lastReturn.store(WorkingMs());
  const HANDLE thread =
      ::CreateThread(nullptr, kWatchdogStackBytes, Watch, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread != nullptr) ::CloseHandle(thread);  // it runs until the process ends
}

}  // namespace win32
