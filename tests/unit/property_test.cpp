// The whole tool on thousands of random hostile machines, every command on
// each, most runs raced by a user without rights who renames their own
// folders and plants links meanwhile (tests/support/attacker.h), checked
// after every run for what it may and may not have touched (see
// tests/support/safety_check.h).
//
//   CM_PROPERTY_MACHINES=N      how many machines (the build's default: 3000)
//   CM_PROPERTY_FIRST_SEED=S    start at seed S (the build's default: 1)
//   CM_PROPERTY_SEED=S          just seed S, printing its machine and every run
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "app/app.h"
#include "app/stop_command.h"
#include "attacker.h"
#include "files/folder_tree.h"
#include "hostile_machine.h"
#include "platform/handles.h"
#include "reference_check.h"
#include "report_check.h"
#include "safety_check.h"
#include "sim/typical_machine.h"
#include "sim_fixture.h"

#ifndef CM_PROPERTY_MACHINES
#define CM_PROPERTY_MACHINES 3000
#endif
#ifndef CM_PROPERTY_FIRST_SEED
#define CM_PROPERTY_FIRST_SEED 1
#endif

namespace {

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

std::string Joined(const std::vector<std::wstring>& args) {
  std::string out;
  for (std::size_t i = 1; i < args.size(); ++i) out += (i > 1 ? " [" : "[") + hostile::Printable(args[i]) + "]";
  return out.empty() ? "(no command)" : out;
}

// The arguments the tool will see for a command line, split on a scratch
// machine the way the tool's own start-up splits it.
std::vector<std::wstring> Split(const std::wstring& line) {
  sim::Reset();
  int argc = 0;
  wchar_t** argv = platform::CommandLineToArgvW(line.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + argc);
  platform::LocalFree(argv);
  return args;
}

// The file system as paths and what lies there, for comparing two machines.
std::map<std::wstring, std::string> Contents(sim::Machine& m) {
  std::map<std::wstring, std::string> out;
  for (const auto& [id, s] : hostile::Snapshot(m)) {
    out[s.path] = std::to_string(s.attributes) + "|" + hostile::Printable(s.linkTarget) + "|" + s.content + "|" +
                  hostile::Printable(s.shortcutTarget);
  }
  return out;
}

// The desktop shells running in the tool's own session.
std::size_t OwnSessionShells(sim::Machine& m) {
  std::size_t shells = 0;
  for (const auto& p : m.processes.list) {
    shells += p.alive && p.session == m.processes.Self().session && sim::Fold(p.exeName) == L"EXPLORER.EXE";
  }
  return shells;
}

// The file commands, which a run cut short leaves for the next run.
bool IsFileCommand(const std::vector<std::wstring>& args) {
  static const std::vector<std::wstring> kFileCommands = {
      L"--uninstall", L"--admin-remove-shortcuts", L"--portable-remove-shortcuts", L"--admin-upgrade-startup-shortcut",
      L"--remove-all-users-empty-folders"};
  return args.size() >= 2 && std::find(kFileCommands.begin(), kFileCommands.end(), args[1]) != kFileCommands.end();
}

// A share of the file commands' runs is cut short at a random call, the
// process killed or the power lost, with neither adversary nor injected
// failures (so that the next run meets the same machine); the same command
// then runs again and must leave what an uninterrupted run leaves (run
// again as well).
std::vector<std::string> CutAndRunAgain(std::uint64_t seed, std::size_t run, const std::vector<std::wstring>& args) {
  hostile::Random r(seed * 977 + run);
  auto fresh = [&] {
    sim::Reset();
    hostile::Generate(seed, sim::machine());
    sim::machine().injections.clear();
    sim::machine().clock.events.clear();  // nothing else changes the machine meanwhile
    sim::machine().runtime.commandLine = hostile::CommandLineOf(args);
  };
  // What the command leaves when nothing cuts it, run twice as below (an
  // opportunistic lock that ends a run by its bound ends the next one too).
  fresh();
  sim::RunToolAsTheSystemDoes();
  sim::RunToolAsTheSystemDoes();
  const std::map<std::wstring, std::string> uninterrupted = Contents(sim::machine());

  fresh();
  sim::Machine& m = sim::machine();
  m.cutAtCall = 1 + r.Below(250);
  m.cutKind = r.Chance(50) ? sim::Cut::kKilled : sim::Cut::kPowerLost;
  hostile::SafetyCheck check(m, args);
  sim::RunToolAsTheSystemDoes();
  std::vector<std::string> violations = check.Violations(m);
  const std::string how = m.cut == sim::Cut::kNone ? "" : m.cut == sim::Cut::kKilled ? "killed" : "power lost";
  const std::uint64_t at = m.cutAtCall;
  m.cut = sim::Cut::kNone;
  m.cutAtCall = 0;
  m.endedByBound = false;
  m.avoidableWait.clear();
  sim::RunToolAsTheSystemDoes();
  if (Contents(m) != uninterrupted) {
    std::string differences = "cut (" + (how.empty() ? std::string("not reached") : how) + " before call " +
                              std::to_string(at) + "), then run again: not as one uninterrupted run leaves it:";
    const auto after = Contents(m);
    for (const auto& [path, state] : uninterrupted) {
      auto it = after.find(path);
      if (it == after.end())
        differences += "\n    missing " + hostile::Printable(path);
      else if (it->second != state)
        differences += "\n    differs " + hostile::Printable(path);
    }
    for (const auto& [path, state] : after) {
      if (!uninterrupted.count(path)) differences += "\n    extra " + hostile::Printable(path);
    }
    violations.push_back(differences);
  }
  for (auto& v : violations) v = "[cut: " + (how.empty() ? std::string("none") : how) + "] " + v;
  return violations;
}

// Builds the machine of seed afresh, runs the plan's run-th command line
// through the whole tool and returns what it broke.
// When fresh is true the machine of seed has just been built.
std::vector<std::string> RunOne(std::uint64_t seed, std::size_t run, const std::vector<std::wstring>& args,
                                bool fresh) {
  const std::wstring line = hostile::CommandLineOf(args);
  if (!fresh) {
    sim::Reset();
    hostile::Generate(seed, sim::machine());
  }
  sim::machine().runtime.commandLine = line;
  hostile::SafetyCheck check(sim::machine(), args);
  const hostile::ReferenceCheck reference(sim::machine(), args);
  const hostile::ReportCheck report(sim::machine(), args);
  const bool injected = !sim::machine().injections.empty();
  std::vector<std::string> attacks;
  int exitCode = 0;
  const std::size_t shellsBefore = OwnSessionShells(sim::machine());
  const std::size_t terminationsBefore = sim::machine().processes.terminations.size();
  {
    // A user without rights races the run: a seed of its own for every run.
    hostile::Attacker attacker(sim::machine(), seed * 131 + run);
    exitCode = sim::RunToolAsTheSystemDoes();
    attacks = attacker.log();
  }
  std::vector<std::string> violations = check.Violations(sim::machine());
  if (exitCode != 0) violations.push_back("exit code " + std::to_string(exitCode));
  // Undisturbed, the decision log tells what the run did.
  if (attacks.empty()) {
    // What it was there to remove and left has its reason, where no call
    // was made to fail (a failed look-up ends a command without a word).
    const bool removes = args.size() >= 2 && args[1] != L"--admin-upgrade-startup-shortcut";
    const std::vector<std::wstring> stayed = !injected && removes && !sim::machine().endedByBound
                                                 ? reference.Stayed(sim::machine())
                                                 : std::vector<std::wstring>{};
    for (auto& wrong : report.Violations(sim::machine(), stayed)) violations.push_back(std::move(wrong));
  }
  // The bound may end a run only where a call truly never returns.
  if (!sim::machine().avoidableWait.empty()) {
    violations.push_back("ended by the run's bound at a wait the tool could have avoided: " +
                         sim::machine().avoidableWait);
  }
  // Every wait a call of the tool's can meet here is cut short by the
  // call's own bound: none lasts until the run's.
  if (sim::machine().endedByBound) violations.push_back("ended by the run's bound: a call never returned");
  // Undisturbed, a restart never leaves her session without the shell it
  // had: it ends none it cannot start again.
  sim::Machine& after = sim::machine();
  if (args.size() >= 2 && args[1] == L"--restart-explorer" && attacks.empty() && !injected && shellsBefore > 0 &&
      after.processes.terminations.size() > terminationsBefore && OwnSessionShells(after) == 0) {
    violations.push_back("ended its session's shell and left it without one");
  }
  // Undisturbed, the command also did what it is there to do.
  if (attacks.empty() && !injected && !sim::machine().endedByBound) {
    for (auto& missed : reference.Missed(sim::machine())) violations.push_back(std::move(missed));
  }
  // A lock that gave up a piece of work costs that piece this run only:
  // once its holder lets go, the same command run again does the rest.
  if (violations.empty() && attacks.empty() && !injected && !sim::machine().cancelledAt.empty()) {
    sim::Machine& m = sim::machine();
    for (const auto& entry : hostile::Snapshot(m)) {
      m.files.NodeById(entry.first)->readHandleOplock = false;
      m.files.NodeById(entry.first)->userOplock = false;
    }
    hostile::SafetyCheck again(m, args);
    const hostile::ReferenceCheck rest(m, args);
    sim::RunToolAsTheSystemDoes();
    for (auto& v : again.Violations(m)) violations.push_back("[the lock let go, run again] " + v);
    for (auto& v : rest.Missed(m)) violations.push_back("[the lock let go, run again] " + v);
  }
  if (!violations.empty()) {
    std::string raced = "  what the adversary did meanwhile:";
    for (const auto& a : attacks) raced += "\n    " + a;
    if (attacks.empty()) raced += " nothing";
    violations.push_back(raced);
    // What the run did to the file system, in order, for the report.
    std::string changes = "  the run's file-system changes, in order:";
    const auto& events = sim::machine().files.fsEvents;
    for (std::size_t i = 0; i < events.size() && i < 60; ++i) {
      static const char* const kKinds[] = {"deleted",    "removed folder", "created", "overwritten",
                                           "moved away", "moved here",     "written", "attributes changed"};
      changes += std::string("\n    ") + (events[i].byTool ? "" : "(the adversary) ") +
                 kKinds[static_cast<int>(events[i].kind)] + " " + hostile::Printable(events[i].path);
    }
    violations.push_back(changes);
  }
  return violations;
}

std::string DescribeSeed(std::uint64_t seed) {
  sim::Reset();
  hostile::Generate(seed, sim::machine());
  return hostile::Describe(sim::machine());
}

}  // namespace

