// "--restart-explorer": ending the session's desktop shell, waiting for it to
// come back, and starting it (as the signed-in user where possible).
#include <string>
#include <vector>

#include "process/interactive_user.h"
#include "shell/restart_shell.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

constexpr const wchar_t* kShellPath = L"C:\\Windows\\explorer.exe";

class RestartShellTest : public TypicalMachineTest {
 protected:
  void SetUp() override {
    TypicalMachineTest::SetUp();
    alicePid_ = m().processes.RunningPids(L"explorer.exe").at(0);
    // Every process look-up and every launch, with the virtual time it happened at.
    m().afterCall["CreateToolhelp32Snapshot"] = [this] {
      trace_.push_back(L"look-up at " + std::to_wstring(m().clock.now));
    };
    for (const char* start : {"CreateProcessAsUserW", "CreateProcessWithTokenW"}) {
      m().afterCall[start] = [this] { trace_.push_back(L"launch at " + std::to_wstring(m().clock.now)); };
    }
  }

  // The trace of a run that looks up the shell `lookUps` times after the
  // termination's own look-up, then launches one when `launch` is true.
  static std::vector<std::wstring> Expected(int lookUps, bool launch) {
    std::vector<std::wstring> trace{L"look-up at 0"};
    for (int i = 1; i <= lookUps; ++i) trace.push_back(L"look-up at " + std::to_wstring(i * 1000));
    if (launch) trace.push_back(L"launch at " + std::to_wstring(lookUps * 1000));
    return trace;
  }

  // Makes a shell of alice's appear in session 1 at the given virtual time.
  void ShellComesBackAt(std::uint64_t time) {
    m().clock.At(time, [this] { m().processes.AddProcess(L"explorer.exe", 1).user = L"alice"; });
  }

  std::vector<Dword> RunningShells(Dword session) {
    std::vector<Dword> pids;
    for (const sim::Process& p : m().processes.list) {
      if (p.alive && p.exeName == L"explorer.exe" && p.session == session) pids.push_back(p.pid);
    }
    return pids;
  }

  // As an installer that alice started from her desktop, elevated.
  void RunAsElevatedAlice() {
    m().processes.Self().user = L"alice";
    m().processes.Self().integrity = kSecurityMandatoryHighRid;
  }

  // Exactly one shell started, with CreateProcessAsUserW, as alice at her
  // own level (not elevated, medium) and with Windows' default error mode.
  void ExpectLaunchAsAlice() {
    EXPECT_TRUE(m().users.createProcessWithToken.empty() || !m().users.createProcessWithToken.back().succeeded);
    ASSERT_EQ(m().users.createProcessAsUser.size(), 1u);
    const sim::CreateProcessWithTokenRecord& r = m().users.createProcessAsUser[0];
    EXPECT_EQ(r.creationFlags, kCreateUnicodeEnvironment | kCreateDefaultErrorMode);
    EXPECT_EQ(r.desktop, L"winsta0\\default") << "the desktop she sees, whatever the tool's own";
    ASSERT_TRUE(r.succeeded);
    const sim::Process* shell = m().processes.FindProcess(r.pid);
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->user, L"alice");
    EXPECT_FALSE(shell->elevated);
    EXPECT_EQ(shell->integrity, kSecurityMandatoryMediumRid);
    EXPECT_EQ(shell->errorMode, 0u);
    EXPECT_EQ(RunningShells(1), std::vector<Dword>{r.pid});
  }

  // The interactive user as the run finds it, without the token of her
  // shell unless asked for; the trace starts after the look-up that finds it.
  InteractiveUser User(bool withToken = false) {
    InteractiveUser user = FindInteractiveUser();
    if (!withToken) user.token.reset();
    trace_.clear();
    return user;
  }

  void ExpectNothingLeftOpen() {
    EXPECT_EQ(m().OpenHandleCount(), 0u);
    EXPECT_TRUE(m().users.environmentBlocks.empty()) << "the environment block is destroyed";
    EXPECT_TRUE(m().users.saferLevels.empty());
    EXPECT_TRUE(m().users.serviceHandles.empty());
    EXPECT_FALSE(m().hung);
  }

  Dword alicePid_ = 0;
  std::vector<std::wstring> trace_;
};

TEST_F(RestartShellTest, NoShellAtTheStartTenEmptyLookUpsThenOneLaunch) {
  m().EndProcess(*m().processes.FindProcess(alicePid_), 0);
  RunAsElevatedAlice();
  RestartShell(User());
  EXPECT_TRUE(m().processes.terminations.empty());
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>(10, 1000));
  EXPECT_EQ(trace_, Expected(10, /*launch=*/true)) << "no look-up after the launch";
  ExpectLaunchAsAlice();  // no interactive-user token: the tool's own, at her normal level
  EXPECT_EQ(m().calls["SaferComputeTokenFromLevel"], 1);
  ExpectNothingLeftOpen();  // the launched shell's process handle is closed
}

