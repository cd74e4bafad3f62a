// Start-up, command selection and end of run.
#include <algorithm>
#include <cwchar>

#include "app/app.h"
#include "process/interactive_user.h"
#include "hostile_machine.h"
#include "report_check.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

// The account the interactive user's token belongs to, or "" when there is none.
std::wstring TokenAccount(const InteractiveUser& user) {
  Handle token = user.token.get();
  if (token == nullptr) return L"";
  sim::HandleEntry* e = sim::machine().Lookup(token);
  return e == nullptr ? L"<stale handle>" : e->tokenUser;
}

bool Opened(const sim::Machine& m, Dword pid) {
  return std::any_of(m.processes.openProcessCalls.begin(), m.processes.openProcessCalls.end(),
                     [pid](const auto& call) { return call.pid == pid; });
}

}  // namespace

TEST(CommandTable, MatchesOnlyTheExactOptionInTableOrder) {
  const wchar_t* options[] = {L"--stop",
                              L"--force-stop",
                              L"--uninstall",
                              L"--admin-remove-shortcuts",
                              L"--portable-remove-shortcuts",
                              L"--admin-upgrade-startup-shortcut",
                              L"--restart-explorer",
                              L"--remove-all-users-empty-folders",
                              L"--admin-remove-syncroots",
                              L"--portable-remove-syncroots"};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(FindCommand(options[i]), i) << options[i];

  for (const wchar_t* nearMiss : {L"--STOP", L"--Stop", L"--stop ", L" --stop", L"--stop=5000", L"-stop", L"--sto",
                                  L"--stopp", L"stop", L"", L"--uninstall VantorelDrive", L"--restart-Explorer"}) {
    EXPECT_EQ(FindCommand(nearMiss), -1) << '"' << std::string(nearMiss, nearMiss + std::wcslen(nearMiss)) << '"';
  }
}

TEST_F(TypicalMachineTest, RunEnablesDebugPrivilegeAndReleasesEverything) {
  m().runtime.osBuild = 22621;  // Windows 11: junctions made by non-administrators are then not followed
  std::vector<std::string> order;
  m().afterEveryCall = [&order](const std::string& call) { order.push_back(call); };
  Run(L"tool.exe --admin-remove-syncroots");
  order.resize(2);
  EXPECT_EQ(order, (std::vector<std::string>{"SetErrorMode", "SetDefaultDllDirectories"})) << "before anything else";
  EXPECT_EQ(m().runtime.errorMode, kSemFailCriticalErrors | kSemNoGpFaultErrorBox | kSemNoOpenFileErrorBox);
  EXPECT_EQ(m().runtime.defaultDllDirectories, kLoadLibrarySearchSystem32);
  EXPECT_EQ(m().runtime.mitigationPolicies, (std::vector<std::pair<int, Dword>>{{kProcessRedirectionTrustPolicy, 1}}));
  EXPECT_EQ(m().users.enabledPrivileges, std::vector<std::wstring>{L"SeDebugPrivilege"});
  EXPECT_EQ(m().calls["OpenProcessToken"], 2);  // own token for the privilege, the shell's token
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the token and every process handle are closed";
  EXPECT_TRUE(m().runtime.localAllocations.empty()) << "the argument vector is released";
  EXPECT_EQ(m().runtime.stdoutText, L"");
}

TEST_F(TypicalMachineTest, NoArgumentStillTakesAndReleasesTheToken) {
  Run(L"tool.exe");
  EXPECT_EQ(m().calls["OpenProcessToken"], 2);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
  EXPECT_TRUE(m().runtime.localAllocations.empty());

  sim::Reset();
  sim::TypicalMachine::Build(m());
  Run(L"");  // an empty command line gives the program path alone
  EXPECT_EQ(m().OpenHandleCount(), 0u);
  EXPECT_TRUE(m().runtime.localAllocations.empty());
}

