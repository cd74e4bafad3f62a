// Finding processes by executable name and session.
#include <algorithm>

#include "process/process_lookup.h"
#include "sim_fixture.h"

using namespace platform;

class ProcessLookupTest : public SimTest {};

TEST_F(ProcessLookupTest, NamesMatchWholeAndWithoutLetterCase) {
  const Dword upper = m().processes.AddProcess(L"ZAREK.EXE").pid;
  const Dword mixed = m().processes.AddProcess(L"Zarek.Exe").pid;
  for (const wchar_t* nearMiss :
       {L"zarek.ex", L"zarek.exe.exe", L"xzarek.exe", L"zarek.com", L"zarek", L"zarek .exe"}) {
    m().processes.AddProcess(nearMiss);
  }
  EXPECT_EQ(FindProcessesByName(L"zarek.exe", std::nullopt), (std::vector<Dword>{upper, mixed}));
  EXPECT_TRUE(NamesEqualIgnoreCase(L"", L""));
  EXPECT_FALSE(NamesEqualIgnoreCase(L"a", L""));
}

TEST_F(ProcessLookupTest, KeepsTheSystemsEnumerationOrder) {
  const Dword a = m().processes.AddProcess(L"explorer.exe", 1, 900).pid;
  const Dword b = m().processes.AddProcess(L"explorer.exe", 1, 100).pid;
  const Dword c = m().processes.AddProcess(L"explorer.exe", 1, 500).pid;
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", std::nullopt), (std::vector<Dword>{a, b, c}));
}

TEST_F(ProcessLookupTest, SessionFilterNeverOpensProcessesOfOtherSessions) {
  const Dword mine = m().processes.AddProcess(L"explorer.exe", 1).pid;
  const Dword theirs = m().processes.AddProcess(L"explorer.exe", 2).pid;
  sim::Process& unknown = m().processes.AddProcess(L"explorer.exe", 1);
  unknown.sessionReadable = false;

  m().processes.AddProcess(L"lsass.exe", 1);
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", Dword{1}), std::vector<Dword>{mine});
  for (const auto& call : m().processes.openProcessCalls) {
    EXPECT_EQ(call.pid, mine) << "a process of another session, of an unknown one, or of another name was opened";
    EXPECT_EQ(call.access, kProcessQueryLimitedInformation) << "a process is only ever looked at";
  }
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", Dword{2}), std::vector<Dword>{theirs});
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", std::nullopt), (std::vector<Dword>{mine, theirs, unknown.pid}));
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(ProcessLookupTest, ProcessesThatCannotBeReadAreLeftOut) {
  sim::Process& vanishing = m().processes.AddProcess(L"zarek.exe");
  vanishing.exitsBeforeOpen = true;  // exits between the enumeration and the open
  sim::Process& protectedProcess = m().processes.AddProcess(L"zarek.exe");
  protectedProcess.deniedAccess = kProcessQueryLimitedInformation;
  sim::Process& noName = m().processes.AddProcess(L"zarek.exe");
  noName.nameReadable = false;
  // Between the snapshot and the look at it, another process took its identifier.
  m().processes.AddProcess(L"zarek.exe").reusedBy = L"notepad.exe";
  const Dword readable = m().processes.AddProcess(L"zarek.exe").pid;

  EXPECT_EQ(FindProcessesByName(L"zarek.exe", std::nullopt), std::vector<Dword>{readable});
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(ProcessLookupTest, ASnapshotThatCannotBeTakenGivesAnEmptyList) {
  m().processes.AddProcess(L"zarek.exe");
  for (const char* call : {"CreateToolhelp32Snapshot", "Process32FirstW"}) {
    SCOPED_TRACE(call);
    m().injections.clear();
    m().Inject(call, kErrorNotEnoughMemory, 1);
    EXPECT_TRUE(FindProcessesByName(L"zarek.exe", std::nullopt).empty());
    EXPECT_EQ(m().OpenHandleCount(), 0u);
  }
}

TEST_F(ProcessLookupTest, TheNameIsReadOnTheHandleAndAFailureLeavesTheOutputAlone) {
  const Dword pid = m().processes.AddProcess(L"Zarek.EXE").pid;
  platform::UniqueHandle process(OpenProcess(kProcessQueryLimitedInformation, false, pid));
  std::wstring name = L"marker";
  ASSERT_TRUE(GetProcessImageBaseName(process.get(), &name));
  EXPECT_EQ(name, L"Zarek.EXE");
  m().processes.FindProcess(pid)->nameReadable = false;
  name = L"marker";
  EXPECT_FALSE(GetProcessImageBaseName(process.get(), &name));
  EXPECT_EQ(name, L"marker");
}
