#include "app/app.h"

#include <clocale>
#include <cwchar>

#include "app/stop_command.h"
#include "cleanup/empty_folders.h"
#include "cleanup/uninstall.h"
#include "files/call_bound.h"
#include "files/held_folder.h"
#include "platform/handles.h"
#include "process/interactive_user.h"
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
      const PieceOfWork commandsOwnWork(L"");  // files/call_bound.h
      kCommands[command].run(user, argc, argv.get());
    }
  }
  return 0;
}
