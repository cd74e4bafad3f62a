// One test per hazard the simulated machine models: each sets the hazard
// up, runs one command, and fails when the protection against it is taken
// away.
#include "data_tree_fixture.h"
#include "files/held_folder.h"
#include "known_names.h"

namespace {

const std::wstring kAliceStartup =
    L"C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring& kCurrentShortcut = hostile::kShortcutName;
const std::wstring kLauncher = L"C:\\Program Files (x86)" + hostile::kLauncher;
const std::wstring kUpgrade = L"client-maintenance.exe --admin-upgrade-startup-shortcut";

}  // namespace

class HazardTest : public UninstallTest {
 protected:
  // A shortcut an earlier version wrote.
  sim::FsNode* AddOldShortcut(const std::wstring& name) {
    sim::FsNode* node = m().files.AddFile(kAliceStartup + L"\\" + name, kFileAttributeArchive, "old");
    node->isShortcut = true;
    node->shortcutTarget = L"C:\\Program Files (x86)\\Vantorel Zarek Tolv\\launcher.exe";
    return node;
  }

  bool HoldsTheNewShortcut() {
    const sim::FsNode* node = m().files.FindNode(kAliceStartup + L"\\" + kCurrentShortcut);
    return node != nullptr && node->isShortcut && node->shortcutTarget == kLauncher;
  }

  // Runs the upgrade cut short before each of its calls in turn, on a fresh
  // machine each time, and calls check() after each cut run.
  template <typename Check>
  void CutTheUpgradeAtEveryCall(sim::Cut how, Check check) {
    for (std::uint64_t call = 1;; ++call) {
      SetUp();
      AddOldShortcut(L"ZarekTolv.lnk");
      if (!RunCutBefore(kUpgrade, call, how)) break;  // the run ended before that call
      check(call);
      if (HasFatalFailure()) return;
    }
  }
};

// A user's opportunistic lock on a file of hers breaks at the tool's open:
// the open does not wait for her acknowledgement, the file counts as in use,
// and everything else is removed in every profile.
TEST_F(HazardTest, AnOplockedEntryIsPassedOverWithoutWaiting) {
  const std::wstring aliceData = Local(kAlice) + L"\\VantorelDrive", bobData = Local(kBob) + L"\\VantorelDrive";
  AddDataTree(aliceData);
  AddDataTree(bobData);
  m().files.FindNode(aliceData + L"\\logs\\sync.log")->userOplock = true;

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  EXPECT_FALSE(m().endedByBound);
  EXPECT_EQ(m().files.ListTree(aliceData),
            (std::vector<std::wstring>{aliceData + L"\\logs", aliceData + L"\\logs\\sync.log"}));
  EXPECT_EQ(m().files.FindNode(bobData), nullptr);
  EXPECT_EQ(m().OpenHandleCount(), 0u) << "the handle of the open that broke the lock is closed at once";
}

// Her desktop is the root of a drive of hers, under her oplock: the root's
// open does not wait either, and the run goes on.
TEST_F(HazardTest, ADriveRootUnderAnOplockIsPassedOverWithoutWaiting) {
  m().files.AddFile(L"E:\\" + kCurrentShortcut);
  m().files.FindNode(L"E:\\")->userOplock = true;
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, L"E:\\");

  Run(L"client-maintenance.exe --portable-remove-shortcuts");

  EXPECT_FALSE(m().endedByBound);
  EXPECT_NE(m().files.FindNode(L"E:\\" + kCurrentShortcut), nullptr) << "in use: passed over";
}

