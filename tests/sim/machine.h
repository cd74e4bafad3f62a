// A simulated Windows machine for the host build. The platform functions of
// platform.h run against it; tests set it up, run the tool's logic, and
// inspect the resulting state and the calls that were made.
//
// It models what the real calls do, as far as the tool can observe it:
// - a case-insensitive file system with attributes, junctions and symbolic
//   links, in which a non-empty folder refuses RemoveDirectoryW and a
//   read-only file refuses DeleteFileW;
// - processes in sessions with windows, tokens and termination behaviour;
// - a registry tree with typed values stored as raw bytes;
// - shell folders per account, environment variables, the OS version;
// - a virtual clock: Sleep and waits advance it, nothing really sleeps.
// Any call can be made to fail with a chosen result code (Inject).
//
// The machine holds one part per section of platform.h, each declared in the
// header of that section's name, beside what every section shares: the
// clock, the handle table, the last error, injected failures and call counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/clock.h"
#include "sim/constants.h"
#include "sim/files.h"
#include "sim/handle_table.h"
#include "sim/names.h"
#include "sim/processes.h"
#include "sim/registry.h"
#include "sim/runtime.h"
#include "sim/shell.h"
#include "sim/shortcut_format.h"
#include "sim/users.h"
#include "sim/windows.h"

namespace sim {

using platform::Dword;

// ---------------- Failure injection ----------------
struct Injection {
  Dword code = 0;  // the result or last-error value the call reports
  int skip = 0;    // let this many calls through first
  int count = -1;  // then fail this many calls; -1 for every later call
};

// Thrown out of a platform call where the run ends without returning: the
// process killed between two calls, the power lost, or the run's watchdog
// ending a call that never returns. The tool's own code never catches it;
// unwinding closes its handles, as the system closes a dead process's.
struct RunCut {};

enum class Cut {
  kNone,
  kKilled,     // the process ended (killed, or by the run's bound): its handles are closed by the system
  kPowerLost,  // the machine stopped: unflushed data and delete dispositions not yet carried out are lost
};

// How long no call may stay unreturned before the run's watchdog ends it.
constexpr std::uint64_t kNoReturnBoundMs = 90000;

class Machine {
 public:
  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- clock ----
  Clock clock;
  bool hung = false;  // an unbounded wait on something that never ends (the real tool would hang)

  // ---- the run cut short ----
  // When non-zero, the run ends just before its cutAtCall-th platform call
  // from now on, as cutKind says.
  std::uint64_t cutAtCall = 0;
  Cut cutKind = Cut::kKilled;
  std::uint64_t callsSinceArmed = 0;
  Cut cut = Cut::kNone;       // how the run ended, when it was cut
  bool endedByBound = false;  // a call never returned; the watchdog ended the run
  // The call that never returned, when the tool could have kept it from
  // waiting (an open that did not ask not to wait for an oplock's break, a
  // call on a handle whose open had reported that break); empty otherwise.
  std::string avoidableWait;
  // A call that waits for ever: the watchdog ends the run kNoReturnBoundMs
  // later. avoidable names the call when the tool could have kept it from
  // waiting.
  [[noreturn]] void NeverReturns(const char* avoidable = nullptr);
  // A call of the file work that waits for the acknowledgement of an
  // opportunistic lock's break (cancellable, like every such wait): the
  // watchdog cancels it after platform::kFileCallBoundMs, and the caller
  // then fails it as cancelled. at is the entry it waited on; avoidable as
  // for NeverReturns.
  void CancelledAfterItsBound(const FsNode* at, const char* avoidable = nullptr);
  std::vector<std::wstring> cancelledAt;  // the entries of the calls cancelled so, by path

  // ---- failure injection and call counts ----
  void Inject(const std::string& call, Dword code, int count = -1, int skip = 0);
  std::map<std::string, int> calls;
  std::map<std::string, std::function<void()>> afterCall;  // runs after the named call, e.g. to race it
  // Called after every platform call the tool makes (a test's adversary).
  std::function<void(const std::string& call)> afterEveryCall;
  bool TakeInjection(const std::string& call, Dword* code);
  void Count(const std::string& call) { ++calls[call]; }
  std::map<std::string, std::vector<Injection>> injections;

  // ---- the last error (GetLastError) ----
  Dword lastError = 0;

  // ---- handles ----
  HandleTable handles;
  std::size_t OpenHandleCount() const { return handles.size(); }
  platform::Handle NewHandle(HandleEntry entry);
  HandleEntry* Lookup(platform::Handle h);

  // ---- the sections of platform.h, each declared in the header of its name ----
  Runtime runtime;
  Processes processes{clock};
  Users users;
  Windows windows;
  Registry registry;
  FileSystem files{handles};
  Shell shell;

  // A process ends, and its windows with it.
  void EndProcess(Process& p, Dword exitCode);

 private:
  std::uintptr_t nextHandle_ = 0x100;
};

// The machine the platform functions run against. Reset() gives a fresh one.
Machine& machine();
void Reset();

}  // namespace sim