TEST_F(TypicalMachineTest, TokenComesFromTheFirstShellOfTheOwnSession) {
  // Enumeration order: another session's shell first, then another
  // account's in our session, then alice's (signed in there), then carol's.
  for (const wchar_t* user : {L"admin", L"bob"}) {
    m().processes.AddProcess(L"explorer.exe", user[0] == L'b' ? 2 : 1).user = user;
    m().processes.list.push_front(m().processes.list.back());
    m().processes.list.pop_back();
  }
  sim::Process& second = m().processes.AddProcess(L"Explorer.EXE", 1);
  second.user = L"carol";
  const Dword foreignPid = m().processes.list.front().pid;

  {
    const InteractiveUser user = FindInteractiveUser();
    EXPECT_EQ(TokenAccount(user), L"alice");
    EXPECT_EQ(user.session, 1u);
    EXPECT_TRUE(user.user.has_value());
    EXPECT_FALSE(Opened(m(), foreignPid)) << "a process of another session is never opened";
    EXPECT_EQ(m().processes.openProcessCalls.back().access, kProcessQueryLimitedInformation)
        << "the shell is only looked at";
    sim::HandleEntry* token = m().Lookup(user.token.get());
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->access & (kTokenQuery | kTokenImpersonate), kTokenQuery | kTokenImpersonate);
  }
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the token goes with the value";
}

// She is known by her shell's logon, never by a look-up of her name: an
// AzureAD account's look-up goes through a cloud plug-in that may fail, a
// domain account's may wait for a controller. An administrator's shell in
// her session, listed first, is of another logon.
TEST_F(TypicalMachineTest, TheSessionUserIsKnownByHerLogonWithoutLookingUpHerName) {
  m().users.sessions.at(1).domain = L"AzureAD";
  sim::Process& admins = m().processes.AddProcess(L"explorer.exe", 1);
  admins.user = L"admin";
  std::rotate(m().processes.list.begin() + 1, m().processes.list.end() - 1, m().processes.list.end());
  const InteractiveUser user = FindInteractiveUser();
  ASSERT_TRUE(user.user.has_value());
  EXPECT_EQ(*user.user, sim::AccountSid(L"alice"));
  ASSERT_NE(m().Lookup(user.token.get()), nullptr);
  EXPECT_EQ(m().Lookup(user.token.get())->tokenUser, L"alice");
  EXPECT_EQ(m().calls["LookupAccountNameW"], 0);
  EXPECT_TRUE(m().users.lsaAllocations.empty());
  // Without her shell's token she is not known at all, still by no look-up.
  for (sim::Process& p : m().processes.list) {
    if (p.user == L"alice") p.tokenDeniedAccess = kTokenQuery;
  }
  EXPECT_FALSE(FindInteractiveUser().user.has_value());
  EXPECT_EQ(m().calls["LookupAccountNameW"], 0);
}

// Where the system keeps no record of logons (older Wine: the call is not
// implemented; Wine 8: a record that names nobody), her names are looked
// up; when that fails too, nobody is known.
TEST_F(TypicalMachineTest, WithoutLogonRecordsNoUserWhenHerNameCannotBeLookedUp) {
  m().Inject("LsaGetLogonSessionData", static_cast<Dword>(kStatusNotImplemented), 1);
  EXPECT_EQ(TokenAccount(FindInteractiveUser()), L"alice");
  EXPECT_EQ(m().calls["LookupAccountNameW"], 1);
  m().users.logonSessionsRecorded = false;
  EXPECT_EQ(TokenAccount(FindInteractiveUser()), L"alice");
  EXPECT_EQ(m().calls["LookupAccountNameW"], 2);
  m().Inject("LookupAccountNameW", kErrorNoneMapped);
  const InteractiveUser user = FindInteractiveUser();
  EXPECT_FALSE(user.user.has_value());
  EXPECT_EQ(user.token.get(), nullptr);
}

TEST_F(TypicalMachineTest, NoTokenWhenTheOwnSessionHasNoShell) {
  m().processes.Self().session = 3;  // the shell runs in session 1
  m().users.sessions.push_back({3, kWtsActive, L"alice"});
  const InteractiveUser user = FindInteractiveUser();
  EXPECT_EQ(user.token.get(), nullptr);
  EXPECT_EQ(user.session, 3u);
}

