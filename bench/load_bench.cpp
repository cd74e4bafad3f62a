// Load figures of the tool's logic over the simulated machine: the
// all-profiles commands on 1,000 and 10,000 profiles, the data-folder removal
// on 10,000 and 100,000 entries, the process look-up and "--force-stop" on
// 200 and 2,000 processes. For each it prints the wall time of the tool's own
// run (the machine's set-up excluded), the time per unit of work and the
// ratio of the two times next to the ratio of the work: a time ratio near the
// work ratio means the cost grows linearly. The platform calls per unit of
// work, at both sizes, show the same without timing noise.
//
//   build/host-release/load_bench          (scripts/bench.sh builds and runs it)
//
// Not a test: it prints figures and always exits 0.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "process/process_lookup.h"
#include "sim/typical_machine.h"

namespace {

using platform::Dword;
using sim::Machine;

const std::wstring kStartup = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring kPrograms = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

// The platform calls of the last measured run, all kinds together: the work
// the tool asked of the machine, free of timing noise.
long g_calls = 0;

// Seconds of the best of rounds runs of measured, each on a machine that
// setUp builds afresh.
double Best(int rounds, const std::function<void(Machine&)>& setUp, const std::function<void()>& measured) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    sim::Reset();
    setUp(sim::machine());
    sim::machine().calls.clear();
    const auto start = std::chrono::steady_clock::now();
    measured();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    g_calls = 0;
    for (const auto& kv : sim::machine().calls) g_calls += kv.second;
  }
  return best;
}

void RunTool(const std::wstring& commandLine) {
  sim::machine().runtime.commandLine = commandLine;
  RunClientMaintenance();
}

// profiles profiles, each with a legacy start-up shortcut (so the upgrade
// writes a new one), start-menu and desktop shortcuts and a small data folder.
void Profiles(Machine& m, int profiles) {
  sim::TypicalMachine::Build(m);
  for (int i = 0; i < profiles; ++i) {
    const std::wstring user = L"user" + std::to_wstring(i);
    const std::wstring dir = L"C:\\Users\\" + user;
    sim::TypicalMachine::AddProfile(m, L"S-1-5-21-5-5-5-" + std::to_wstring(10000 + i), user, dir);
    m.files.AddFile(dir + kStartup + L"\\ZarekTolv.lnk");
    m.files.AddFile(dir + kPrograms + L"\\Vantorel\\Vantorel Drive.lnk");
    m.files.AddFile(dir + kPrograms + L"\\Vantorel\\Uninstall Vantorel Drive.lnk");
    m.files.AddFile(dir + L"\\Desktop\\Vantorel Drive.lnk");
    for (int f = 0; f < 4; ++f)
      m.files.AddFile(dir + L"\\AppData\\Local\\VantorelDrive\\cache\\f" + std::to_wstring(f));
  }
}

// One data folder of entries entries below alice's local application data:
// folders of 100 files, ten folders to a parent folder.
void DataFolder(Machine& m, int entries) {
  sim::TypicalMachine::Build(m);
  const std::wstring data = L"C:\\Users\\alice\\AppData\\Local\\VantorelDrive";
  int made = 0;
  for (int folder = 0; made < entries; ++folder) {
    const std::wstring dir = data + L"\\group " + std::to_wstring(folder / 10) + L"\\folder " + std::to_wstring(folder);
    made += (folder % 10 == 0) ? 2 : 1;  // the folder, and its parent with the first of ten
    for (int f = 0; f < 100 && made < entries; ++f, ++made) {
      m.files.AddFile(dir + L"\\file " + std::to_wstring(f) + L".dat", f % 7 == 0 ? platform::kFileAttributeHidden : 0);
    }
  }
}

// processes processes in four sessions, one in ten a client with a window.
void Processes(Machine& m, int processes) {
  sim::TypicalMachine::Build(m);
  static const wchar_t* const kClients[] = {L"zarek.exe", L"zarek-daemon.exe", L"auto-updater.exe"};
  while (static_cast<int>(m.processes.list.size()) < processes) {
    const int i = static_cast<int>(m.processes.list.size());
    const Dword session = static_cast<Dword>(i % 4);
    if (i % 10 == 0) {
      sim::Process& p = m.processes.AddProcess(kClients[i / 10 % 3], session);
      m.windows.AddWindow(p.pid);
    } else {
      m.processes.AddProcess(L"svchost.exe", session);
    }
  }
}

