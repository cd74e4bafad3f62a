// What the work costs in calls into Windows, per unit of the work: each
// figure is the difference between a run over 2N units and one over N, so
// one more call per entry, per profile or per window fails here long before
// any benchmark would notice.
#include <iterator>
#include <map>
#include <string>

#include "app/stop_command.h"
#include "data_tree_fixture.h"
#include "files/folder_tree.h"
#include "process/stop_client.h"

namespace {

using CallCounts = std::map<std::string, int>;

// The calls of work() per unit, by name: the difference between a machine
// that build() makes and add() gives 8 units and one with 4, divided by 4.
// The machine is built afresh for each.
template <typename Build, typename Add, typename Work>
CallCounts CallsPerUnit(Build build, Add add, Work work) {
  auto callsWith = [&](int n) {
    sim::Reset();
    build();
    for (int i = 0; i < n; ++i) add(i);
    sim::machine().calls.clear();
    work();
    return sim::machine().calls;
  };
  const CallCounts once = callsWith(4);
  CallCounts perUnit = callsWith(8);
  for (const auto& [name, count] : once) perUnit[name] -= count;
  for (auto it = perUnit.begin(); it != perUnit.end();) {
    EXPECT_EQ(it->second % 4, 0) << it->first << ": the same cost for every unit";
    it->second /= 4;
    it = it->second == 0 ? perUnit.erase(it) : std::next(it);
  }
  return perUnit;
}

}  // namespace

class CallCountTest : public UninstallTest {};

// An open, a look at the handle, the delete disposition, the close; on a
// volume that does not know POSIX deletes one disposition more, refused,
// for every entry alike (nothing is asked of the volume, nothing is
// remembered).
TEST_F(CallCountTest, ARemovedEntryCostsFourCallsAndOneMoreWithoutPosixDeletes) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  for (const bool posix : {true, false}) {
    const CallCounts perEntry = CallsPerUnit(
        [&] {
          sim::TypicalMachine::Build(m());
          if (!posix) m().files.volumesWithoutPosix.insert(L'C');
          m().files.AddDirectory(data);
        },
        [&](int i) { m().files.AddFile(data + L"\\file " + std::to_wstring(i)); },
        [&] { EXPECT_TRUE(RemoveFolderTree(data)); });
    EXPECT_EQ(perEntry, (CallCounts{{"NtCreateFile", 1},
                                    {"GetFileInformationByHandleEx", 1},
                                    {"SetFileInformationByHandle", posix ? 1 : 2},
                                    {"CloseHandle", 1}}))
        << (posix ? "POSIX deletes" : "plain deletes");
    EXPECT_EQ(m().files.FindNode(data), nullptr);
  }
}

// A profile whose folders hold nothing of the client: its registry entry
// read and its path expanded; its desktop and its programs folder each
// held as a chain (the folder above by path, the folder itself by name,
// checked against a listing), and every name of the catalogue looked for
// in them, the program group included.
TEST_F(CallCountTest, AProfileOfTheProfileWalkCostsAFixedNumberOfCalls) {
  const CallCounts perProfile =
      CallsPerUnit([&] { sim::TypicalMachine::Build(m()); },
                   [&](int i) {
                     const std::wstring user = L"user" + std::to_wstring(i);
                     sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-7-7-7-" + std::to_wstring(2000 + i), user,
                                                     L"C:\\Users\\" + user);
                   },
                   [&] { Run(L"client-maintenance.exe --admin-remove-shortcuts"); });
  EXPECT_EQ(perProfile, (CallCounts{{"RegOpenKeyExW", 1},
                                    {"RegEnumKeyExW", 1},
                                    {"RegQueryValueExW", 1},
                                    {"RegCloseKey", 1},
                                    {"ExpandEnvironmentStringsW", 2},
                                    {"GetFullPathNameW", 4},
                                    {"CreateFileW", 2},
                                    {"NtCreateFile", 23},
                                    {"NtQueryDirectoryFile", 9},
                                    {"GetFileInformationByHandleEx", 9},
                                    {"CloseHandle", 20}}));
}

// One attempt of "--stop": a top-level window is judged by its owner (the
// owner itself once per process, not per window), and a client's window is
// asked to end its session.
TEST_F(CallCountTest, AWindowOfOneStopAttemptCostsAFixedNumberOfCalls) {
  Dword client = 0;
  const CallCounts perWindow = CallsPerUnit(
      [&] {
        sim::TypicalMachine::Build(m());
        client = m().processes.AddProcess(L"zarek.exe", 1).pid;
      },
      [&](int) { m().windows.AddWindow(client, true); }, [&] { CloseClientWindows(/*ownSessionOnly=*/true); });
  EXPECT_EQ(perWindow, (CallCounts{{"GetWindowThreadProcessId", 1}, {"PostMessageW", 1}}));
}
