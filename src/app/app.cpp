#include "app/app.h"

#include <clocale>
#include <cwchar>

#include "app/stop_command.h"
#include "cleanup/empty_folders.h"
#include "cleanup/uninstall.h"
#include "common/decimal_text.h"
#include "common/report.h"
#include "files/call_bound.h"
#include "files/held_folder.h"
#include "platform/handles.h"
#include "process/interactive_user.h"
#include "process/user_session.h"
#include "shell/restart_shell.h"
#include "shortcuts/remove_shortcuts.h"
#include "shortcuts/startup_shortcut.h"

using namespace platform;

namespace {

constexpr const wchar_t* kDebugPrivilege = L"SeDebugPrivilege";

// One command per run, chosen by element 1 of the argument vector. Each entry
// receives the interactive user and the whole vector; most ignore everything
// after element 1.
struct Command {
  const wchar_t* option;
  void (*run)(const InteractiveUser& user, int argc, wchar_t** argv);
};

void DoNothing(const InteractiveUser&, int, wchar_t**) {}

// In table order: the first exact match runs.
const Command kCommands[] = {
    {L"--stop", RunStopCommand},
    {L"--force-stop", [](const InteractiveUser&, int, wchar_t**) { RunForceStopCommand(); }},
    {L"--uninstall", RunUninstallCommand},
    {L"--admin-remove-shortcuts",
     [](const InteractiveUser& user, int, wchar_t**) {
       RemoveShortcutsForAllProfiles(user);
       RemoveAllUsersShortcuts(user);
     }},
    {L"--portable-remove-shortcuts",
     [](const InteractiveUser& user, int, wchar_t**) { RemoveCurrentUserShortcuts(user); }},
    {L"--admin-upgrade-startup-shortcut",
     [](const InteractiveUser& user, int, wchar_t**) { UpgradeStartupShortcut(user); }},
    {L"--restart-explorer", [](const InteractiveUser& user, int, wchar_t**) { RestartShell(user); }},
    {L"--remove-all-users-empty-folders",
     [](const InteractiveUser& user, int, wchar_t**) { RemoveAllUsersEmptyFolders(user); }},
    // Recognised for the installers that pass them; there is nothing to do.
    {L"--admin-remove-syncroots", DoNothing},
    {L"--portable-remove-syncroots", DoNothing},
};

// "-verbose", after the command's own arguments: after NAME for
// "--uninstall"; for "--stop" wherever it is not the value of a "-timeout".
bool VerboseAsked(const wchar_t* command, int argc, wchar_t** argv) {
  const bool stop = std::wcscmp(command, L"--stop") == 0;
  for (int i = std::wcscmp(command, L"--uninstall") == 0 ? 3 : 2; i < argc; ++i) {
    if (stop && std::wcscmp(argv[i], L"-timeout") == 0) {
      ++i;  // its value
    } else if (std::wcscmp(argv[i], L"-verbose") == 0) {
      return true;
    }
  }
  return false;
}

// The log's first line: the tool and how it was started, the account it
// runs as, and whose folders it resolves.
std::wstring FirstLine(const InteractiveUser& user) {
  std::wstring account = L"an account it cannot read";
  UniqueHandle own;
  Sid sid;
  if (OpenProcessToken(GetCurrentProcess(), kTokenQuery, own.put()) && TokenUserSid(own.get(), &sid)) {
    account = SidText(sid) + (TokenIsElevated(own.get()) ? L", elevated" : L", not elevated");
  }
  const std::wstring session = user.session ? DecimalText(*user.session) : L"unknown";
  const std::wstring folders = user.token ? user.name : L"its own account (no signed-in user's token)";
  return std::wstring(L"run\tclient-maintenance ") + CM_VERSION_TEXT + L"\t" + GetCommandLineW() + L"\tas " + account +
         L", in session " + session + L"\tfolders of " + folders;
}

}  // namespace

bool EnableDebugPrivilege() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenAdjustPrivileges | kTokenQuery, token.put())) return false;
  TokenPrivilege privilege{};
  if (!LookupPrivilegeValueW(/*systemName=*/nullptr, kDebugPrivilege, &privilege.luid)) return false;
  privilege.attributes = kSePrivilegeEnabled;
  return AdjustTokenPrivileges(token.get(), /*disableAllPrivileges=*/false, privilege);
}

int FindCommand(const wchar_t* argument) {
  for (std::size_t i = 0; i < sizeof(kCommands) / sizeof(kCommands[0]); ++i) {
    if (std::wcscmp(argument, kCommands[i].option) == 0) return static_cast<int>(i);
  }
  return -1;
}

void EnforceRedirectionTrust() {
  const Dword policy = kEnforceRedirectionTrust;
  SetProcessMitigationPolicy(kProcessRedirectionTrustPolicy, &policy, sizeof(policy));
}

void ExposePlaceholders() { RtlSetProcessPlaceholderCompatibilityMode(kPhcmExposePlaceholders); }

void PrepareUnattendedRun() {
  // Nobody may be there to answer a dialog (an installer's custom action as
  // SYSTEM in session 0): a failing drive, a crash or a missing file is
  // reported to the call that met it, never in a message box.
  SetErrorMode(kSemFailCriticalErrors | kSemNoGpFaultErrorBox | kSemNoOpenFileErrorBox);
  // A DLL loaded by name comes from the system folder only, never from the
  // folder the tool was started from (often the user's temporary folder).
  SetDefaultDllDirectories(kLoadLibrarySearchSystem32);
}

int RunClientMaintenance() {
  PrepareUnattendedRun();
  EnforceRedirectionTrust();
  ExposePlaceholders();
  EnableDebugPrivilege();
  const InteractiveUser user = FindInteractiveUser();  // its token closed when the run ends
  std::setlocale(LC_ALL, "");

  int argc = 0;
  const UniqueLocalMemory<wchar_t**> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  if (argv && argc >= 2) {
    const int command = FindCommand(argv.get()[1]);
    if (command >= 0) {
      const bool verbose = VerboseAsked(argv.get()[1], argc, argv.get());
      const report::Scope log;
      if (verbose) report::Open(FirstLine(user));
      {
        const PieceOfWork commandsOwnWork(L"");  // files/call_bound.h
        kCommands[command].run(user, argc, argv.get());
      }
      if (verbose) report::Close(argv.get()[1]);
    }
  }
  return 0;
}
