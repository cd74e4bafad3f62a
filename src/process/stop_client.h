// Stopping the client: asking its windows to end, and terminating processes.
// Which processes belong to the client is decided by executable name alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "process/process_lookup.h"

// "--force-stop" looks again for client processes that started while it was
// ending others, at most this many times in all.
constexpr int kMaxTerminationSweeps = 3;

// Posts WM_ENDSESSION (wParam 1, lParam ENDSESSION_CLOSEAPP) to every
// top-level window, hidden ones included, of every client process; with
// ownSessionOnly, only to those of processes in the tool's own session.
// Returns how many windows it posted to (0 when no client window was found).
// When ownSessionOnly is set and the tool's own session cannot be read, no
// window is posted to and the result is 0. Does not wait for any window.
std::int32_t CloseClientWindows(bool ownSessionOnly);

// One pass over every top-level window: posts WM_ENDSESSION to each window
// whose owning process runs in the filter's session and has one of names
// (letter case ignored). Returns the number of windows posted to, counting
// posts that failed. Each distinct owner is judged once: its session read
// first, then its name from one process snapshot taken for the pass (an
// owner the snapshot names otherwise is never opened) and confirmed on a
// PROCESS_QUERY_LIMITED_INFORMATION handle of its own. Windows whose owner,
// session or name cannot be read are skipped and not counted.
std::int32_t PostEndSessionToClientWindows(const std::vector<std::wstring>& names, SessionFilter session);

// Terminates every client process with exit code 0 (TerminateProcessesNamed,
// at most kMaxTerminationSweeps sweeps); with ownSessionOnly, only those in
// the tool's own session (none when that session cannot be read). Returns
// how many processes it ended.
int TerminateClientProcesses(bool ownSessionOnly);
