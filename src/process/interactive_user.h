// The interactive user: the user at the desktop of the tool's own session,
// with the access token of that user's desktop shell. Found once by the run
// at its start, passed to every command and to every shell-folder look-up
// (so that folders resolve for the user at the desktop), and closed at the
// end of the run. Without a token the look-ups resolve the folders of the
// account the tool runs as.
#pragma once

#include <optional>

#include "platform/handles.h"
#include "platform/platform.h"
#include "process/user_session.h"

// The desktop shell's executable, as its processes are looked up by name and
// as it is started from the Windows folder.
constexpr const wchar_t* kShellExecutableName = L"explorer.exe";

struct InteractiveUser {
  // The tool's own session; none when it cannot be read.
  std::optional<platform::Dword> session;
  // The user signed in at that session; none in session 0, when nobody is
  // signed in there, or when the session's user cannot be read.
  std::optional<Sid> user;
  // Her names as the session gives them ("domain\user"), when she is known.
  std::wstring name;
  // The token of the first "explorer.exe" of that session (in enumeration
  // order) whose user is that user, opened for query, impersonate, duplicate
  // and assign-primary (enough to start a process as the user), or, when
  // that is refused, for query and impersonate alone (enough for the folder
  // look-ups). Null when there is no user, no such process, or its token
  // cannot be opened.
  platform::UniqueHandle token;
};

// Finds the interactive user of the tool's own session.
InteractiveUser FindInteractiveUser();
