#include "shell/restart_shell.h"

#include <string>

#include "platform/handles.h"
#include "process/interactive_user_token.h"
#include "process/process_lookup.h"
#include "process/stop_client.h"
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
  // The user's own variables only: nothing of the elevated or SYSTEM
  // environment the tool runs with is passed on to the desktop.
  UniqueEnvironmentBlock environment;
  if (!CreateEnvironmentBlock(environment.put(), primaryToken.get(), /*inherit=*/false)) return false;

  // The quoted path, so that a Windows folder with blanks in its path cannot
  // be read as a shorter program name; the call may write into the buffer.
  std::wstring commandLine = L"\"" + executable + L"\"";
  StartupInfo startup{};
  startup.dwFlags = kStartfUseShowWindow;
  startup.wShowWindow = kSwHide;
  ProcessInformation started{};
  // LOGON_WITH_PROFILE makes sure the user's registry hive is loaded for the
  // new shell; the Windows folder as its current folder keeps the shell, which
  // lives for the whole logon session, from holding the installer's current
  // folder open.
  if (!CreateProcessWithTokenW(primaryToken.get(), kLogonWithProfile, executable.c_str(), &commandLine[0],
                               kCreateUnicodeEnvironment, environment.get(), windowsFolder.c_str(), startup,
                               &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
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
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
}

}  // namespace

void RestartShell() {
  Dword session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return;
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
