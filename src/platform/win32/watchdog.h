// The run's bound: a run in which no call into Windows has returned for
// kNoReturnLimitMs, outside the waits the tool makes on purpose, ends
// itself with exit code 0. An open that waits for an opportunistic lock's
// break a user never acknowledges, a share that stops answering, a stalled
// file-system filter: whatever a call does, the installer gets its exit
// code within the bound.
//
// The one thread besides the tool's own. It shares nothing with the work
// but the numbers the forwarders of the seam write (when a call last
// returned, until when a deliberate wait lasts, when the running call of
// the file work began and which one it is), read and written atomically;
// it calls QueryUnbiasedInterruptTime, Sleep, CancelSynchronousIo and, at
// the end, TerminateProcess on its own process, none of which takes a lock
// the stuck call could hold: the work's state is never read, so no
// half-done step of it is ever acted on.
#pragma once

#include <cstdint>

namespace win32 {

// Longer than the longest a healthy call can take: a call to a share that
// stopped answering fails by itself after the SMB client's 60 s session
// time-out, and should; only a call that outlasts that is stuck.
constexpr std::uint32_t kNoReturnLimitMs = 90000;

// Every forwarder of the seam holds one while it runs: its end is the
// call's return.
class CallWatch {
 public:
  CallWatch() = default;
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;
  ~CallWatch();
};

// The forwarders of the file work hold this one instead: a call still
// running after platform::kFileCallBoundMs is cancelled once, from the
// watchdog thread (CancelSynchronousIo on the tool's thread). The cancel
// and the call's own return can cross: the cancel then meets the next call
// of the file work, if it is already waiting, which fails as cancelled, a
// failure like any other that the next run finishes.
class FileCallWatch : public CallWatch {
 public:
  FileCallWatch();
  ~FileCallWatch();
};

// A wait the tool makes on purpose, of at most milliseconds (Sleep, the
// bounded process waits): the bound starts after it.
class DeliberateWait {
 public:
  explicit DeliberateWait(std::uint32_t milliseconds);
  DeliberateWait(const DeliberateWait&) = delete;
  DeliberateWait& operator=(const DeliberateWait&) = delete;
  ~DeliberateWait();
};

// Starts the watchdog thread. Without it (it could not be created) the run
// goes on unguarded, as it would have before.
void StartWatchdog();

}  // namespace win32
