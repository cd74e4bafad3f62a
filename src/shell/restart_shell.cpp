#include "shell/restart_shell.h"

#include <string>

#include "platform/handles.h"
#include "process/interactive_user.h"
#include "process/process_lookup.h"
#include "process/terminate_processes.h"
#include "process/user_session.h"
#include "profiles/shell_folders.h"

using namespace platform;

namespace {

// What the user's primary token must allow: CreateEnvironmentBlock needs
// query, duplicate and impersonate; the process starts need query,
// duplicate and assign-primary.
constexpr Dword kPrimaryTokenAccess = kTokenQuery | kTokenDuplicate | kTokenImpersonate | kTokenAssignPrimary;

// A primary token of the same user, for starting a process with.
bool PrimaryTokenOf(Handle token, UniqueHandle* primary) {
  return DuplicateTokenEx(token, kPrimaryTokenAccess, kSecurityImpersonation, kTokenPrimary, primary->put());
}

// Starts the shell as the user signed in at session, never with more rights
// than that user has, in the first way that works:
// 1. the token of that user's own shell, taken at start-up (at the user's
//    level: an administrator's shell runs with the filtered token), with
//    CreateProcessWithTokenW (needs the Secondary Logon service, which
//    hardened machines turn off);
// 2. the same token with CreateProcessAsUserW (needs
//    SeAssignPrimaryTokenPrivilege: SYSTEM has it, an elevated
//    administrator has not);
// 3. when the tool runs as that very user: its own token, elevated or not
//    brought down to the normal user's level and medium integrity, with
//    CreateProcessAsUserW (a restricted version of the caller's own token
//    needs no privilege).
// The tool's own token as it is, or anybody else's, is never used. True when
// a shell was started.
bool StartShellAsSessionUser(const InteractiveUser& user, const UserProcessStart& start) {
  if (!user.user) return false;  // nobody signed in at this desktop
  UniqueHandle shell;            // nothing waits for it
  UniqueHandle primary;
  if (user.token && PrimaryTokenOf(user.token.get(), &primary)) {
    if (StartProcessAsUser(primary.get(), StartCall::kWithToken, start, &shell) ||
        StartProcessAsUser(primary.get(), StartCall::kAsUser, start, &shell)) {
      return true;
    }
  }
  UniqueHandle own;
  if (!OpenProcessToken(GetCurrentProcess(), kPrimaryTokenAccess, own.put()) ||
      !TokenBelongsTo(own.get(), *user.user)) {
    return false;  // the tool runs as another account: it starts nothing as itself
  }
  UniqueHandle ownLevel;
  const bool got =
      TokenIsElevated(own.get()) ? NormalUserTokenFromOwn(&ownLevel) : PrimaryTokenOf(own.get(), &ownLevel);
  return got && StartProcessAsUser(ownLevel.get(), StartCall::kAsUser, start, &shell);
}

}  // namespace

void RestartShell(const InteractiveUser& user) {
  if (!user.session) return;
  const Dword session = *user.session;
  // Session 0 has no user's desktop: no shell to end there, and a shell
  // started there would run as the tool's account where nobody sees it.
  if (session == 0) return;
  TerminateProcessesNamed({kShellExecutableName}, session, /*maxSweeps=*/1);
  for (int attempt = 1; attempt <= kShellReturnAttempts; ++attempt) {
    Sleep(kShellReturnWaitMs);
    if (!FindProcessesByName(kShellExecutableName, session).empty()) return;  // back by itself
  }
  LaunchShell(user);
}

void LaunchShell(const InteractiveUser& user) {
  std::wstring windowsFolder;
  if (!LookUpShellFolder(user, kCsidlWindows, &windowsFolder)) return;
  // The Windows folder as its current folder keeps the shell, which lives
  // for the whole logon session, from holding the installer's current folder
  // open. The desktop is named, "winsta0\default": left to the call, a
  // tool that an agent started on a window station of its own would start
  // the shell there, where nobody sees it.
  const UserProcessStart start{windowsFolder + L"\\" + kShellExecutableName,
                               L"",
                               windowsFolder,
                               kUserDesktop,
                               /*creationFlags=*/0,
                               /*userEnvironmentRequired=*/true};
  StartShellAsSessionUser(user, start);
}
