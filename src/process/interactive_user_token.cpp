#include "process/interactive_user_token.h"

#include "platform/handles.h"
#include "process/process_lookup.h"
#include "process/user_session.h"

using namespace platform;

namespace {
UniqueHandle g_interactiveUserToken;

// The rights the folder look-ups need.
constexpr Dword kLookUpTokenAccess = kTokenQuery | kTokenImpersonate;
// Those and the rights to duplicate the token into a primary token, so that a
// restarted desktop shell can be started as the user instead of as the
// (elevated) account the tool runs as.
constexpr Dword kLaunchTokenAccess = kLookUpTokenAccess | kTokenDuplicate | kTokenAssignPrimary;
}  // namespace

void OpenInteractiveUserToken() {
  Dword session = 0;
  // Without its own session the tool cannot tell which desktop is its own:
  // it takes no token rather than a shell of whatever session 0 would match.
  if (!OwnSessionId(&session)) return;
  const std::vector<Dword> shells = FindProcessesByName(kShellExecutableName, session);
  if (shells.empty()) return;
  // Opened for its token only, and taken only while it is still the shell.
  UniqueHandle process = OpenProcessNamed(shells.front(), kProcessQueryLimitedInformation, {kShellExecutableName});
  if (!process) return;
  // A token that grants the look-up rights but refuses the others still
  // serves every folder look-up; only the shell restart then falls back to
  // starting the shell in the tool's own context.
  UniqueHandle token;
  if (OpenProcessToken(process.get(), kLaunchTokenAccess, token.put()) ||
      OpenProcessToken(process.get(), kLookUpTokenAccess, token.put())) {
    g_interactiveUserToken = std::move(token);
  }
}

void CloseInteractiveUserToken() { g_interactiveUserToken.reset(); }

Handle InteractiveUserToken() { return g_interactiveUserToken.get(); }