// Every start-up step can fail; the run still selects and runs its command
// (here: an empty maker folder is removed) and ends normally, and nothing
// stays open.
TEST_F(TypicalMachineTest, EveryStartUpFailureLeavesTheRunGoing) {
  struct Failure {
    const char* call;
    Dword code;
    int skip;
    int count;
  } failures[] = {
      {"OpenProcessToken", kErrorAccessDenied, 0, 1},  // own token
      {"LookupPrivilegeValueW", 1313, 0, 1},
      {"AdjustTokenPrivileges", kErrorAccessDenied, 0, 1},
      {"ProcessIdToSessionId", kErrorAccessDenied, 0, 1},      // own session unknown
      {"CreateToolhelp32Snapshot", kErrorAccessDenied, 0, 1},  // no shell found
      {"OpenProcess", kErrorAccessDenied, 0, -1},              // shell cannot be opened
      {"OpenProcessToken", kErrorAccessDenied, 1, 2},          // shell token refused with either set of rights
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.call);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().files.AddDirectory(L"C:\\Program Files (x86)\\Vantorel");
    m().Inject(f.call, f.code, f.count, f.skip);
    Run(L"tool.exe --remove-all-users-empty-folders");
    EXPECT_FALSE(m().files.Exists(L"C:\\Program Files (x86)\\Vantorel")) << "the command did not run";
    EXPECT_EQ(m().OpenHandleCount(), 0u);
    EXPECT_TRUE(m().runtime.localAllocations.empty());
    // A privilege whose identifier could not be looked up is not asked for.
    if (f.call == std::string("LookupPrivilegeValueW")) {
      EXPECT_EQ(m().calls["AdjustTokenPrivileges"], 0);
    }
  }

  // Without an argument vector no command runs, and the run still ends cleanly.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().files.AddDirectory(L"C:\\Program Files (x86)\\Vantorel");
  m().Inject("CommandLineToArgvW", kErrorNotEnoughMemory);
  Run(L"tool.exe --remove-all-users-empty-folders");
  EXPECT_TRUE(m().files.Exists(L"C:\\Program Files (x86)\\Vantorel"));
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(TypicalMachineTest, ShellTokenThatCannotBeOpenedLeavesNoToken) {
  for (auto& p : m().processes.list) {
    if (p.exeName == L"explorer.exe") p.tokenDeniedAccess = kTokenImpersonate;
  }
  EXPECT_EQ(FindInteractiveUser().token.get(), nullptr);
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the shell's process handle is closed";
}

TEST_F(TypicalMachineTest, HostileCommandLinesEndNormally) {
  std::wstring longArgument(40000, L'x');
  std::wstring many = L"tool.exe --unknown";
  for (int i = 0; i < 3000; ++i) many += L" a" + std::to_wstring(i);
  for (const std::wstring& line :
       {std::wstring(L"tool.exe \"\""), L"tool.exe " + longArgument, many, std::wstring(L"\"unterminated quote --stop"),
        std::wstring(L"tool.exe \"--stop\\\" -timeout\""), std::wstring(L"tool.exe --uninstall")}) {
    Run(line);
    EXPECT_EQ(m().OpenHandleCount(), 0u);
    EXPECT_TRUE(m().runtime.localAllocations.empty());
  }
}

