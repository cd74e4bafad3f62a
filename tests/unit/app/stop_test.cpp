// Stopping the client: "--stop" with its time-out, "--force-stop", and the
// operations below them.
#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "app/stop_command.h"
#include "known_names.h"
#include "process/stop_client.h"
#include "process/terminate_processes.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

// The client names as the tests know them, written out independently of the tool.
using hostile::kClientNames;

// Names that merely resemble a client's: a prefix, a suffix, another extension.
const std::vector<std::wstring> kNearMisses = {
    L"xzarek.exe", L"zarek.exe.exe",          L"zarek.com",        L"zarek-drive.exe", L"zarek-ui.ex",
    L"zarek",      L"my-command-handler.exe", L"auto-updater.exe2"};

}  // namespace

class StopTest : public TypicalMachineTest {
 protected:
  // A client process in the given session with three top-level windows, the
  // last one hidden. It ignores WM_ENDSESSION unless told otherwise.
  sim::Process& AddClient(const std::wstring& name, Dword session = 1) {
    sim::Process& p = m().processes.AddProcess(name, session);
    p.user = L"alice";
    m().windows.AddWindow(p.pid, true);
    m().windows.AddWindow(p.pid, true);
    m().windows.AddWindow(p.pid, false);
    return p;
  }

  int EndSessionPosts(Dword pid) const { return sim::machine().windows.PostsTo(pid, kWmEndSession); }

  // How many attempts "--stop" made: each one is one window pass.
  int StopAttempts() { return m().calls["EnumWindows"]; }
};

TEST_F(StopTest, EachAttemptPostsToEveryWindowOfEveryClientProcessOfTheOwnSession) {
  sim::Process& client = AddClient(L"zarek-drive-ui.exe");
  sim::Process& second = AddClient(L"ZAREK.EXE");  // names are matched without letter case
  sim::Process& foreign = AddClient(L"zarek-drive-ui.exe", 2);
  sim::Process& windowless = m().processes.AddProcess(L"zarek-drive-daemon.exe", 1);
  std::vector<Dword> nearMissPids;
  for (const auto& name : kNearMisses) nearMissPids.push_back(AddClient(name).pid);
  m().windows.AddWindow(client.pid).postFails = true;  // a failed post still counts

  EXPECT_EQ(CloseClientWindows(/*ownSessionOnly=*/true), 3 + 1 + 3);
  EXPECT_EQ(EndSessionPosts(client.pid), 4);
  EXPECT_EQ(EndSessionPosts(second.pid), 3);
  EXPECT_EQ(EndSessionPosts(foreign.pid), 0) << "another session's window";
  EXPECT_EQ(EndSessionPosts(windowless.pid), 0);
  for (Dword pid : nearMissPids) EXPECT_EQ(EndSessionPosts(pid), 0);
  for (const auto& post : m().windows.posts) {
    EXPECT_EQ(post.message, kWmEndSession);
    EXPECT_EQ(post.wParam, 1u);
    EXPECT_EQ(post.lParam, kEndSessionCloseApp);
  }
  EXPECT_EQ(m().windows.posts.size(), 7u);
  EXPECT_EQ(m().calls["EnumWindows"], 1) << "one pass for every name";
  // Each owner is judged once, and only those the snapshot names a client
  // (and that run in the session) are opened, to read their names again.
  EXPECT_EQ(m().calls["QueryFullProcessImageNameW"], 2);
  for (const auto& call : m().processes.openProcessCalls) EXPECT_TRUE(call.pid == client.pid || call.pid == second.pid);
  EXPECT_TRUE(m().processes.terminations.empty());
  EXPECT_EQ(m().OpenHandleCount(), 0u);
  // Without the session restriction every session's windows are asked.
  m().windows.posts.clear();
  EXPECT_EQ(CloseClientWindows(/*ownSessionOnly=*/false), 7 + 3);
}

TEST_F(StopTest, WindowsWhoseOwnerCannotBeReadAreSkippedAndNotCounted) {
  sim::Process& unknownSession = AddClient(L"zarek.exe");
  unknownSession.sessionReadable = false;
  sim::Process& unknownName = AddClient(L"zarek.exe");
  unknownName.nameReadable = false;
  sim::Process& readable = AddClient(L"zarek.exe");
  EXPECT_EQ(PostEndSessionToClientWindows({L"zarek.exe"}, Dword{1}), 3);
  EXPECT_EQ(EndSessionPosts(readable.pid), 3);
  EXPECT_EQ(m().windows.posts.size(), 3u);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
  // Without a filter the session is never read: only the name matters.
  EXPECT_EQ(PostEndSessionToClientWindows({L"zarek.exe"}, std::nullopt), 6);
}