// An AzureAD account's name does not turn into a SID here (the look-up's
// cloud plug-in fails): she is known by her shell's logon all the same, and
// gets her shell back.
TEST_F(RestartShellTest, AnAzureADUsersShellIsEndedAndStartedAgain) {
  m().users.sessions.at(1).domain = L"AzureAD";
  Run(L"tool.exe --restart-explorer");
  EXPECT_EQ(m().processes.terminations.size(), 1u);
  ASSERT_EQ(m().users.createProcessWithToken.size(), 1u);
  EXPECT_EQ(m().users.createProcessWithToken[0].tokenUser, L"alice");
  EXPECT_EQ(RunningShells(1).size(), 1u);
  ExpectNothingLeftOpen();
}

// Run by alice herself, not elevated: her own token as it is, with no
// level computed from it, and no try with her shell's token, which a tool
// without SeImpersonatePrivilege cannot start anything with.
TEST_F(RestartShellTest, AnUnelevatedToolOfTheSessionUserStartsTheShellWithItsOwnToken) {
  m().processes.Self().user = L"alice";
  m().processes.Self().elevated = false;
  m().processes.Self().integrity = kSecurityMandatoryMediumRid;
  InteractiveUser alice = User(/*withToken=*/true);
  m().EndProcess(*m().processes.FindProcess(alicePid_), 0);
  RestartShell(alice);
  alice.token.reset();
  EXPECT_TRUE(m().users.createProcessWithToken.empty());
  ExpectLaunchAsAlice();
  EXPECT_EQ(m().calls["SaferComputeTokenFromLevel"], 0);
  ExpectNothingLeftOpen();
}

TEST_F(RestartShellTest, ShellThatNeverComesBackIsEndedThenLaunchedOnce) {
  RestartShell(User(/*withToken=*/true));
  ASSERT_EQ(m().processes.terminations.size(), 1u);
  EXPECT_EQ(m().processes.terminations[0].pid, alicePid_);
  EXPECT_EQ(m().processes.terminations[0].exitCode, 0u);
  EXPECT_FALSE(m().processes.FindProcess(alicePid_)->alive);
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>(10, 1000));
  EXPECT_EQ(trace_, Expected(10, /*launch=*/true));
  ASSERT_EQ(m().users.createProcessWithToken.size(), 1u);
  EXPECT_EQ(RunningShells(1), std::vector<Dword>{m().users.createProcessWithToken[0].pid});
  EXPECT_EQ(m().processes.FindProcess(m().users.createProcessWithToken[0].pid)->user, L"alice");
  ExpectNothingLeftOpen();
}

TEST_F(RestartShellTest, ShellBackBeforeTheFirstLookUpEndsAfterOneWait) {
  ShellComesBackAt(400);
  RestartShell(User(/*withToken=*/true));
  EXPECT_EQ(m().processes.terminations.size(), 1u);
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>{1000});
  EXPECT_EQ(trace_, Expected(1, /*launch=*/false));
  EXPECT_TRUE(m().users.createProcessAsUser.empty());
  EXPECT_TRUE(m().users.createProcessWithToken.empty());
  EXPECT_EQ(RunningShells(1).size(), 1u);
  ExpectNothingLeftOpen();
}

TEST_F(RestartShellTest, ShellBackBetweenTheNinthAndTenthLookUpIsNotLaunchedAgain) {
  ShellComesBackAt(9500);
  RestartShell(User(/*withToken=*/true));
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>(10, 1000));
  EXPECT_EQ(trace_, Expected(10, /*launch=*/false));
  EXPECT_TRUE(m().users.createProcessAsUser.empty());
  EXPECT_EQ(RunningShells(1).size(), 1u);
}

TEST_F(RestartShellTest, ShellsOfOtherSessionsAreNeitherEndedNorCounted) {
  sim::Process& bobs = m().processes.AddProcess(L"explorer.exe", 2);
  bobs.user = L"bob";
  const Dword bobPid = bobs.pid;
  RunAsElevatedAlice();
  RestartShell(User());
  ASSERT_EQ(m().processes.terminations.size(), 1u);
  EXPECT_EQ(m().processes.terminations[0].pid, alicePid_);
  EXPECT_TRUE(m().processes.FindProcess(bobPid)->alive);
  EXPECT_FALSE(m().processes.FindProcess(bobPid)->terminatedByTool);
  EXPECT_EQ(trace_, Expected(10, /*launch=*/true)) << "bob's shell does not count as ours coming back";
  ExpectLaunchAsAlice();
  EXPECT_EQ(RunningShells(2), std::vector<Dword>{bobPid});
}