// Her Read-Handle oplocks break at no open, only at a delete, which waits
// until it is cancelled after its bound. One such wait gives up her
// profile's part of the command: the other entries she locks, in that
// folder and in her data folder, cost nothing more, and bob's profile is
// worked in.
TEST_F(HazardTest, AReadHandleOplockCostsOneBoundAndOnlyHerProfilesWork) {
  const std::wstring bobStartup = kBob + kAliceStartup.substr(kAlice.size());
  const std::wstring aliceData = Local(kAlice) + L"\\VantorelDrive", bobData = Local(kBob) + L"\\VantorelDrive";
  // The calls of the run; her data folder's work given up before it began
  // costs none.
  auto run = [&](bool herData) {
    SetUp();
    // Her profile listed once more, in another spelling: the same piece.
    sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1001.bak", L"alice", L"c:\\users\\BOB\\..\\ALICE\\");
    if (herData) AddDataTree(aliceData);
    AddDataTree(bobData);
    for (const std::wstring& startup : {kAliceStartup, bobStartup}) {
      m().files.AddFile(startup + L"\\" + kCurrentShortcut)->readHandleOplock = startup == kAliceStartup;
      m().files.AddFile(startup + L"\\ZarekTolv.lnk")->readHandleOplock = startup == kAliceStartup;
    }
    if (herData) m().files.FindNode(aliceData + L"\\logs\\sync.log")->readHandleOplock = true;
    const std::uint64_t start = m().clock.now;
    Run(L"client-maintenance.exe --uninstall VantorelDrive");
    EXPECT_EQ(m().cancelledAt.size(), 1u);
    EXPECT_EQ(m().clock.now - start, kFileCallBoundMs);
    EXPECT_EQ(m().files.FindNode(bobStartup + L"\\" + kCurrentShortcut), nullptr);
    EXPECT_EQ(m().files.FindNode(bobStartup + L"\\ZarekTolv.lnk"), nullptr);
    EXPECT_EQ(m().files.FindNode(bobData), nullptr);
    int calls = 0;
    for (const auto& [name, count] : m().calls) calls += count;
    return calls;
  };
  const int withoutHerData = run(false);
  const int withHerData = run(true);
  EXPECT_NE(m().files.FindNode(aliceData + L"\\cache\\a\\b\\c\\blob"), nullptr) << "given up with her shortcuts";
  EXPECT_EQ(withHerData, withoutHerData);
}

// An upgrade killed between the temporary file's creation and its rename
// leaves it in the folder above the Startup folder (older versions: hidden,
// in the Startup folder); the uninstall removes it with the shortcuts.
TEST_F(HazardTest, ACutUpgradesTemporaryFileIsRemovedByTheUninstall) {
  const std::wstring programs = kAliceStartup.substr(0, kAliceStartup.rfind(L'\\'));
  int leftBehind = 0;
  CutTheUpgradeAtEveryCall(sim::Cut::kKilled, [&](std::uint64_t call) {
    for (const std::wstring& path : m().files.ListTree(programs)) leftBehind += path.find(L"\\~") != std::wstring::npos;
    m().files.AddFile(kAliceStartup + L"\\~Vantorel Drive 31-0.tmp", kFileAttributeHidden);
    Run(L"client-maintenance.exe --uninstall");
    EXPECT_EQ(m().files.ListTree(programs), std::vector<std::wstring>{kAliceStartup}) << "cut before call " << call;
  });
  EXPECT_GT(leftBehind, 0) << "some cut leaves the temporary file";
}

// From session 0, in a deployment agent's job that lets its processes
// leave it: the copy for the user's session is started out of the job
// (a process in a job cannot be started in another session).
TEST_F(HazardTest, TheSessionZeroStopCopyBreaksAwayFromTheAgentsJob) {
  m().processes.Self().session = 0;
  m().users.toolInJob = true;
  m().users.jobAllowsBreakaway = true;

  Run(L"client-maintenance.exe --stop -timeout 2500");

  ASSERT_FALSE(m().users.createProcessAsUser.empty());
  EXPECT_TRUE(m().users.createProcessAsUser.back().succeeded);
  EXPECT_EQ(m().users.createProcessAsUser.back().session, 1u);
  EXPECT_NE(m().users.createProcessAsUser.back().creationFlags & kCreateBreakawayFromJob, 0u);
}

