// Stopping the client: asking its windows to end, and terminating processes.
// Which processes belong to the client is decided by executable name alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "process/process_lookup.h"

// The longest a terminated process is waited for. A process whose
// termination never completes (a thread stuck in a driver) must not hang the
// installer: after this the tool closes its handle and goes on.
constexpr platform::Dword kTerminationWaitLimitMs = 30000;

// The executable names of every version of the client, in the order they are
// worked through. Compared without regard to letter case.
std::vector<std::wstring> ClientProcessNames();

// Posts WM_ENDSESSION (wParam 1, lParam ENDSESSION_CLOSEAPP) to every
// top-level window, hidden ones included, of every client process; with
// ownSessionOnly, only to those of processes in the tool's own session.
// Returns how many windows it posted to (0 when no client window was found).
// When ownSessionOnly is set and the tool's own session cannot be read, no
// window is posted to and the result is 0. Does not wait for any window.
std::int32_t CloseClientWindows(bool ownSessionOnly);

// One pass over every top-level window: posts WM_ENDSESSION to each window
// whose owning process has the executable name (letter case ignored) and
// runs in the filter's session. Returns the number of windows posted to,
// counting posts that failed. Windows whose owner, session or executable name
// cannot be read are skipped and not counted.
std::int32_t PostEndSessionToWindowsOf(const std::wstring& name, SessionFilter session);

// Terminates every client process, each name in ClientProcessNames order, with
// TerminateProcessesByName; with ownSessionOnly, only those in the tool's own
// session (none when that session cannot be read).
void TerminateClientProcesses(bool ownSessionOnly);

// Terminates, with exit code 0, every process that FindProcessesByName
// returns for name and session and that can be opened, and waits for each to
// end (at most kTerminationWaitLimitMs each). Processes that cannot be opened
// are left running.
void TerminateProcessesByName(const std::wstring& name, SessionFilter session);
