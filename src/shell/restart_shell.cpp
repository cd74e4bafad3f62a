#include "shell/restart_shell.h"

#include <iterator>
#include <string>

#include "common/decimal_text.h"
#include "common/report.h"
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

// S-1-5-18, LocalSystem, as a SID's bytes: of the accounts that run the
// tool, the only one holding SeAssignPrimaryTokenPrivilege.
alignas(4) const unsigned char kLocalSystemBytes[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const Sid kLocalSystemSid(std::begin(kLocalSystemBytes), std::end(kLocalSystemBytes));

// Whether CreateProcessWithTokenW can be served: the Secondary Logon
// service is not disabled (one that starts on demand is started by the
// call). Not known counts as no.
bool SecondaryLogonStarts() {
  const UniqueServiceHandle manager(
      OpenSCManagerW(/*machineName=*/nullptr, /*databaseName=*/nullptr, kScManagerConnect));
  if (!manager) return false;
  const UniqueServiceHandle service(OpenServiceW(manager.get(), L"seclogon", kServiceQueryConfig));
  if (!service) return false;
  alignas(8) unsigned char buffer[kQueryServiceConfigMaxBytes];
  auto* config = reinterpret_cast<ServiceConfig*>(buffer);
  Dword needed = 0;
  return QueryServiceConfigW(service.get(), config, sizeof(buffer), &needed) && config->dwStartType != kServiceDisabled;
}

// A primary token of the same user, for starting a process with.
bool PrimaryTokenOf(Handle token, UniqueHandle* primary) {
  return DuplicateTokenEx(token, kPrimaryTokenAccess, kSecurityImpersonation, kTokenPrimary, primary->put());
}

// How the shell is started, settled before the running one is ended: the
// shell's path, and the token to start it with, never with more rights
// than the user signed in at the session has:
// - when the tool runs as that very user, not elevated: its own token as
//   it is, with CreateProcessAsUserW (she holds no SeImpersonatePrivilege
//   for CreateProcessWithTokenW, nor SeAssignPrimaryTokenPrivilege for a
//   token of another process);
// - otherwise the token of that user's own shell, taken at start-up (at the
//   user's level: an administrator's shell runs with the filtered token),
//   with CreateProcessWithTokenW (needs the Secondary Logon service, which
//   hardened machines turn off), else CreateProcessAsUserW (needs
//   SeAssignPrimaryTokenPrivilege: SYSTEM has it, an elevated administrator
//   has not), so for anybody but SYSTEM and her this way is open only while
//   the service is not disabled;
// - and, when the tool runs as that user elevated, after those or without
//   her shell's token: its own token brought down to the normal user's
//   level and medium integrity, with CreateProcessAsUserW (a restricted
//   version of the caller's own token needs no privilege).
// The tool's own token as it is when elevated, or anybody else's, is never
// used. False when no way is open: then nothing may be ended.
struct ShellStart {
  std::wstring windowsFolder;
  UniqueHandle shellToken;  // a primary token of her shell's, or null
  UniqueHandle ownToken;    // the tool's own, when it runs as her, or null
  bool ownElevated = false;
};

bool SettleShellStart(const InteractiveUser& user, ShellStart* start, std::wstring* why) {
  if (!user.user) {  // nobody signed in at this desktop
    *why = L"nobody known signed in at the session";
    return false;
  }
  if (!LookUpShellFolder(user, kCsidlWindows, &start->windowsFolder)) {
    *why = L"the Windows folder cannot be found";
    return false;
  }
  // The shell is there to start (Server Core has none). The Windows folder
  // is the administrators': nobody without rights can take it away between
  // this look and the start.
  const UniqueFileHandle shell(CreateFileW((start->windowsFolder + L"\\" + kShellExecutableName).c_str(),
                                           kFileReadAttributes | kSynchronize,
                                           kFileShareRead | kFileShareWrite | kFileShareDelete, kOpenExisting, 0));
  if (!shell) {
    *why = start->windowsFolder + L"\\" + kShellExecutableName + L" is not there to start";
    return false;
  }
  UniqueHandle own;
  const bool ownOpened = OpenProcessToken(GetCurrentProcess(), kPrimaryTokenAccess, own.put());
  const bool asSystem = ownOpened && TokenBelongsTo(own.get(), kLocalSystemSid);
  if (ownOpened && TokenBelongsTo(own.get(), *user.user)) {
    start->ownElevated = TokenIsElevated(own.get());
    start->ownToken = std::move(own);
  }
  if (user.token && !PrimaryTokenOf(user.token.get(), &start->shellToken)) start->shellToken.reset();
  // Her shell's token serves another account only through Secondary Logon,
  // unless the tool runs as SYSTEM (CreateProcessAsUserW).
  if (start->shellToken && !start->ownToken && !asSystem && !SecondaryLogonStarts()) {
    start->shellToken.reset();
    *why =
        L"only Secondary Logon could start it as her, and that service is disabled (or its configuration unreadable)";
    return false;
  }
  if (!start->shellToken && !start->ownToken) {
    *why = L"no token of hers to start it with";
    return false;
  }
  return true;
}

// Starts the shell the settled way; true when one was started.
bool StartShell(const ShellStart& settled) {
  // The Windows folder as its current folder keeps the shell, which lives
  // for the whole logon session, from holding the installer's current folder
  // open. The desktop is named, "winsta0\default": left to the call, a
  // tool that an agent started on a window station of its own would start
  // the shell there, where nobody sees it.
  const UserProcessStart start{settled.windowsFolder + L"\\" + kShellExecutableName,
                               L"",
                               settled.windowsFolder,
                               kUserDesktop,
                               /*creationFlags=*/0,
                               /*userEnvironmentRequired=*/true};
  UniqueHandle shell;  // nothing waits for it
  if (settled.ownToken && !settled.ownElevated) {
    UniqueHandle primary;
    return PrimaryTokenOf(settled.ownToken.get(), &primary) &&
           StartProcessAsUser(primary.get(), StartCall::kAsUser, start, &shell);
  }
  if (settled.shellToken && (StartProcessAsUser(settled.shellToken.get(), StartCall::kWithToken, start, &shell) ||
                             StartProcessAsUser(settled.shellToken.get(), StartCall::kAsUser, start, &shell))) {
    return true;
  }
  UniqueHandle ownLevel;
  return settled.ownToken && NormalUserTokenFromOwn(&ownLevel) &&
         StartProcessAsUser(ownLevel.get(), StartCall::kAsUser, start, &shell);
}

// StartShell, and its outcome in the decision log.
void ReportedStart(const ShellStart& settled) {
  const bool started = StartShell(settled);
  if (!report::On()) return;
  const std::wstring shell = settled.windowsFolder + L"\\" + kShellExecutableName;
  if (started) {
    report::Say(L"started", shell, L"as the signed-in user");
  } else {
    report::Say(L"left", shell, L"could not be started: the system refused every way");
  }
}

}  // namespace