// An indexer holds the current shortcut open, sharing everything: the new
// one replaces it all the same (a POSIX rename; the plain one is refused).
TEST_F(HazardTest, ACurrentShortcutAnIndexerHoldsOpenIsReplaced) {
  AddOldShortcut(kCurrentShortcut)->scannerOpen = true;

  Run(kUpgrade);

  EXPECT_TRUE(HoldsTheNewShortcut());
  EXPECT_EQ(m().files.ListTree(kAliceStartup), std::vector<std::wstring>{kAliceStartup + L"\\" + kCurrentShortcut});
}

// A user's oplock on her current shortcut would hold the rename over it
// until she acknowledged its break: the shortcut is looked at first the way
// the rename would meet it, and left as it is, with every old name.
TEST_F(HazardTest, ACurrentShortcutUnderAnOplockIsLeftWithoutWaiting) {
  AddOldShortcut(L"ZarekTolv.lnk");
  AddOldShortcut(kCurrentShortcut)->userOplock = true;

  Run(kUpgrade);

  EXPECT_FALSE(m().endedByBound);
  EXPECT_EQ(m().files.ListTree(kAliceStartup),
            (std::vector<std::wstring>{kAliceStartup + L"\\" + kCurrentShortcut, kAliceStartup + L"\\ZarekTolv.lnk"}));
}

// While the new shortcut is written and renamed into place, no other
// program can open its temporary file (and so hold an oplock on it that
// the rename would wait for).
TEST_F(HazardTest, NobodyElseCanOpenTheTemporaryFileWhileItIsWritten) {
  AddOldShortcut(L"ZarekTolv.lnk");
  std::vector<std::wstring> written, openable;
  m().afterCall["WriteFile"] = [&] {
    // Where it is made: the folder above the Startup folder.
    for (const std::wstring& path : m().files.ListTree(kAliceStartup.substr(0, kAliceStartup.rfind(L'\\')))) {
      const sim::FsNode* node = m().files.FindNode(path);
      if (path.find(L"\\~") == std::wstring::npos) continue;
      written.push_back(path);
      if (m().files.ShareAllows(node, kFileReadData, kFileShareRead | kFileShareWrite | kFileShareDelete)) {
        openable.push_back(path);
      }
    }
  };
  Run(kUpgrade);
  m().afterCall.clear();

  EXPECT_EQ(written.size(), 1u);
  EXPECT_EQ(openable, std::vector<std::wstring>{});
  EXPECT_TRUE(HoldsTheNewShortcut());
}

// The power lost at any call of the upgrade: the Startup folder holds the
// old shortcut or the whole new one (written through before its rename),
// never a shortcut of no content; and the next run finishes.
TEST_F(HazardTest, APowerLossAtEveryCallOfTheUpgradeLeavesAWholeShortcut) {
  CutTheUpgradeAtEveryCall(sim::Cut::kPowerLost, [&](std::uint64_t call) {
    const bool old = m().files.FindNode(kAliceStartup + L"\\ZarekTolv.lnk") != nullptr;
    EXPECT_TRUE(old || HoldsTheNewShortcut()) << "power lost before call " << call;
    if (const sim::FsNode* current = m().files.FindNode(kAliceStartup + L"\\" + kCurrentShortcut)) {
      EXPECT_TRUE(current->isShortcut) << "power lost before call " << call;
    }
    Run(kUpgrade);
    EXPECT_TRUE(HoldsTheNewShortcut()) << "the run after a power loss before call " << call;
  });
}

// While the tool works in a folder, nobody can rename a folder of the chain
// it holds from the drive down: the path it names stays the one it works in.
TEST_F(HazardTest, AFolderOfTheChainCannotBeRenamedWhileHeld) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);
  std::vector<std::wstring> renamable;
  m().afterCall["SetFileInformationByHandle"] = [&] {
    for (const std::wstring& folder : {kAlice, Local(kAlice), data}) {
      const sim::FsNode* node = m().files.FindNode(folder);
      if (node != nullptr &&
          m().files.ShareAllows(node, kDelete, kFileShareRead | kFileShareWrite | kFileShareDelete)) {
        renamable.push_back(folder);
      }
    }
  };
  Run(L"client-maintenance.exe --uninstall VantorelDrive");
  m().afterCall.clear();

  EXPECT_EQ(renamable, std::vector<std::wstring>{});
  EXPECT_EQ(m().files.FindNode(data), nullptr);
}

