// The run's bound: a run in which no call into Windows has returned for
// kNoReturnLimitMs, outside the waits the tool makes on purpose, ends
// itself with exit code 0. An open that waits for an opportunistic lock's
// break a user never acknowledges, a share that stops answering, a stalled
// file-system filter: whatever a call does, the installer gets its exit
// code within the bound.
//
// The one thread besides the tool's own. It shares nothing with the work
// but two numbers the forwarders of the seam write (when a call last
// returned, until when a deliberate wait lasts), read and written
// atomically; it calls QueryUnbiasedInterruptTime, Sleep and, at the end,
// TerminateProcess on its own process, none of which takes a lock the
// stuck call could hold: the work's state is never read, so no half-done
// step of it is ever acted on.
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