struct Figure {
  double seconds;
  long calls;
};

// Measures one size: the time and the platform calls of the tool's run.
Figure Measure(int rounds, const std::function<void(Machine&)>& setUp, const std::function<void()>& measured,
               int repeat = 1) {
  const double seconds = Best(rounds, setUp, measured) / repeat;
  return {seconds, g_calls / repeat};
}

void Row(const char* what, Figure small, Figure large, int smallWork, int largeWork, const char* unit) {
  std::printf(
      "  %-34s %9.2f ms %7.2f us/%s %6.1f calls/%s | %9.2f ms %7.2f us/%s %6.1f calls/%s | time x%.1f for work x%.0f\n",
      what, small.seconds * 1e3, small.seconds * 1e6 / smallWork, unit, static_cast<double>(small.calls) / smallWork,
      unit, large.seconds * 1e3, large.seconds * 1e6 / largeWork, unit, static_cast<double>(large.calls) / largeWork,
      unit, large.seconds / small.seconds, static_cast<double>(largeWork) / smallWork);
}

}  // namespace

int main() {
  std::printf("Load over the simulated machine: the tool's own run, set-up excluded, best of several rounds.\n\n");
  using SetUp = std::function<void(Machine&)>;

  const int fewProfiles = 1000, manyProfiles = 10000;
  const SetUp few = [&](Machine& m) { Profiles(m, fewProfiles); };
  const SetUp many = [&](Machine& m) { Profiles(m, manyProfiles); };
  std::printf("all-profiles commands: %d and %d profiles\n", fewProfiles, manyProfiles);
  for (const wchar_t* command :
       {L"--admin-remove-shortcuts", L"--admin-upgrade-startup-shortcut", L"--uninstall VantorelDrive"}) {
    const std::wstring line = std::wstring(L"client-maintenance.exe ") + command;
    auto run = [&] { RunTool(line); };
    const std::string name(command, command + std::wcslen(command));
    Row(name.c_str(), Measure(3, few, run), Measure(2, many, run), fewProfiles, manyProfiles, "profile");
  }

  const int fewEntries = 10000, manyEntries = 100000;
  const SetUp small = [&](Machine& m) { DataFolder(m, fewEntries); };
  const SetUp large = [&](Machine& m) { DataFolder(m, manyEntries); };
  std::printf("\ndata folder removal: %d and %d entries\n", fewEntries, manyEntries);
  auto uninstall = [] { RunTool(L"client-maintenance.exe --uninstall VantorelDrive"); };
  Row("--uninstall VantorelDrive", Measure(3, small, uninstall), Measure(2, large, uninstall), fewEntries, manyEntries,
      "entry");

  const int fewProcesses = 200, manyProcesses = 2000;
  const SetUp fewer = [&](Machine& m) { Processes(m, fewProcesses); };
  const SetUp more = [&](Machine& m) { Processes(m, manyProcesses); };
  std::printf("\nprocesses: %d and %d (one in ten a client with a window)\n", fewProcesses, manyProcesses);
  constexpr int kLookUps = 20;  // look-ups are short: timed in batches
  auto lookUp = [] {
    for (int i = 0; i < kLookUps; ++i) FindProcessesByName(L"zarek.exe", std::nullopt);
  };
  Row("look-up by name, every session", Measure(5, fewer, lookUp, kLookUps), Measure(5, more, lookUp, kLookUps),
      fewProcesses, manyProcesses, "process");
  auto lookUpSession = [] {
    for (int i = 0; i < kLookUps; ++i) FindProcessesByName(L"zarek.exe", Dword{1});
  };
  Row("look-up by name, one session", Measure(5, fewer, lookUpSession, kLookUps),
      Measure(5, more, lookUpSession, kLookUps), fewProcesses, manyProcesses, "process");
  auto forceStop = [] { RunTool(L"client-maintenance.exe --force-stop"); };
  Row("--force-stop", Measure(3, fewer, forceStop), Measure(3, more, forceStop), fewProcesses, manyProcesses,
      "process");
  auto stop = [] { RunTool(L"client-maintenance.exe --stop -timeout 0"); };
  Row("--stop, one attempt", Measure(3, fewer, stop), Measure(3, more, stop), fewProcesses, manyProcesses, "process");
  return 0;
}