// Bob's Desktop is a junction into a folder of someone else's, and his
// programs folder a reparse point of another filter: the chains that lead
// into them refuse them, and what lies there stays. (The junction opened as
// itself shows an empty folder, in the simulated machine as on NTFS: the
// reparse point of another kind is what the refusal is seen by.)
TEST_F(HazardTest, ALinkOrAnotherReparsePointBelowTheChainsRootIsRefused) {
  const std::wstring programs = kBob + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  m().files.AddFile(L"C:\\Shared\\Desk\\" + kCurrentShortcut);
  m().files.RemoveNode(m().files.FindNode(kBob + L"\\Desktop"));
  m().files.AddDirectoryLink(kBob + L"\\Desktop", L"C:\\Shared\\Desk", /*junction=*/true);
  m().files.RemoveNode(m().files.FindNode(programs));
  constexpr Dword kContainerIsolationTag = 0x90001018;  // a directory tag, no name surrogate
  m().files.AddPlaceholder(programs, /*directory=*/true, kContainerIsolationTag);
  m().files.AddFile(programs + L"\\Vantorel\\Zarek Tolv.lnk");

  Run(L"client-maintenance.exe --admin-remove-shortcuts");

  EXPECT_NE(m().files.FindNode(L"C:\\Shared\\Desk\\" + kCurrentShortcut), nullptr);
  EXPECT_NE(m().files.FindNode(programs + L"\\Vantorel\\Zarek Tolv.lnk"), nullptr);
}

// A folder path in the device namespace (her shell folder set to one) is
// not a folder to work in, whatever it leads to.
TEST_F(HazardTest, ADevicePathIsRefusedAsAFolder) {
  std::wstring verbatim;
  for (const wchar_t* device :
       {L"\\\\.\\C:\\Users\\Public\\Desktop", L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\Users",
        L"\\\\.\\pipe\\desktop", L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\Users",
        // no drive letter: some device of a device map
        L"\\\\?\\1:\\x", L"\\\\?\\@:\\x", L"\\\\?\\[:\\x", L"\\\\?\\`:\\x", L"\\\\?\\{:\\x"}) {
    EXPECT_FALSE(VerbatimForm(device, &verbatim)) << std::wstring(device) << " became " << verbatim;
  }
  EXPECT_TRUE(VerbatimForm(L"C:\\Users\\.\\alice", &verbatim));
  EXPECT_EQ(verbatim, L"\\\\?\\C:\\Users\\alice");
  EXPECT_TRUE(VerbatimForm(L"\\\\server\\share\\x", &verbatim));
  EXPECT_EQ(verbatim, L"\\\\?\\UNC\\server\\share\\x");
  for (const wchar_t* kept : {L"\\\\?\\C:\\Users\\alice", L"\\\\?\\A:\\x", L"\\\\?\\Z:\\x", L"\\\\?\\a:\\x",
                              L"\\\\?\\z:\\x", L"\\\\?\\UNC\\server\\share\\x"}) {
    EXPECT_TRUE(VerbatimForm(kept, &verbatim));
    EXPECT_EQ(verbatim, kept);
  }
}

// At every call of an upgrade cut short, the Startup folder holds the old
// shortcut or the whole new one, visible, and no other file of the tool's.
TEST_F(HazardTest, NothingOfTheToolsButTheWholeVisibleShortcutEverStandsInStartup) {
  CutTheUpgradeAtEveryCall(sim::Cut::kPowerLost, [&](std::uint64_t call) {
    for (const std::wstring& path : m().files.ListTree(kAliceStartup)) {
      const bool whole = path == kAliceStartup + L"\\" + kCurrentShortcut && HoldsTheNewShortcut();
      EXPECT_TRUE(whole || path == kAliceStartup + L"\\ZarekTolv.lnk") << "before call " << call << ": " << path;
      EXPECT_EQ(m().files.FindNode(path)->attributes & kFileAttributeHidden, 0u) << "before call " << call;
    }
  });
}
