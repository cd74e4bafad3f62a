#include "shell/restart_shell.h"

#include <string>

#include "platform/handles.h"
#include "process/interactive_user_token.h"
#include "process/process_lookup.h"
#include "process/stop_client.h"
#include "process/user_session.h"
#include "profiles/shell_folders.h"

using namespace platform;

namespace {

constexpr const wchar_t* kOpenVerb = L"open";

// What the user's primary token must allow: CreateEnvironmentBlock needs
// query, duplicate and impersonate; CreateProcessWithTokenW needs query,
// duplicate and assign-primary.
constexpr Dword kPrimaryTokenAccess = kTokenQuery | kTokenDuplicate | kTokenImpersonate | kTokenAssignPrimary;

// Starts executable as the owner of userToken, window hidden, in the
// Windows folder. True when the process was created; every handle is closed.
bool StartShellAsUser(Handle userToken, const std::wstring& windowsFolder, const std::wstring& executable) {
  UniqueHandle primaryToken;
  if (!DuplicateTokenEx(userToken, kPrimaryTokenAccess, kSecurityImpersonation, kTokenPrimary, primaryToken.put())) {
    return false;
  }
  // The Windows folder as its current folder keeps the shell, which lives
  // for the whole logon session, from holding the installer's current folder
  // open. The desktop is left to the call: CreateProcessWithTokenW then
  // grants the user access to the tool's own desktop.
  const UserProcessStart start{executable, L"", windowsFolder, /*desktop=*/nullptr, /*creationFlags=*/0,
                               /*userEnvironmentRequired=*/true};
  UniqueHandle shell;  // nothing waits for it
  return StartProcessAsUser(primaryToken.get(), StartCall::kWithToken, start, &shell);
}

// The shell launcher's own start, in the tool's security context.
void StartShellAsSelf(const std::wstring& executable) {
  ShellExecuteInfo info{};
  info.cbSize = kShellExecuteInfoSize;
  // No message box when the launch fails (nobody may be at this desktop to
  // close it, and the installer would wait for ever), and the launch is
  // finished when the call returns.
  info.fMask = kSeeMaskNoCloseProcess | kSeeMaskFlagNoUi | kSeeMaskNoAsync;
  info.lpVerb = kOpenVerb;
  info.lpFile = executable.c_str();
  info.nShow = kSwHide;
  ShellExecuteExW(&info);
  // Nothing waits for the new shell: its handle is closed at once. It is null
  // when the call failed or started no process of its own.
  UniqueHandle shell(info.hProcess);
}

}  // namespace

void RestartShell() {
  Dword session = 0;
  if (!OwnSessionId(&session)) return;
  // Session 0 has no user's desktop: no shell to end there, and a shell
  // started there would run as the tool's account where nobody sees it.
  if (session == 0) return;
  TerminateProcessesByName(kShellExecutableName, session);
  for (int attempt = 1; attempt <= kShellReturnAttempts; ++attempt) {
    Sleep(kShellReturnWaitMs);
    if (!FindProcessesByName(kShellExecutableName, session).empty()) return;  // back by itself
  }
  LaunchShell();
}

void LaunchShell() {
  std::wstring windowsFolder;
  if (!LookUpShellFolder(kCsidlWindows, &windowsFolder)) return;
  const std::wstring executable = windowsFolder + L"\\" + kShellExecutableName;
  const Handle userToken = InteractiveUserToken();
  if (userToken != nullptr && StartShellAsUser(userToken, windowsFolder, executable)) return;
  StartShellAsSelf(executable);
}