TEST_F(RestartShellTest, EveryShellOfTheSessionIsEndedAndOneFoundLaterIsEnough) {
  // A second shell process, as with "launch folder windows in a separate process".
  sim::Process& second = m().processes.AddProcess(L"EXPLORER.EXE", 1);
  second.user = L"alice";
  second.termination = sim::Termination::kEndsLater;
  second.terminationDelayMs = 300;
  const Dword secondPid = second.pid;
  ShellComesBackAt(2500);
  RestartShell(User(/*withToken=*/true));
  ASSERT_EQ(m().processes.terminations.size(), 2u);
  EXPECT_EQ(m().processes.terminations[0].pid, alicePid_);
  EXPECT_EQ(m().processes.terminations[1].pid, secondPid);
  EXPECT_FALSE(m().processes.FindProcess(alicePid_)->alive);
  EXPECT_FALSE(m().processes.FindProcess(secondPid)->alive);
  EXPECT_EQ(m().processes.FindProcess(secondPid)->exitCode, 0u);
  // The wait for the second shell to end comes before the first sleep.
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>(3, 1000));
  EXPECT_EQ(m().clock.now, 3300u);
  EXPECT_TRUE(m().users.createProcessAsUser.empty() && m().users.createProcessWithToken.empty());
  ExpectNothingLeftOpen();
}

TEST_F(RestartShellTest, UnresolvableWindowsFolderStartsNothing) {
  for (HResult result : {kEFail, kSFalse, HResultFromWin32(kErrorFileNotFound)}) {
    SCOPED_TRACE(result);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().shell.SetFolder(L"", kCsidlWindows, L"C:\\Windows", result);
    Run(L"tool.exe --restart-explorer");
    EXPECT_TRUE(m().processes.terminations.empty()) << "her shell is not ended when it cannot be started again";
    EXPECT_TRUE(m().clock.sleeps.empty());
    EXPECT_TRUE(m().users.createProcessAsUser.empty());
    EXPECT_EQ(m().calls["DuplicateTokenEx"], 0);
    EXPECT_TRUE(m().users.createProcessWithToken.empty());
    EXPECT_EQ(RunningShells(1).size(), 1u);
    EXPECT_EQ(m().runtime.stdoutText, L"");
    ExpectNothingLeftOpen();
  }
}

// Server Core has no explorer.exe: the failed start shows no message box.
TEST_F(RestartShellTest, MissingShellExecutableFailsWithoutADialog) {
  m().EndProcess(*m().processes.FindProcess(alicePid_), 0);
  m().files.RemoveNode(m().files.FindNode(kShellPath));
  RunAsElevatedAlice();
  RestartShell(User());
  EXPECT_TRUE(m().users.createProcessAsUser.empty()) << "no shell to start: none is tried";
  EXPECT_EQ(m().shell.dialogs, 0);
  ExpectNothingLeftOpen();
}

// Unknown, or session 0 (a service's: no user's desktop, and a shell started
// there would run as SYSTEM where nobody sees it). Session 0 is never the
// tool's under Wine: this is shown here only.
TEST_F(RestartShellTest, UnknownOwnSessionDoesNothingAtAll) {
  m().processes.Self().session = 0;
  m().processes.AddProcess(L"explorer.exe", 0).user = L"SYSTEM";
  RestartShell(User());
  EXPECT_TRUE(m().processes.terminations.empty());
  EXPECT_TRUE(m().clock.sleeps.empty());
  EXPECT_TRUE(m().users.createProcessAsUser.empty() && m().users.createProcessWithToken.empty());
  m().processes.Self().session = 1;

  m().Inject("ProcessIdToSessionId", kErrorAccessDenied, 1);
  RestartShell(User());
  EXPECT_TRUE(m().processes.terminations.empty());
  EXPECT_TRUE(m().processes.FindProcess(alicePid_)->alive);
  EXPECT_TRUE(m().clock.sleeps.empty());
  EXPECT_TRUE(trace_.empty());
  EXPECT_EQ(m().calls["OpenProcess"], 0);
  EXPECT_TRUE(m().users.createProcessAsUser.empty());
}