void RestartShell(const InteractiveUser& user) {
  if (!user.session) return;
  const Dword session = *user.session;
  // Session 0 has no user's desktop: no shell to end there, and a shell
  // started there would run as the tool's account where nobody sees it.
  if (session == 0) return;
  // Her shell is ended only when it can be started again.
  ShellStart settled;
  std::wstring why;
  if (!SettleShellStart(user, &settled, &why)) {
    if (report::On()) report::Say(L"left", L"the shell of session " + DecimalText(session), L"not ended: " + why);
    return;
  }
  TerminateProcessesNamed({kShellExecutableName}, session, /*maxSweeps=*/1);
  for (int attempt = 1; attempt <= kShellReturnAttempts; ++attempt) {
    Sleep(kShellReturnWaitMs);
    if (!FindProcessesByName(kShellExecutableName, session).empty()) {  // back by itself
      if (report::On())
        report::Say(L"kept", L"the shell of session " + DecimalText(session), L"it came back by itself");
      return;
    }
  }
  ReportedStart(settled);
}

void LaunchShell(const InteractiveUser& user) {
  ShellStart settled;
  std::wstring why;
  if (SettleShellStart(user, &settled, &why)) {
    ReportedStart(settled);
  } else if (report::On()) {
    report::Say(L"left", L"the shell", L"not started: " + why);
  }
}
