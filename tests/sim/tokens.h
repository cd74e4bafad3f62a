// What the simulated users calls (users.cpp) and the starts with a user's
// token (start_as_user.cpp) share.
#pragma once

#include "platform/platform.h"
#include "sim/machine.h"

namespace sim {

// The entry of token handle h when it grants needed; otherwise null, the
// last error ERROR_INVALID_HANDLE or ERROR_ACCESS_DENIED.
HandleEntry* TokenEntry(Machine& m, platform::Handle h, Dword needed);

// Whether the tool runs as LocalSystem.
bool IsSystem(Machine& m);

}  // namespace sim
