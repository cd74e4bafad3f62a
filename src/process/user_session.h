// The tool's own session, and starting a process as the user signed in at
// a session: the one place the tool starts programs in somebody else's name
// (the restarted desktop shell, and the copies of "--stop" that a run from
// session 0 starts in the users' sessions).
#pragma once

#include <string>

#include "platform/handles.h"
#include "platform/platform.h"

// The session the tool runs in. False when it cannot be read; callers then
// do nothing that depends on it.
bool OwnSessionId(platform::Dword* session);

// Which Windows call starts the process.
enum class StartCall {
  // CreateProcessWithTokenW with LOGON_WITH_PROFILE (the user's registry
  // hive loaded for the new process), in the token's logon session, on the
  // tool's own desktop, which the call opens to the user.
  kWithToken,
  // CreateProcessAsUserW, in the token's session, on the desktop asked for.
  kAsUser,
};

// What to start and how. The command line is the executable's path in
// quotes, so that a folder with blanks in its path cannot be read as a
// shorter program name, followed by arguments.
struct UserProcessStart {
  std::wstring executable;
  std::wstring arguments;          // empty, or beginning with a blank
  std::wstring currentFolder;      // empty: the tool's own
  const wchar_t* desktop;          // null: the call's default
  platform::Dword creationFlags;   // CREATE_UNICODE_ENVIRONMENT is added when the user's variables are passed
  bool userEnvironmentRequired;    // without the user's own variables, start nothing
};

// Starts the process as the owner of primaryToken (a primary token), window
// hidden, with no handle inherited, with the user's own variables
// (CreateEnvironmentBlock without the tool's); without them it starts with
// the tool's unless start.userEnvironmentRequired. True when it was
// created; process then owns its handle (the thread's is closed).
bool StartProcessAsUser(platform::Handle primaryToken, StartCall call, const UserProcessStart& start,
                        platform::UniqueHandle* process);
