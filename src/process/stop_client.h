// Stopping the client: asking its windows to end, and terminating processes.
#pragma once

#include <string>
#include <vector>

#include "process/process_lookup.h"

// The longest a terminated process is waited for. A process whose
// termination never completes (a thread stuck in a driver) must not hang the
// installer: after this the tool closes its handle and goes on.
constexpr platform::Dword kTerminationWaitLimitMs = 30000;

// Terminates, with exit code 0, every process that FindProcessesByName
// returns for name and session and that can be opened, and waits for each to
// end (at most kTerminationWaitLimitMs each). Processes that cannot be opened
// are left running.
void TerminateProcessesByName(const std::wstring& name, SessionFilter session);
