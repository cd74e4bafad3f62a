// The interactive-user token: the access token of the desktop shell of the
// tool's own session. Taken once at start-up, closed at the end of the run,
// and passed to every shell-folder look-up so that folders resolve for the
// user at the desktop. Null when it could not be obtained, in which case the
// look-ups resolve the folders of the account the tool runs as.
#pragma once

#include "platform/platform.h"

// The desktop shell's executable, as its processes are looked up by name and
// as it is started from the Windows folder.
constexpr const wchar_t* kShellExecutableName = L"explorer.exe";

// Opens the token of the first "explorer.exe" of the tool's own session (in
// enumeration order) whose user is the user signed in at that session, and
// keeps it as the interactive-user token; leaves it null in session 0, when
// the session's user cannot be read, or when there is no such process or
// its token cannot be opened. The token is opened for query, impersonate,
// duplicate and assign-primary (enough to start a process as the user);
// when that is refused, for query and impersonate alone (enough for the
// folder look-ups).
void OpenInteractiveUserToken();

// Closes the token, if any, and leaves it null.
void CloseInteractiveUserToken();

// The token, or null. Never close it: the run owns it.
platform::Handle InteractiveUserToken();
