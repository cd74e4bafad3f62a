// Finding processes by executable name and session.
#include <algorithm>

#include "process/process_lookup.h"
#include "sim_fixture.h"

using namespace platform;

class ProcessLookupTest : public SimTest {};

TEST_F(ProcessLookupTest, NamesMatchWholeAndWithoutLetterCase) {
  const Dword upper = m().AddProcess(L"ZAREK.EXE").pid;
  const Dword mixed = m().AddProcess(L"Zarek.Exe").pid;
  for (const wchar_t* nearMiss : {L"zarek.ex", L"zarek.exe.exe", L"xzarek.exe", L"zarek.com", L"zarek", L"zarek .exe"}) {
    m().AddProcess(nearMiss);
  }
  EXPECT_EQ(FindProcessesByName(L"zarek.exe", std::nullopt), (std::vector<Dword>{upper, mixed}));
  EXPECT_TRUE(NamesEqualIgnoreCase(L"", L""));
  EXPECT_FALSE(NamesEqualIgnoreCase(L"a", L""));
}

TEST_F(ProcessLookupTest, KeepsTheSystemsEnumerationOrder) {
  const Dword a = m().AddProcess(L"explorer.exe", 1, 900).pid;
  const Dword b = m().AddProcess(L"explorer.exe", 1, 100).pid;
  const Dword c = m().AddProcess(L"explorer.exe", 1, 500).pid;
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", std::nullopt), (std::vector<Dword>{a, b, c}));
}

TEST_F(ProcessLookupTest, SessionFilterNeverOpensProcessesOfOtherSessions) {
  const Dword mine = m().AddProcess(L"explorer.exe", 1).pid;
  const Dword theirs = m().AddProcess(L"explorer.exe", 2).pid;
  sim::Process& unknown = m().AddProcess(L"explorer.exe", 1);
  unknown.sessionReadable = false;

  EXPECT_EQ(FindProcessesByName(L"explorer.exe", Dword{1}), std::vector<Dword>{mine});
  for (const auto& call : m().openProcessCalls) {
    EXPECT_NE(call.first, theirs) << "another session's process was opened";
    EXPECT_NE(call.first, unknown.pid) << "a process whose session is unknown was opened";
    EXPECT_EQ(call.second, kProcessQueryInformation | kProcessVmRead);
  }
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", Dword{2}), std::vector<Dword>{theirs});
  EXPECT_EQ(FindProcessesByName(L"explorer.exe", std::nullopt), (std::vector<Dword>{mine, theirs, unknown.pid}));
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(ProcessLookupTest, ProcessesThatCannotBeReadAreLeftOut) {
  sim::Process& vanishing = m().AddProcess(L"zarek.exe");
  vanishing.exitsBeforeOpen = true;  // exits between the enumeration and the open
  sim::Process& protectedProcess = m().AddProcess(L"zarek.exe");
  protectedProcess.deniedAccess = kProcessVmRead;
  sim::Process& noModules = m().AddProcess(L"zarek.exe");
  noModules.modulesReadable = false;
  const Dword readable = m().AddProcess(L"zarek.exe").pid;

  EXPECT_EQ(FindProcessesByName(L"zarek.exe", std::nullopt), std::vector<Dword>{readable});
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(ProcessLookupTest, AFullBufferIsDoubledBeforeAnyProcessIsExamined) {
  // 1024 processes fill the first 4096-byte buffer exactly: the list may have
  // been cut short, so the enumeration is repeated with 8192 bytes.
  while (m().processes.size() < 1023) m().AddProcess(L"svchost.exe");
  const Dword last = m().AddProcess(L"zarek.exe").pid;
  ASSERT_EQ(m().processes.size(), 1024u);
  m().afterCall["EnumProcesses"] = [this] {
    EXPECT_EQ(m().calls["OpenProcess"], 0) << "a process was examined before the enumeration was complete";
  };
  EXPECT_EQ(FindProcessesByName(L"zarek.exe", std::nullopt), std::vector<Dword>{last});
  EXPECT_EQ(m().enumProcessesSizes, (std::vector<Dword>{4096, 8192}));
  EXPECT_EQ(m().heapBlocks, 0u);

  // One process fewer fits the first buffer with room to spare.
  m().afterCall.clear();
  m().processes.pop_back();
  m().enumProcessesSizes.clear();
  FindProcessesByName(L"zarek.exe", std::nullopt);
  EXPECT_EQ(m().enumProcessesSizes, std::vector<Dword>{4096});
}

TEST_F(ProcessLookupTest, AllocationAndEnumerationFailuresGiveAnEmptyList) {
  while (m().processes.size() < 3000) m().AddProcess(L"zarek.exe");
  for (const char* call : {"HeapAlloc", "HeapReAlloc", "EnumProcesses"}) {
    for (int skip : {0, 1}) {
      SCOPED_TRACE(std::string(call) + " skip " + std::to_string(skip));
      m().injections.clear();
      m().Inject(call, kErrorNotEnoughMemory, 1, skip);
      const auto found = FindProcessesByName(L"zarek.exe", std::nullopt);
      if (skip == 1 && std::string(call) == "HeapAlloc") {
        EXPECT_EQ(found.size(), 3000u - 1);  // HeapAlloc is called once only
      } else {
        EXPECT_TRUE(found.empty());
      }
      EXPECT_EQ(m().heapBlocks, 0u) << "the buffer is released on every path";
    }
  }
}

TEST_F(ProcessLookupTest, AnOverlongModuleNameIsCutAndTerminated) {
  const std::wstring longName(300, L'z');
  const Dword pid = m().AddProcess(longName).pid;
  std::wstring name = L"marker";
  ASSERT_TRUE(GetProcessBaseName(pid, &name));
  EXPECT_EQ(name, std::wstring(259, L'z'));

  name = L"marker";
  EXPECT_FALSE(GetProcessBaseName(99999, &name));
  EXPECT_EQ(name, L"marker") << "a failure leaves the output as it was";
}