TEST_F(StopTest, WithoutItsOwnSessionTheToolAsksNoWindowAndEndsNoProcess) {
  sim::Process& client = AddClient(L"zarek.exe");
  m().Inject("ProcessIdToSessionId", kErrorAccessDenied, 1);
  EXPECT_EQ(CloseClientWindows(/*ownSessionOnly=*/true), 0);
  m().Inject("ProcessIdToSessionId", kErrorAccessDenied, 1);
  TerminateClientProcesses(/*ownSessionOnly=*/true);
  EXPECT_TRUE(m().windows.posts.empty());
  EXPECT_TRUE(client.alive);
}

// Attempts of "--stop" against a client that never closes: each attempt posts
// to its three windows and is followed by a 1000 ms pause.
TEST_F(StopTest, TheTimeOutBoundsTheNumberOfAttempts) {
  struct Case {
    std::wstring arguments;
    int attempts;
  } cases[] = {
      {L"", 11},  // the default, 10000 ms
      {L"-timeout 0", 1},
      {L"-timeout 999", 1},
      {L"-timeout 1000", 2},
      {L"-timeout 2999", 3},
      {L"-timeout -1", 0},
      {L"-timeout -0", 1},
      {L"-timeout soon", 1},          // no digits: 0
      {L"-timeout \"  +2500\"", 3},   // leading blanks and a sign
      {L"-timeout 1500ms", 2},        // stops at the first non-digit
      {L"-timeout \"- 5000\"", 1},    // a blank after the sign: no digits
      {L"-timeout -99999999999", 0},  // below the 32-bit range: the lowest value
      {L"-timeout 5000 -timeout 2000", 3},
      {L"-timeout -timeout 3000", 1},  // the second "-timeout" is the first one's value
      {L"-timeout", 11},               // no value: the default stays
      {L"-timeout 3000 -timeout", 4},  // no value: the earlier one stays
      {L"-TIMEOUT 0", 11},
      {L"-timeout=0", 11},
      {L"--timeout 0", 11},
      {L"extra -timeout 1000 more", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.arguments.begin(), c.arguments.end()));
    sim::Reset();
    sim::TypicalMachine::Build(m());
    const Dword client = AddClient(L"zarek-drive-ui.exe").pid;
    Run(L"tool.exe --stop " + c.arguments);
    EXPECT_EQ(StopAttempts(), c.attempts);
    EXPECT_EQ(EndSessionPosts(client), 3 * c.attempts);
    EXPECT_EQ(m().clock.sleeps, std::vector<Dword>(c.attempts, 1000)) << "every attempt is followed by its pause";
    EXPECT_EQ(m().clock.now, 1000u * c.attempts);
    EXPECT_TRUE(m().processes.terminations.empty()) << "--stop never terminates";
    EXPECT_EQ(m().OpenHandleCount(), 0u);
  }
}

TEST_F(StopTest, TheLoopEndsAtTheFirstAttemptThatFindsNoClientWindow) {
  // No client window at all: one attempt, no pause.
  m().processes.AddProcess(L"zarek-drive-daemon.exe", 1);  // a client process without windows is not counted
  AddClient(L"zarek.exe", 2);                              // nor is a client of another session
  Run(L"tool.exe --stop");
  EXPECT_EQ(StopAttempts(), 1);
  EXPECT_TRUE(m().clock.sleeps.empty());
  EXPECT_TRUE(m().windows.posts.empty());

  // A client that exits on the message: asked once, gone by the second attempt.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  sim::Process& polite = AddClient(L"zarek-drive-ui.exe");
  polite.exitsOnEndSession = true;
  Run(L"tool.exe --stop");
  EXPECT_EQ(StopAttempts(), 2);
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>{1000});
  EXPECT_EQ(EndSessionPosts(polite.pid), 3);
  EXPECT_FALSE(m().processes.FindProcess(polite.pid)->alive);
  EXPECT_FALSE(m().processes.FindProcess(polite.pid)->terminatedByTool);
}