// "-verbose" after the command's own arguments asks for the decision log:
// after NAME for "--uninstall", anywhere for "--stop" but as the value of
// "-timeout". Into a pipe that nobody drains the log costs one call's bound
// and stops there; the work goes on. Paths arrive whole, as UTF-8.
TEST_F(TypicalMachineTest, TheDecisionLogIsWrittenWhereAskedAndNeverHoldsTheWorkUp) {
  struct Case {
    const wchar_t* commandLine;
    bool logged;
  } cases[] = {
      {L"tool.exe --uninstall VantorelDrive -verbose", true},
      {L"tool.exe --uninstall -verbose", false},  // the folder's name
      {L"tool.exe --stop -timeout -verbose", false},
      {L"tool.exe --stop -verbose -timeout 0", true},
      {L"tool.exe --force-stop x -verbose", true},
      {L"tool.exe --admin-remove-shortcuts -Verbose", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.commandLine, c.commandLine + std::wcslen(c.commandLine)));
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().runtime.stdoutType = kFileTypePipe;
    Run(c.commandLine);
    const std::vector<std::wstring> lines = hostile::LogLines(m().runtime.stdoutBytes);
    EXPECT_EQ(!lines.empty(), c.logged);
    EXPECT_EQ(m().calls["GetStdHandle"] + m().calls["GetFileType"], c.logged ? 2 : 0) << "not a call more without it";
    if (c.logged) {
      EXPECT_EQ(lines.front().rfind(L"run\tclient-maintenance ", 0), 0u);
      EXPECT_EQ(lines.back().rfind(L"done\t", 0), 0u);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), L""), 0);
    }
  }
  // The fixed lines go into the log, once; its last line tells the time
  // the run took (the force-stop's pause); to a console, the wide stream.
  for (const Dword type : {kFileTypeDisk, Dword{2}}) {  // FILE_TYPE_CHAR
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().runtime.stdoutType = type;
    Run(L"tool.exe --admin-remove-shortcuts -verbose");
    const std::wstring text = type == kFileTypeDisk
                                  ? hostile::LogLines(m().runtime.stdoutBytes).at(1)
                                  : m().runtime.stdoutText.substr(m().runtime.stdoutText.find(L'\n') + 1);
    EXPECT_EQ(text.rfind(L"C:\\Users\\Public\\Desktop\\Zarek Tolv.lnk", 0), 0u);
    EXPECT_EQ(type == kFileTypeDisk ? m().runtime.stdoutText.empty() : m().runtime.stdoutBytes.empty(), true);
    const std::vector<std::wstring> all = hostile::LogLines(m().runtime.stdoutBytes);
    EXPECT_EQ(std::count(all.begin(), all.end(), L""), 0);
  }
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().runtime.stdoutType = kFileTypeDisk;
  m().processes.AddProcess(L"zarek-ui.exe", 1);
  m().clock.Advance(5000);  // the machine has been up a while
  Run(L"tool.exe --force-stop -verbose");
  EXPECT_NE(hostile::LogLines(m().runtime.stdoutBytes).back().find(L"\t1.000 s"), std::wstring::npos)
      << hostile::Printable(hostile::LogLines(m().runtime.stdoutBytes).back());
  // A shortcut a user's lock holds: the call that waited is cancelled after its bound, and says so.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().runtime.stdoutType = kFileTypeDisk;
  m().files.AddFile(L"C:\\Users\\alice\\Desktop\\Vantorel Drive.lnk")->readHandleOplock = true;
  Run(L"tool.exe --portable-remove-shortcuts -verbose");
  const std::vector<std::wstring> held = hostile::LogLines(m().runtime.stdoutBytes);
  EXPECT_NE(std::find(held.begin(), held.end(),
                      L"left\tC:\\Users\\alice\\Desktop\\Vantorel Drive.lnk\tstalled, cancelled after 10 s"),
            held.end());
  // A name beyond Latin-1 and beyond the 16-bit plane, whole.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().runtime.stdoutType = kFileTypeDisk;
  const std::wstring name = L"Vantorel Drive.lnk";
  const std::wstring desktop = L"C:\\Users\\alice\\Desktop \u00e9\u4e2d\U0001F600";
  m().files.AddDirectory(desktop);
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, desktop);
  m().files.AddFile(desktop + L"\\" + name);
  Run(L"tool.exe --portable-remove-shortcuts -verbose");
  const std::vector<std::wstring> lines = hostile::LogLines(m().runtime.stdoutBytes);
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"removed\t" + desktop + L"\\" + name), lines.end());
  EXPECT_NE(m().runtime.stdoutBytes.find("Desktop \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\\"), std::string::npos);
  // Nobody drains the pipe: one bound, then no line more; the shortcut goes.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().runtime.stdoutType = kFileTypePipe;
  m().runtime.stdoutStalls = true;
  m().files.AddFile(L"C:\\Users\\alice\\Desktop\\" + name);
  Run(L"tool.exe --portable-remove-shortcuts -verbose");
  EXPECT_EQ(m().calls["WriteFile"], 1);
  EXPECT_LT(m().clock.now, platform::kFileCallBoundMs + 1000);
  EXPECT_FALSE(m().files.Exists(L"C:\\Users\\alice\\Desktop\\" + name));
}
