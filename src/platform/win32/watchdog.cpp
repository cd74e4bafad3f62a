#include "platform/win32/watchdog.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

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
// The running call of the file work: when it began (0: none runs), and its
// number, so that each is cancelled at most once.
std::atomic<std::uint64_t> g_fileCallStart{0};
std::atomic<std::uint64_t> g_fileCallNumber{0};
// The tool's own thread, with the right CancelSynchronousIo needs; null
// when it could not be had (the calls then run to the run's bound).
HANDLE g_workThread = nullptr;

// Cancels the call of the file work that has run past its bound, once.
void CancelStuckFileCall(std::uint64_t now, std::uint64_t* lastCancelled) {
  const std::uint64_t number = g_fileCallNumber.load();
  const std::uint64_t start = g_fileCallStart.load();
  if (start == 0 || now <= start + platform::kFileCallBoundMs || number == *lastCancelled) return;
  *lastCancelled = number;
  // A call that waits in no cancellable request (stuck in a driver that
  // does not support cancelling, or not in I/O at all) goes on: the run's
  // bound ends it.
  if (g_workThread != nullptr) ::CancelSynchronousIo(g_workThread);
}

DWORD WINAPI Watch(LPVOID) {
  std::uint64_t lastCancelled = 0;
  for (;;) {
    ::Sleep(kPollMs);
    const std::uint64_t now = WorkingMs();
    CancelStuckFileCall(now, &lastCancelled);
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

FileCallWatch::FileCallWatch() {
  g_fileCallStart.store(0);  // the number changes first: never a new start with the old number
  g_fileCallNumber.fetch_add(1);
  g_fileCallStart.store(WorkingMs());
}
FileCallWatch::~FileCallWatch() { g_fileCallStart.store(0); }

DeliberateWait::DeliberateWait(std::uint32_t milliseconds) { g_waitEnd.store(WorkingMs() + milliseconds); }
DeliberateWait::~DeliberateWait() {
  g_waitEnd.store(0);
  g_lastReturn.store(WorkingMs());
}

void StartWatchdog() {
  g_lastReturn.store(WorkingMs());
  // The calling thread is the one that does the work.
  if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &g_workThread,
                         THREAD_TERMINATE, FALSE, 0)) {
    g_workThread = nullptr;
  }
  const HANDLE thread =
      ::CreateThread(nullptr, kWatchdogStackBytes, Watch, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread != nullptr) ::CloseHandle(thread);  // it runs until the process ends
}

}  // namespace win32
