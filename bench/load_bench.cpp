// Load figures of the tool's logic over the simulated machine: the
// all-profiles commands on 1,000 and 10,000 profiles, the data-folder removal
// on 10,000 and 100,000 entries, the process look-up and "--force-stop" on
// 200 and 2,000 processes. For each it prints the wall time of the tool's own
// run (the machine's set-up excluded), the time per unit of work and the
// ratio of the two times next to the ratio of the work: a time ratio near the
// work ratio means the cost grows linearly.
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
#include "platform/sim/sim_machine.h"
#include "process/process_lookup.h"

namespace {

using platform::Dword;
using sim::Machine;

const std::wstring kStartup = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring kPrograms = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

// Seconds of the best of rounds runs of measured, each on a machine that
// setUp builds afresh.
double Best(int rounds, const std::function<void(Machine&)>& setUp, const std::function<void()>& measured) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    sim::Reset();
    setUp(sim::machine());
    const auto start = std::chrono::steady_clock::now();
    measured();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void RunTool(const std::wstring& commandLine) {
  sim::machine().commandLine = commandLine;
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
    m.AddFile(dir + kStartup + L"\\ZarekTolv.lnk");
    m.AddFile(dir + kPrograms + L"\\Vantorel\\Vantorel Drive.lnk");
    m.AddFile(dir + kPrograms + L"\\Vantorel\\Uninstall Vantorel Drive.lnk");
    m.AddFile(dir + L"\\Desktop\\Vantorel Drive.lnk");
    for (int f = 0; f < 4; ++f) m.AddFile(dir + L"\\AppData\\Local\\VantorelDrive\\cache\\f" + std::to_wstring(f));
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
      m.AddFile(dir + L"\\file " + std::to_wstring(f) + L".dat", f % 7 == 0 ? platform::kFileAttributeHidden : 0);
    }
  }
}

// processes processes in four sessions, one in ten a client with a window.
void Processes(Machine& m, int processes) {
  sim::TypicalMachine::Build(m);
  static const wchar_t* const kClients[] = {L"zarek.exe", L"zarek-daemon.exe", L"auto-updater.exe"};
  while (static_cast<int>(m.processes.size()) < processes) {
    const int i = static_cast<int>(m.processes.size());
    const Dword session = static_cast<Dword>(i % 4);
    if (i % 10 == 0) {
      sim::Process& p = m.AddProcess(kClients[i / 10 % 3], session);
      m.AddWindow(p.pid);
    } else {
      m.AddProcess(L"svchost.exe", session);
    }
  }
}

void Row(const char* what, double small, double large, int smallWork, int largeWork, const char* unit) {
  std::printf("  %-38s %9.2f ms %8.2f us/%s %10.2f ms %8.2f us/%s   time x%.1f for work x%.0f\n", what, small * 1e3,
              small * 1e6 / smallWork, unit, large * 1e3, large * 1e6 / largeWork, unit, large / small,
              static_cast<double>(largeWork) / smallWork);
}

}  // namespace

int main() {
  std::printf("Load over the simulated machine: the tool's own run, set-up excluded, best of several rounds.\n\n");

  const int fewProfiles = 1000, manyProfiles = 10000;
  std::printf("all-profiles commands: %d and %d profiles\n", fewProfiles, manyProfiles);
  for (const wchar_t* command :
       {L"--admin-remove-shortcuts", L"--admin-upgrade-startup-shortcut", L"--uninstall VantorelDrive"}) {
    const std::wstring line = std::wstring(L"client-maintenance.exe ") + command;
    auto run = [&] { RunTool(line); };
    const double small = Best(
        3, [&](Machine& m) { Profiles(m, fewProfiles); }, run);
    const double large = Best(
        2, [&](Machine& m) { Profiles(m, manyProfiles); }, run);
    const std::string name(command, command + std::wcslen(command));
    Row(name.c_str(), small, large, fewProfiles, manyProfiles, "profile");
  }

  const int fewEntries = 10000, manyEntries = 100000;
  std::printf("\ndata folder removal: %d and %d entries\n", fewEntries, manyEntries);
  {
    auto run = [] { RunTool(L"client-maintenance.exe --uninstall VantorelDrive"); };
    const double small = Best(
        3, [&](Machine& m) { DataFolder(m, fewEntries); }, run);
    const double large = Best(
        2, [&](Machine& m) { DataFolder(m, manyEntries); }, run);
    Row("--uninstall VantorelDrive", small, large, fewEntries, manyEntries, "entry");
  }

  const int fewProcesses = 200, manyProcesses = 2000;
  std::printf("\nprocesses: %d and %d (one in ten a client with a window)\n", fewProcesses, manyProcesses);
  {
    auto lookUp = [] {
      for (int i = 0; i < 20; ++i) FindProcessesByName(L"zarek.exe", std::nullopt);
    };
    const double small = Best(
                             5, [&](Machine& m) { Processes(m, fewProcesses); }, lookUp) /
                         20;
    const double large = Best(
                             5, [&](Machine& m) { Processes(m, manyProcesses); }, lookUp) /
                         20;
    Row("look-up by name, every session", small, large, fewProcesses, manyProcesses, "process");
    auto lookUpSession = [] {
      for (int i = 0; i < 20; ++i) FindProcessesByName(L"zarek.exe", Dword{1});
    };
    const double smallSession = Best(
                                    5, [&](Machine& m) { Processes(m, fewProcesses); }, lookUpSession) /
                                20;
    const double largeSession = Best(
                                    5, [&](Machine& m) { Processes(m, manyProcesses); }, lookUpSession) /
                                20;
    Row("look-up by name, one session", smallSession, largeSession, fewProcesses, manyProcesses, "process");
    auto forceStop = [] { RunTool(L"client-maintenance.exe --force-stop"); };
    const double smallStop = Best(
        3, [&](Machine& m) { Processes(m, fewProcesses); }, forceStop);
    const double largeStop = Best(
        3, [&](Machine& m) { Processes(m, manyProcesses); }, forceStop);
    Row("--force-stop", smallStop, largeStop, fewProcesses, manyProcesses, "process");
    auto stop = [] { RunTool(L"client-maintenance.exe --stop -timeout 0"); };
    const double smallPost = Best(
        3, [&](Machine& m) { Processes(m, fewProcesses); }, stop);
    const double largePost = Best(
        3, [&](Machine& m) { Processes(m, manyProcesses); }, stop);
    Row("--stop, one attempt", smallPost, largePost, fewProcesses, manyProcesses, "process");
  }
  return 0;
}