TEST(HostileMachines, NothingOutsideTheAllowedSetIsEverTouched) {
  std::uint64_t first = EnvNumber("CM_PROPERTY_FIRST_SEED", CM_PROPERTY_FIRST_SEED);
  std::uint64_t count = EnvNumber("CM_PROPERTY_MACHINES", CM_PROPERTY_MACHINES);
  const bool one = std::getenv("CM_PROPERTY_SEED") != nullptr;
  if (one) {
    first = EnvNumber("CM_PROPERTY_SEED", 1);
    count = 1;
    std::cout << DescribeSeed(first);
  }
  const auto start = std::chrono::steady_clock::now();
  std::size_t runs = 0, failedRuns = 0;
  std::vector<std::uint64_t> failedSeeds;
  for (std::uint64_t seed = first; seed < first + count; ++seed) {
    sim::Reset();
    const hostile::Plan plan = hostile::Generate(seed, sim::machine());
    bool failed = false;
    for (std::size_t i = 0; i < plan.runs.size(); ++i) {
      const std::vector<std::wstring>& args = plan.runs[i];
      // The first run uses the machine the plan came with.
      std::vector<std::string> violations = RunOne(seed, i, args, /*fresh=*/i == 0);
      if (violations.empty() && IsFileCommand(args) && hostile::Random(seed * 31 + i).Chance(25)) {
        violations = CutAndRunAgain(seed, i, args);
      }
      ++runs;
      if (one) std::cout << Joined(args) << (violations.empty() ? ": ok\n" : ": FAILED\n");
      if (violations.empty()) continue;
      ++failedRuns;
      if (failedSeeds.empty() && !failed) {
        // The first failure in full: the machine and everything broken.
        std::string report = "seed " + std::to_string(seed) + ", " + Joined(args) + ":\n";
        for (const auto& v : violations) report += "  " + v + "\n";
        ADD_FAILURE() << report << "machine of seed " << seed << " before the run:\n"
                      << DescribeSeed(seed) << "re-run it alone with CM_PROPERTY_SEED=" << seed;
      } else if (!failed) {
        ADD_FAILURE() << "seed " << seed << ", " << Joined(args) << ": " << violations.front()
                      << (violations.size() > 1 ? " (and more)" : "");
      }
      failed = true;
    }
    // The arguments each run was checked against are those the tool saw.
    for (const auto& args : plan.runs) {
      ASSERT_EQ(Split(hostile::CommandLineOf(args)), args) << "seed " << seed << ": the command line does not "
                                                           << "split back into " << Joined(args);
    }
    if (failed) failedSeeds.push_back(seed);
    if (failedSeeds.size() >= 20) break;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "hostile machines: " << count << " (seeds " << first << ".." << first + count - 1 << "), " << runs
            << " runs, " << failedRuns << " failed, " << seconds << " s\n";
  EXPECT_TRUE(failedSeeds.empty()) << failedSeeds.size() << " seeds failed, the first " << failedSeeds.front();
}

TEST(HostileMachines, TheSameSeedBuildsTheSameMachine) {
  EXPECT_EQ(DescribeSeed(7), DescribeSeed(7));
  EXPECT_NE(DescribeSeed(7), DescribeSeed(8));
}

// The checker itself: each kind of broken promise is reported.
TEST(HostileMachines, TheCheckCatchesEachKindOfHarm) {
  using namespace platform;
  const std::vector<std::wstring> args = {L"client-maintenance.exe", L"--uninstall", L"VantorelDrive"};
  auto check = [&](const std::function<void(sim::Machine&)>& harm, bool prepared = true) {
    sim::Reset();
    sim::TypicalMachine::Build(sim::machine());
    sim::Machine& m = sim::machine();
    m.files.AddFile(L"C:\\Users\\alice\\AppData\\Local\\VantorelDrive\\data");
    m.files.AddFile(L"C:\\Users\\alice\\AppData\\Local\\Other\\keep");
    m.files.AddDirectoryLink(L"C:\\Users\\alice\\AppData\\Local\\VantorelDrive\\docs", L"C:\\Users\\alice\\Documents");
    m.files.AddFile(L"C:\\Users\\alice\\Documents\\thesis.docx");
    m.processes.AddProcess(L"notepad.exe", 1);
    hostile::SafetyCheck c(m, args);
    if (prepared) {
      PrepareUnattendedRun();
      ExposePlaceholders();
    }
    harm(m);
    return c.Violations(m);
  };
  EXPECT_TRUE(check([](sim::Machine&) {}).empty());
  EXPECT_TRUE(
      check([](sim::Machine&) { RemoveFolderTree(L"C:\\Users\\alice\\AppData\\Local\\VantorelDrive"); }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) {
                 m.files.RemoveNode(m.files.FindNode(L"C:\\Users\\alice\\AppData\\Local\\Other\\keep"));
               }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) {
                 m.files.RemoveNode(
                     m.files.FindNode(L"C:\\Users\\alice\\AppData\\Local\\VantorelDrive\\docs\\thesis.docx"));
               }).empty())
      << "through a link";
  EXPECT_FALSE(check([](sim::Machine& m) {
                 m.files.FindNode(L"C:\\Windows\\explorer.exe")->attributes = kFileAttributeHidden;
               }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) { m.files.AddFile(L"C:\\Users\\alice\\new.txt"); }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) {
                 UniqueHandle p(OpenProcess(kProcessTerminate, false, m.processes.list.back().pid));
                 TerminateProcess(p.get(), 0);
               }).empty());
  EXPECT_FALSE(
      check([](sim::Machine& m) { OpenProcess(kProcessTerminate, false, m.processes.list.back().pid); }).empty())
      << "a handle left open";
  EXPECT_FALSE(check([](sim::Machine& m) { m.clock.Advance(1); }).empty()) << "time spent where none may be";
  EXPECT_FALSE(check([](sim::Machine& m) { m.hung = true; }).empty());
  EXPECT_FALSE(check([](sim::Machine&) { WriteStdout(L"hello\n"); }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) { ++m.shell.dialogs; }).empty());
  EXPECT_FALSE(check([](sim::Machine& m) {
                 m.shell.folderLookups.push_back({kCsidlDesktopDirectory, L"bob", true, 0, true});
               }).empty())
      << "another user's layout";
  EXPECT_FALSE(check([](sim::Machine&) {}, /*prepared=*/false).empty())
      << "error dialogs and DLL search left as they were";
  EXPECT_FALSE(check([](sim::Machine&) { StopInUserSessions(FindInteractiveUser(), 0); }).empty())
      << "a copy started for another command";
}
