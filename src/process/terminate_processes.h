// Ending processes by executable name: the client's forced stop and the
// shell restart's end of the old shell.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "process/process_lookup.h"

// The longest a terminated process is waited for. A process whose
// termination never completes (a thread stuck in a driver) must not hang the
// installer: after this the tool closes its handle and goes on.
constexpr platform::Dword kTerminationWaitLimitMs = 30000;

// Terminates, with exit code 0, every process that has one of names (letter
// case ignored) and runs in the filter's session, in sweeps. Each sweep
// takes one snapshot and ends, in the system's order, every such process
// found there that it has not tried before: opened with PROCESS_TERMINATE |
// SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, its name confirmed on
// that very handle (an identifier that another process took over meanwhile
// is left alone), terminated and waited for (at most
// kTerminationWaitLimitMs). After a sweep that ended something another
// sweep follows, at most maxSweeps in all; a process that does not end is
// not waited for twice. Returns how many processes it ended. Processes that
// cannot be opened are left running.
int TerminateProcessesNamed(const std::vector<std::wstring>& names, SessionFilter session, int maxSweeps);
