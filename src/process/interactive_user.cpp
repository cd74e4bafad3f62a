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

// The token of the first shell of session whose user is user, or null.
UniqueHandle ShellTokenOf(Dword session, const Sid& user) {
  for (const Dword shell : FindProcessesByName(kShellExecutableName, session)) {
    // Opened for its token only, and taken only while it is still the shell.
    UniqueHandle process = OpenProcessNamed(shell, kProcessQueryLimitedInformation, {kShellExecutableName});
    if (!process) continue;
    // A token that grants the look-up rights but refuses the others still
    // serves every folder look-up; only the shell restart then starts the
    // shell another way.
    UniqueHandle token;
    if (!OpenProcessToken(process.get(), kLaunchTokenAccess, token.put()) &&
        !OpenProcessToken(process.get(), kLookUpTokenAccess, token.put())) {
      continue;
    }
    if (TokenBelongsTo(token.get(), user)) return token;
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
  // Only a shell of the user signed in at this session: another account
  // (an administrator who elevated over the shoulder) may run a program of
  // that name here too.
  Sid user;
  if (!SessionUserSid(session, &user)) return found;
  found.token = ShellTokenOf(session, user);
  found.user = std::move(user);
  return found;
}
