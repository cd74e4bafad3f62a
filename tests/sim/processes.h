// The simulated machine's processes: each with its session, executable,
// account, what opening and ending it does, and the tool's own process
// among them. The calls (the process snapshot, opening, waiting, ending,
// CloseHandle) are in processes.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "sim/clock.h"
#include "sim/constants.h"

namespace sim {

using platform::Dword;

enum class Termination {
  kEnds,       // TerminateProcess ends it at once
  kRefused,    // TerminateProcess fails with ERROR_ACCESS_DENIED
  kNeverEnds,  // TerminateProcess succeeds, but the process never ends (stuck in a driver)
  kEndsLater,  // TerminateProcess succeeds; the process ends terminationDelayMs later
};

struct Process {
  Dword pid = 0;
  Dword session = 1;
  std::wstring exeName;         // base name of the main module
  std::wstring user = L"user";  // the account its token belongs to
  // Its token's elevation and mandatory level: a signed-in user's programs,
  // the shell included, run not elevated at medium (a UAC administrator's
  // with the filtered token); SYSTEM runs elevated at system level.
  bool elevated = false;
  Dword integrity = platform::kSecurityMandatoryMediumRid;
  Dword errorMode = 0;  // the error mode it started with (SetErrorMode's flags)
  bool alive = true;
  Dword exitCode = platform::kStillActive;
  Dword deniedAccess = 0;       // OpenProcess fails with 5 when any of these rights is asked
  Dword tokenDeniedAccess = 0;  // OpenProcessToken fails with 5 when any of these rights is asked
  bool sessionReadable = true;  // ProcessIdToSessionId fails with 5 when false
  bool nameReadable = true;     // QueryFullProcessImageNameW fails with 5 when false
  std::wstring imageFolder = L"C:\\Program Files\\App";  // where its executable lies
  platform::FileTime creationTime = 0;                   // from the virtual clock, unique on the machine
  Dword parentPid = 0;
  bool exitsBeforeOpen = false;  // it exits between enumeration and OpenProcess
  // It exits between a snapshot and the next OpenProcess of its identifier,
  // and a process of this name takes the identifier over.
  std::wstring reusedBy;
  // When it is terminated, it first starts a process of this name in its
  // session (a daemon bringing its partner back; one of its own name does
  // the same again, for ever).
  std::wstring respawns;
  bool exitsOnEndSession = false;  // it ends soon after a WM_ENDSESSION is posted to one of its windows
  Termination termination = Termination::kEnds;
  Dword terminationDelayMs = 0;
  std::uint64_t endedAt = 0;
  bool terminatedByTool = false;
};

struct TerminateRecord {
  Dword pid;
  Dword exitCode;
  bool succeeded;
  std::wstring name;  // of the process the handle referred to, "?" when it had ended
};

struct OpenProcessCall {
  Dword pid;
  Dword access;
  std::wstring name;  // the name the process had when the open was asked for, "" for none
};

// GetCurrentProcess's pseudo handle.
inline bool IsPseudoProcess(platform::Handle h) { return h == platform::InvalidHandleValue(); }

class Processes {
 public:
  // New processes take their creation time from clock.
  explicit Processes(const Clock& clock);
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;

  // ---- the tool's own process ----
  // It is list[0] from the start: pid 4000, "client-maintenance.exe",
  // session 1, account "SYSTEM" (elevated, system level). Change it
  // through Self().
  static constexpr Dword kSelfPid = 4000;
  Process& Self() { return *FindProcess(kSelfPid); }

  std::deque<Process> list;  // enumeration order; references stay valid as processes are added
  Process& AddProcess(const std::wstring& exeName, Dword session = 1, Dword pid = 0);
  Process* FindProcess(Dword pid);
  std::vector<Dword> RunningPids(const std::wstring& exeName) const;  // by folded name, alive only
  // A process started from the executable at imagePath; returns its pid.
  Dword StartProcess(const std::wstring& imagePath, Dword session, const std::wstring& user);
  std::vector<TerminateRecord> terminations;
  std::vector<OpenProcessCall> openProcessCalls;
  std::uint64_t processesCreated = 0;  // for unique creation times

 private:
  const Clock& clock_;
  Dword nextPid_ = 1000;
  // pid -> position in list, so that a look-up does not scan every process
  // (a machine with thousands of them). An entry is trusted only when the
  // element at its position still has that pid; anything else rebuilds the
  // index, so tests may still change the list directly.
  std::unordered_map<Dword, std::size_t> index_;
  std::size_t indexCount_ = 0;  // the list size the index was built for
};

}  // namespace sim
