// "--restart-explorer": ends the desktop shell of the tool's own session and
// makes sure one runs there again.
#pragma once

#include "platform/platform.h"
#include "process/interactive_user.h"

// After the shell is ended, Windows normally starts it again by itself. The
// tool looks for it kShellReturnAttempts times, each time after a wait of
// kShellReturnWaitMs, before it starts one itself.
constexpr int kShellReturnAttempts = 10;
constexpr platform::Dword kShellReturnWaitMs = 1000;

// Terminates every "explorer.exe" of the tool's own session (waiting for
// each to end), then up to kShellReturnAttempts times waits kShellReturnWaitMs
// and looks for an "explorer.exe" in that session again, returning as soon as
// one is found. When none came back, calls LaunchShell once and returns
// without looking again. Shells of other sessions are neither ended nor
// counted. When the own session cannot be determined, or is session 0 (a
// service's, where no user's desktop is), it does nothing at all.
void RestartShell(const InteractiveUser& user);

// Starts the Windows folder's "\explorer.exe" with its window hidden, as
// the user signed in at the tool's session and never with more rights than
// that user has (the ways, in order, are in restart_shell.cpp), with the
// user's own environment and Windows' default error mode, and closes every
// handle the start returns. Starts nothing when the Windows folder or the
// session's user cannot be read, or when no way is open: the tool runs as
// another account than the session's user and can use neither that user's
// shell token (none was taken, or the Secondary Logon service is off and
// the tool lacks SeAssignPrimaryTokenPrivilege). Reports nothing.
void LaunchShell(const InteractiveUser& user);