// The tool runs as SYSTEM; the shell it starts must run as alice, with her
// own environment, hidden, and leave nothing open.
TEST_F(RestartShellTest, LaunchedShellRunsAsTheSignedInUser) {
  Run(L"tool.exe --restart-explorer");
  EXPECT_TRUE(m().users.createProcessAsUser.empty());
  ASSERT_EQ(m().users.createProcessWithToken.size(), 1u);
  const sim::CreateProcessWithTokenRecord& r = m().users.createProcessWithToken[0];
  EXPECT_EQ(r.tokenUser, L"alice");
  EXPECT_TRUE(r.tokenPrimary);
  EXPECT_EQ(r.logonFlags, kLogonWithProfile);
  EXPECT_EQ(r.applicationName, kShellPath);
  EXPECT_EQ(r.commandLine, L"\"C:\\Windows\\explorer.exe\"");
  EXPECT_EQ(r.creationFlags, kCreateUnicodeEnvironment | kCreateDefaultErrorMode);
  EXPECT_EQ(r.environmentUser, L"alice");
  EXPECT_EQ(m().users.environmentInherits, std::vector<bool>{false}) << "nothing of SYSTEM's environment is passed on";
  EXPECT_EQ(r.currentDirectory, L"C:\\Windows");
  EXPECT_EQ(r.startupFlags, kStartfUseShowWindow);
  EXPECT_EQ(r.showWindow, kSwHide);
  ASSERT_TRUE(r.succeeded);
  const sim::Process* shell = m().processes.FindProcess(r.pid);
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(shell->user, L"alice");
  EXPECT_FALSE(shell->elevated);
  EXPECT_EQ(shell->errorMode, 0u) << "not the tool's, which hides the crash dialogs";
  EXPECT_EQ(RunningShells(1), std::vector<Dword>{r.pid});
  ASSERT_FALSE(m().shell.folderLookups.empty());
  EXPECT_EQ(m().shell.folderLookups.back().csidl, kCsidlWindows);
  EXPECT_EQ(m().shell.folderLookups.back().account, L"alice");
  ExpectNothingLeftOpen();  // duplicated token, process and thread handles, the start-up token
}

// When CreateProcessWithTokenW fails, the same token goes to
// CreateProcessAsUserW (SYSTEM may assign it). Without a usable token of
// alice's, the tool as SYSTEM starts no shell at all: never one as itself.
TEST_F(RestartShellTest, FallsBackToCreateProcessAsUserOrStartsNoShell) {
  struct Case {
    const char* what;
    Dword shellTokenDenied;  // rights alice's shell refuses to hand out
    const char* failingCall;
    std::size_t tokenLaunchAttempts;  // 1: CreateProcessAsUserW then starts the shell
    bool noWay;                       // no way settled before the end: nothing ended
    bool secondaryLogon = true;
    const wchar_t* self = L"SYSTEM";  // an administrator other than her takes no token by CreateProcessAsUserW
  } cases[] = {
      {"no token", kTokenImpersonate, nullptr, 0, true},
      {"token without duplicate rights", kTokenDuplicate, nullptr, 0, true},
      {"duplication fails", 0, "DuplicateTokenEx", 0, true},
      {"environment fails", 0, "CreateEnvironmentBlock", 0, false},
      {"start as the user fails", 0, "CreateProcessWithTokenW", 1, false},
      {"Secondary Logon disabled", 0, nullptr, 1, false, false},
      {"another administrator, Secondary Logon disabled", 0, nullptr, 0, true, false, L"admin"},
      {"another administrator, the service's configuration unread", 0, "QueryServiceConfigW", 0, true, true, L"admin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().processes.FindProcess(m().processes.RunningPids(L"explorer.exe").at(0))->tokenDeniedAccess = c.shellTokenDenied;
    if (c.failingCall != nullptr) m().Inject(c.failingCall, kErrorAccessDenied);
    m().users.secondaryLogonRunning = c.secondaryLogon;
    m().processes.Self().user = c.self;
    Run(L"tool.exe --restart-explorer");
    EXPECT_EQ(m().users.createProcessWithToken.size(), c.tokenLaunchAttempts);
    // Without a token of hers there is no way to start her shell: it is
    // not ended. A way that fails only when it is taken leaves none.
    EXPECT_EQ(m().processes.terminations.empty(), c.noWay);
    EXPECT_EQ(RunningShells(1).size(), c.noWay || c.tokenLaunchAttempts == 1 ? 1u : 0u);
    if (c.tokenLaunchAttempts == 1) ExpectLaunchAsAlice();
    ExpectNothingLeftOpen();
  }
}

TEST_F(RestartShellTest, ShellTokenIsOpenedToStartProcessesWithALookUpOnlyFallback) {
  {
    const InteractiveUser user = FindInteractiveUser();
    sim::HandleEntry* token = m().Lookup(user.token.get());
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->access, kTokenQuery | kTokenImpersonate | kTokenDuplicate | kTokenAssignPrimary);
  }
  // A shell that refuses the launch rights still gives the look-ups a token.
  m().processes.FindProcess(alicePid_)->tokenDeniedAccess = kTokenAssignPrimary;
  {
    const InteractiveUser user = FindInteractiveUser();
    sim::HandleEntry* token = m().Lookup(user.token.get());
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->access, kTokenQuery | kTokenImpersonate);
    EXPECT_EQ(token->tokenUser, L"alice");
  }
  EXPECT_EQ(m().calls["OpenProcessToken"], 3);
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the failed first open leaves nothing behind";
}

}  // namespace