// The largest time-outs keep the loop asking for as long as the client keeps
// a window (here until the test ends it after ten minutes). A value past 32
// bits is held at the top of the range, not wrapped around to a small one.
TEST_F(StopTest, TheLargestTimeOutsKeepAskingUntilTheClientIsGone) {
  for (const wchar_t* timeout : {L"2147483647", L"4294968296", L"99999999999999999999999"}) {
    SCOPED_TRACE(std::string(timeout, timeout + std::wcslen(timeout)));
    sim::Reset();
    sim::TypicalMachine::Build(m());
    sim::Process& client = AddClient(L"zarek.exe");
    const Dword pid = client.pid;
    m().clock.At(600 * 1000, [this, pid] { m().EndProcess(*m().processes.FindProcess(pid), 0); });
    Run(std::wstring(L"tool.exe --stop -timeout ") + timeout);
    EXPECT_EQ(StopAttempts(), 601);  // 600 that found the windows, one that found none
    EXPECT_EQ(m().clock.now, 600u * 1000);
    EXPECT_FALSE(m().hung);
  }
}

// From session 0 (SYSTEM from an installer's custom action) the stop runs as
// a copy of the tool in each active user session. Under Wine every process is
// in one session that is not 0: these paths are shown here only.
TEST_F(StopTest, FromSessionZeroACopyStopsTheClientInEachActiveUserSession) {
  m().processes.Self().session = 0;
  const Dword own = AddClient(L"zarek.exe", 0).pid;
  m().users.sessions.push_back({2, kWtsActive, L"bob", kErrorAccessDenied});  // token refused
  m().users.sessions.push_back({3, sim::kWtsDisconnected, L"carol"});
  m().users.sessions.push_back({4, kWtsActive, L"dave"});  // its start fails
  m().users.sessions.push_back({5, kWtsActive, L""});      // nobody signed in
  m().users.sessions.push_back({65536, sim::kWtsListen, L""});
  m().Inject("CreateProcessAsUserW", kErrorAccessDenied, 1, /*skip=*/1);
  Run(L"tool.exe --stop -timeout 2500");

  ASSERT_EQ(m().users.createProcessAsUser.size(), 2u);
  const sim::CreateProcessWithTokenRecord& r = m().users.createProcessAsUser[0];
  EXPECT_TRUE(r.succeeded);
  EXPECT_EQ(r.session, 1u);
  EXPECT_EQ(r.tokenUser, L"alice");
  EXPECT_EQ(r.applicationName, m().runtime.modulePath);
  EXPECT_EQ(r.commandLine, L"\"" + m().runtime.modulePath + L"\" --stop -timeout 2500");
  EXPECT_EQ(r.desktop, L"winsta0\\default");
  EXPECT_EQ(r.creationFlags, kCreateNoWindow | kCreateUnicodeEnvironment | kCreateDefaultErrorMode);
  EXPECT_EQ(r.environmentUser, L"alice");
  EXPECT_EQ(r.currentDirectory, L"C:\\Windows");
  EXPECT_EQ(r.showWindow, kSwHide);
  EXPECT_EQ(m().users.createProcessAsUser[1].session, 4u);
  EXPECT_FALSE(m().users.createProcessAsUser[1].succeeded);
  EXPECT_EQ(m().clock.now, 1000u) << "until the one copy that started had ended";
  EXPECT_EQ(StopAttempts(), 0) << "session 0's own desktop reaches no user's window";
  EXPECT_EQ(EndSessionPosts(own), 0);
  EXPECT_TRUE(m().users.wtsAllocations.empty());
  EXPECT_TRUE(m().users.environmentBlocks.empty());
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(StopTest, FromSessionZeroTheWaitForTheCopiesIsBounded) {
  m().processes.Self().session = 0;
  m().users.sessions[1].startedRunMs = 0;  // a copy that never ends
  m().users.sessions.push_back({2, kWtsActive, L"bob", 0, 0});
  Run(L"tool.exe --stop -timeout 3000");
  EXPECT_EQ(m().users.createProcessAsUser.size(), 2u);
  EXPECT_EQ(m().clock.now, 3000u + kSessionStopMarginMs) << "one deadline for all of them";
  EXPECT_FALSE(m().hung);
  EXPECT_EQ(m().OpenHandleCount(), 0u);

  // Only SYSTEM gets the users' tokens; a negative time-out starts nothing.
  const struct {
    const wchar_t* account;
    const wchar_t* run;
  } cases[] = {{L"admin", L"tool.exe --stop"}, {L"SYSTEM", L"tool.exe --stop -timeout -1"}};
  for (const auto& c : cases) {
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().processes.Self().session = 0;
    m().processes.Self().user = c.account;
    Run(c.run);
    EXPECT_TRUE(m().users.createProcessAsUser.empty());
    EXPECT_EQ(m().clock.now, 0u);
    EXPECT_EQ(m().OpenHandleCount(), 0u);
  }

  // Nor does a copy start when the tool's own path cannot be read whole.
  for (const bool unreadable : {true, false}) {
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().processes.Self().session = 0;
    if (unreadable) m().Inject("GetModuleFileNameW", kErrorAccessDenied);
    if (!unreadable) m().runtime.modulePath = L"C:\\" + std::wstring(40000, L'x') + L".exe";
    Run(L"tool.exe --stop");
    EXPECT_TRUE(m().users.createProcessAsUser.empty()) << (unreadable ? "unreadable" : "too long");
  }
}

TEST(TimeoutValue, ReadsLikeTheStandardConversionClampedTo32Bits) {
  EXPECT_EQ(ParseTimeoutValue(L"2147483647"), 2147483647);
  EXPECT_EQ(ParseTimeoutValue(L"2147483648"), 2147483647);
  EXPECT_EQ(ParseTimeoutValue(L"4294967296"), 2147483647);
  EXPECT_EQ(ParseTimeoutValue(L"000000000000000000000000012"), 12);
  EXPECT_EQ(ParseTimeoutValue(L"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseTimeoutValue(L"-2147483649"), -2147483647 - 1);
  EXPECT_EQ(ParseTimeoutValue(L"-18446744073709551617"), -2147483647 - 1);
  EXPECT_EQ(ParseTimeoutValue(L" \t\n\v\f\r42"), 42);
  EXPECT_EQ(ParseTimeoutValue(L"+-1"), 0);
  EXPECT_EQ(ParseTimeoutValue(L"--1"), 0);
  EXPECT_EQ(ParseTimeoutValue(L"0x10"), 0);
  EXPECT_EQ(ParseTimeoutValue(L"12 34"), 12);
  EXPECT_EQ(ParseTimeoutValue(L""), 0);
  EXPECT_EQ(ParseTimeoutValue(L"\xFF11"), 0) << "only the digits 0 to 9 are digits";
}

TEST_F(StopTest, ForceStopEndsTheClientInEverySessionThenPausesOnce) {
  std::vector<Dword> clients;
  for (std::size_t i = 0; i < kClientNames.size(); ++i) {
    // Reverse enumeration order, mixed letter case, sessions 0 to 2.
    std::wstring name = kClientNames[kClientNames.size() - 1 - i];
    if (i % 2 == 0)
      for (auto& ch : name) ch = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(ch)));
    clients.push_back(m().processes.AddProcess(name, static_cast<Dword>(i % 3)).pid);
  }
  const Dword twin = m().processes.AddProcess(L"zarek.exe", 2).pid;
  std::vector<Dword> others;
  for (const auto& name : kNearMisses) others.push_back(m().processes.AddProcess(name, 1).pid);
  sim::Process& guarded = m().processes.AddProcess(L"zarek-ui.exe", 1);
  guarded.deniedAccess = kProcessTerminate;  // cannot be opened to end it: left running
  m().afterCall["Sleep"] = [this] {
    EXPECT_EQ(m().processes.terminations.size(), kClientNames.size() + 1) << "the pause comes after the termination";
  };

  Run(L"tool.exe --force-stop");

  // Worked through in the system's order, every name at once.
  std::vector<Dword> expected = clients;
  expected.push_back(twin);
  std::vector<Dword> terminated;
  for (const auto& t : m().processes.terminations) {
    EXPECT_EQ(t.exitCode, 0u);
    EXPECT_TRUE(t.succeeded);
    terminated.push_back(t.pid);
  }
  EXPECT_EQ(terminated, expected);
  for (Dword pid : expected) EXPECT_EQ(m().processes.FindProcess(pid)->exitCode, 0u);
  for (Dword pid : others) EXPECT_TRUE(m().processes.FindProcess(pid)->alive);
  EXPECT_TRUE(guarded.alive);
  EXPECT_EQ(m().processes.RunningPids(L"explorer.exe").size(), 1u);
  EXPECT_EQ(m().clock.sleeps, std::vector<Dword>{1000});
  EXPECT_TRUE(m().windows.posts.empty()) << "--force-stop asks no window";
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(StopTest, EachWaitForATerminatedProcessIsBounded) {
  sim::Process& stuck = m().processes.AddProcess(L"zarek.exe", 1);
  stuck.termination = sim::Termination::kNeverEnds;  // a thread stuck in a driver
  sim::Process& slow = m().processes.AddProcess(L"zarek.exe", 2);
  slow.termination = sim::Termination::kEndsLater;
  slow.terminationDelayMs = 5000;
  sim::Process& refusing = m().processes.AddProcess(L"zarek-ui.exe", 1);
  refusing.termination = sim::Termination::kRefused;
  sim::Process& next = m().processes.AddProcess(L"command-handler.exe", 1);

  Run(L"tool.exe --force-stop");

  EXPECT_FALSE(m().hung) << "no wait is unbounded";
  EXPECT_TRUE(stuck.alive);
  EXPECT_FALSE(slow.alive);
  EXPECT_EQ(slow.endedAt, 30000u + 5000) << "a process that ends in time is waited for until it ends";
  EXPECT_TRUE(refusing.alive);
  EXPECT_FALSE(next.alive) << "the processes after a stuck one are still ended";
  EXPECT_EQ(next.endedAt, 30000u + 5000 + 30000);
  EXPECT_EQ(m().clock.now, next.endedAt + 1000);
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the handle of a process that did not end is closed";
}

// A client process may start its partner again as it goes, and an
// identifier may belong to another process by the time it is opened.
TEST_F(StopTest, ForceStopSweepsAgainForWhatStartedMeanwhileButNeverEndsAnotherProcess) {
  sim::Process& daemon = m().processes.AddProcess(L"zarek-drive-daemon.exe", 1);
  daemon.respawns = L"zarek-drive-ui.exe";  // brings its window back as it goes
  sim::Process& reused = m().processes.AddProcess(L"zarek.exe", 1);
  reused.reusedBy = L"notepad.exe";  // the identifier is another's by the time it is opened
  const Dword reusedPid = reused.pid;
  m().calls.clear();
  RunForceStopCommand();
  EXPECT_EQ(m().processes.RunningPids(L"zarek-drive-ui.exe").size(), 0u)
      << "the partner started meanwhile is ended too";
  EXPECT_TRUE(m().processes.FindProcess(reusedPid)->alive);
  for (const auto& t : m().processes.terminations) EXPECT_NE(t.name, L"notepad.exe");
  EXPECT_EQ(m().calls["CreateToolhelp32Snapshot"], 3) << "two sweeps that ended something, one that found nothing new";

  // The partner takes the identifier of the one just ended: a process of
  // its own all the same (another creation time), ended too.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  sim::Process& first = m().processes.AddProcess(L"zarek-drive-daemon.exe", 1);
  first.respawns = L"zarek-drive-ui.exe";
  const Dword firstPid = first.pid;
  m().afterCall["WaitForSingleObject"] = [&] {
    auto& list = m().processes.list;
    auto ended = std::find_if(list.begin(), list.end(), [&](const sim::Process& p) { return p.pid == firstPid; });
    if (ended == list.end() || ended->alive) return;
    list.erase(ended);  // gone, and its identifier free
    for (sim::Process& p : list) {
      if (p.alive && p.exeName == L"zarek-drive-ui.exe") p.pid = firstPid;
    }
  };
  RunForceStopCommand();
  m().afterCall.clear();
  EXPECT_EQ(m().processes.RunningPids(L"zarek-drive-ui.exe").size(), 0u) << "an identifier used again";

  // Partners that bring each other back for ever: three sweeps, no more.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  for (int i = 0; i < 8; ++i) m().processes.AddProcess(L"zarek-daemon.exe", 1).respawns = L"zarek-daemon.exe";
  m().calls.clear();
  RunForceStopCommand();
  EXPECT_EQ(m().calls["CreateToolhelp32Snapshot"], 3);
  EXPECT_EQ(m().processes.RunningPids(L"zarek-daemon.exe").size(), 8u);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(StopTest, TerminatingANameWithoutProcessesDoesNothing) {
  TerminateProcessesNamed({L"zarek.exe"}, std::nullopt, /*maxSweeps=*/1);
  EXPECT_EQ(m().calls["TerminateProcess"], 0);
  EXPECT_EQ(m().calls["WaitForSingleObject"], 0);
  EXPECT_EQ(m().clock.now, 0u);

  // With a session filter, another session's process is left alone.
  sim::Process& theirs = m().processes.AddProcess(L"explorer.exe", 2);
  TerminateProcessesNamed({L"explorer.exe"}, Dword{1}, /*maxSweeps=*/1);
  EXPECT_TRUE(theirs.alive);
  EXPECT_EQ(m().processes.RunningPids(L"explorer.exe").size(), 1u);
  EXPECT_EQ(m().processes.terminations.size(), 1u);
  EXPECT_EQ(m().OpenHandleCount(), 0u);

  // "--force-stop" with no client running ends nothing and does not pause.
  Run(L"tool.exe --force-stop");
  EXPECT_TRUE(m().clock.sleeps.empty());
}
