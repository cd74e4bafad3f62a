// "--restart-explorer": ends the desktop shell of the tool's own session and
// makes sure one runs there again.
#pragma once

#include "platform/platform.h"
#include "process/interactive_user_token.h"

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
void RestartShell();

// Starts the Windows folder's "\explorer.exe" with its window hidden, and
// closes every handle the start returns. With an interactive-user token the
// shell is started as that user (a primary token duplicated from it, the
// user's own environment, CreateProcessWithTokenW), so that an elevated or
// SYSTEM run does not hand the desktop an elevated shell. Without a token, or
// when any of those steps fails, it is started through ShellExecuteExW
// ("open", SW_HIDE, no message box on failure, done when the call returns)
// in the tool's own security context. Starts nothing when
// the Windows folder cannot be resolved. Reports nothing.
void LaunchShell();
