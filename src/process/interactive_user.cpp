#include "process/interactive_user.h"

#include "platform/handles.h"
#include "process/process_lookup.h"
#include "process/user_session.h"

using namespace platform;

namespace {

// The rights the folder look-ups need.
constexpr Dword kLookUpTokenAccess = kTokenQuery | kTokenImpersonate;
// Those and the rights to duplicate the token into a primary token, so that a
// restarted desktop shell can be started as the user instead of as the
// (elevated) account the tool runs as.
constexpr Dword kLaunchTokenAccess = kLookUpTokenAccess | kTokenDuplicate | kTokenAssignPrimary;

// The shell's token, opened with the launch rights or, when those are
// refused, the look-up rights alone; null when neither is granted.
UniqueHandle OpenShellToken(Dword shell) {
  // Opened for its token only, and taken only while it is still the shell.
  UniqueHandle process = OpenProcessNamed(shell, kProcessQueryLimitedInformation, {kShellExecutableName});
  UniqueHandle token;
  if (!process) return token;
  // A token that grants the look-up rights but refuses the others still
  // serves every folder look-up; only the shell restart then starts the
  // shell another way.
  if (!OpenProcessToken(process.get(), kLaunchTokenAccess, token.put()) &&
      !OpenProcessToken(process.get(), kLookUpTokenAccess, token.put())) {
    token.reset();
  }
  return token;
}

// The token of the first shell of session whose user is user, or null.
UniqueHandle ShellTokenOf(Dword session, const Sid& user) {
  for (const Dword shell : FindProcessesByName(kShellExecutableName, session)) {
    UniqueHandle token = OpenShellToken(shell);
    if (token && TokenBelongsTo(token.get(), user)) return token;
  }
  return UniqueHandle();
}

}  // namespace

InteractiveUser FindInteractiveUser() {
  InteractiveUser found;
  Dword session = 0;
  // Without its own session the tool cannot tell which desktop is its own.
  if (!OwnSessionId(&session)) return found;
  found.session = session;
  // Session 0 has no user's desktop: an "explorer.exe" there is whatever a
  // user signed in over the network (OpenSSH runs in session 0) started
  // under that name, and its user's folder layout is not to be carried to
  // every profile.
  if (session == 0) return found;
  SessionUserNames names;
  if (!ReadSessionUserNames(session, &names)) return found;
  // Only a shell of the user signed in at this session, known by its logon:
  // another account (an administrator who elevated over the shoulder) may
  // run a program of that name here too.
  bool recorded = true;
  // Whether token is of her logon; she is then known by its SID.
  auto hers = [&](Handle token) {
    const LogonMatch match = MatchSessionLogon(token, names);
    recorded = recorded && match != LogonMatch::kNotRecorded;
    Sid user;
    if (match != LogonMatch::kSessionUser || !TokenUserSid(token, &user)) return false;
    found.user = std::move(user);
    found.name = FullName(names);
    return true;
  };
  for (const Dword shell : FindProcessesByName(kShellExecutableName, session)) {
    UniqueHandle token = OpenShellToken(shell);
    if (token && hers(token.get())) {
      found.token = std::move(token);
      return found;
    }
  }
  // No shell of hers runs: the tool itself may be hers (an installer she
  // started), which is all the restart needs to start one.
  UniqueHandle own;
  if (OpenProcessToken(GetCurrentProcess(), kTokenQuery, own.put()) && hers(own.get())) return found;
  // Where the system keeps no record of logons, her account by its names.
  if (recorded) return found;
  Sid user;
  if (!LookUpAccountSid(names, &user)) return found;
  found.token = ShellTokenOf(session, user);
  found.user = std::move(user);
  found.name = FullName(names);
  return found;
}
