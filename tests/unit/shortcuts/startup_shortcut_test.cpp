// "--admin-upgrade-startup-shortcut": the start-up shortcut upgrade.
#include <algorithm>

#include "platform/handles.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

const std::wstring kAlicePrograms = L"C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
const std::wstring kAliceStartup = kAlicePrograms + L"\\Startup";
const std::wstring kBobStartup = L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring kLauncher = L"C:\\Program Files (x86)\\Vantorel\\VantorelDrive\\bin\\launcher.exe";
const std::wstring kOldLauncher = L"C:\\Program Files (x86)\\Vantorel Zarek Tolv\\launcher.exe";

}  // namespace

class StartupShortcutTest : public TypicalMachineTest {
 protected:
  void Upgrade() { Run(L"client-maintenance.exe --admin-upgrade-startup-shortcut"); }

  void AddBob() { sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-1-2-3-1002", L"bob", L"C:\\Users\\bob"); }

  // An older shortcut, written by an earlier version.
  void AddOldShortcut(const std::wstring& folder, const std::wstring& name) {
    sim::FsNode* node = m().files.AddFile(folder + L"\\" + name, kFileAttributeArchive, "old");
    node->isShortcut = true;
    node->shortcutTarget = kOldLauncher;
  }

  // The names in a folder (and below it), sorted.
  std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const std::wstring& path : m().files.ListTree(folder)) names.push_back(path.substr(folder.size() + 1));
    return names;
  }

  void ExpectCurrentShortcut(const std::wstring& folder, const std::wstring& launcher = kLauncher) {
    const sim::FsNode* node = m().files.FindNode(folder + L"\\Vantorel Drive.lnk");
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->isShortcut);
    EXPECT_EQ(node->shortcutTarget, launcher);
    EXPECT_EQ(node->shortcutDescription, L"Vantorel Drive");
    EXPECT_EQ(node->attributes & kFileAttributeHidden, 0u) << "a hidden shortcut is not started at logon";
  }

  void ExpectEveryLinkReleased() {
    for (const sim::ShellLinkState& link : m().shell.shellLinks) {
      EXPECT_TRUE(link.released);
      EXPECT_EQ(link.persistStreamRefs, 0);
    }
    for (const sim::StreamState& stream : m().shell.streams) EXPECT_TRUE(stream.released);
    EXPECT_EQ(m().OpenHandleCount(), 0u);
  }

  // Position of the first file-system event of this kind on this path.
  std::ptrdiff_t EventIndex(sim::FsEventKind kind, const std::wstring& path) {
    auto it = std::find_if(m().files.fsEvents.begin(), m().files.fsEvents.end(),
                           [&](const sim::FsEvent& e) { return e.kind == kind && e.path == path; });
    return it == m().files.fsEvents.end() ? -1 : it - m().files.fsEvents.begin();
  }
};

TEST_F(StartupShortcutTest, TheOldestNameAloneBecomesTheCurrentShortcut) {
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  Upgrade();

  EXPECT_EQ(Names(kAliceStartup), std::vector<std::wstring>{L"Vantorel Drive.lnk"});
  ExpectCurrentShortcut(kAliceStartup);
  ASSERT_EQ(m().shell.shellLinks.size(), 1u);
  EXPECT_EQ(m().shell.shellLinks[0].path, kLauncher);
  EXPECT_EQ(m().shell.shellLinks[0].description, L"Vantorel Drive");
  ExpectEveryLinkReleased();
  EXPECT_EQ(m().calls["CoInitialize"], 1);
  EXPECT_EQ(m().runtime.stdoutText, L"");
  for (const sim::FsEvent& e : m().files.fsEvents) {
    EXPECT_EQ(e.path.rfind(kAlicePrograms + L"\\", 0), 0u) << "the other profiles are not touched";
  }
}

TEST_F(StartupShortcutTest, EveryProfileWithNamesEndsWithTheCurrentOneAloneWrittenBeforeAnyDeletion) {
  AddBob();
  for (const wchar_t* name :
       {L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk", L"Vantorel Drive.lnk"}) {
    AddOldShortcut(kAliceStartup, name);
  }
  AddOldShortcut(kBobStartup, L"Vantorel Drive.lnk");
  Upgrade();

  EXPECT_EQ(Names(kAliceStartup), std::vector<std::wstring>{L"Vantorel Drive.lnk"});
  EXPECT_EQ(Names(kBobStartup), std::vector<std::wstring>{L"Vantorel Drive.lnk"});
  ExpectCurrentShortcut(kAliceStartup);
  ExpectCurrentShortcut(kBobStartup);
  EXPECT_EQ(m().shell.shellLinks.size(), 2u);
  ExpectEveryLinkReleased();

  // The new shortcut replaced the current name in one step, before any
  // older name went.
  const auto placed = EventIndex(sim::FsEventKind::kMovedHere, kAliceStartup + L"\\Vantorel Drive.lnk");
  ASSERT_GE(placed, 0);
  EXPECT_EQ(EventIndex(sim::FsEventKind::kDeleted, kAliceStartup + L"\\Vantorel Drive.lnk"), -1);
  for (const wchar_t* name : {L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk"}) {
    EXPECT_GT(EventIndex(sim::FsEventKind::kDeleted, kAliceStartup + L"\\" + name), placed);
  }
}

TEST_F(StartupShortcutTest, FoldersWithoutAnyNameAreNotTouched) {
  // Near misses of the names, and a profile without a start-up folder.
  for (const wchar_t* name :
       {L"Vantorel Drive (2).lnk", L"Zarek Tolv.lnk", L"Vantorel Drive.lnk.bak", L"desktop.ini"}) {
    m().files.AddFile(kAliceStartup + L"\\" + name);
  }
  m().registry.SetString(std::wstring(sim::TypicalMachine::kProfileList) + L"\\S-1-5-21-1-2-3-1003",
                         L"ProfileImagePath", L"C:\\Users\\carol");
  m().files.AddDirectory(L"C:\\Users\\carol");
  Upgrade();

  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_EQ(m().calls["CreateShellLink"], 0);
  EXPECT_EQ(m().files.ListTree(L"C:\\Users\\carol").size(), 0u);

  // Beside a real name, the near misses still stay.
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  Upgrade();
  EXPECT_EQ(Names(kAliceStartup),
            (std::vector<std::wstring>{L"Vantorel Drive (2).lnk", L"Vantorel Drive.lnk", L"Vantorel Drive.lnk.bak",
                                       L"Zarek Tolv.lnk", L"desktop.ini"}));
}

TEST_F(StartupShortcutTest, LauncherFallsBackToTheNativeProgramFilesFolder) {
  m().shell.SetFolder(L"", kCsidlProgramFilesX86, L"", kEFail);
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  Upgrade();
  ExpectCurrentShortcut(kAliceStartup, L"C:\\Program Files\\Vantorel\\VantorelDrive\\bin\\launcher.exe");
}

TEST_F(StartupShortcutTest, NothingHappensWithoutTheFoldersItNeeds) {
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  m().shell.SetFolder(L"", kCsidlProgramFilesX86, L"", kEFail);
  m().shell.SetFolder(L"", kCsidlProgramFiles, L"", kSFalse);
  Upgrade();
  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_TRUE(m().registry.regOpens.empty()) << "the profile list is not even opened";

  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  m().shell.SetFolder(L"alice", kCsidlStartup, L"D:\\Redirected\\Startup");  // outside her profile
  Upgrade();
  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_TRUE(m().registry.regOpens.empty());

  m().files.AddFile(L"C:\\Users\\alice\\ZarekTolv.lnk");
  m().shell.SetFolder(L"alice", kCsidlStartup, L"C:\\Users\\alice");  // no folder above it to make the new one in
  Upgrade();
  EXPECT_EQ(m().calls["CreateShellLink"] + m().files.fsEvents.size(), 0u);
}

TEST_F(StartupShortcutTest, EveryProfileUsesTheInteractiveUsersStartupFolderOnlyAtItsDefaultPlace) {
  // Alice's start-up folder at its default place, spelled in other letters,
  // is carried to bob's profile; bob's own (redirected) one is never looked
  // up. At "\Autostart", a place no set-up gives it, it is carried nowhere.
  const std::wstring autostart = L"C:\\Users\\bob\\Autostart";
  for (const std::wstring& alices : {kAliceStartup.substr(0, 9) + sim::Fold(kAliceStartup.substr(9)),
                                     std::wstring(L"C:\\Users\\alice\\Autostart")}) {
    SetUp();
    AddBob();
    m().shell.SetFolder(L"alice", kCsidlStartup, alices);
    m().shell.SetFolder(L"bob", kCsidlStartup, L"D:\\Redirected\\bob");
    for (const std::wstring& folder : {autostart, std::wstring(L"D:\\Redirected\\bob"), kBobStartup}) {
      AddOldShortcut(folder, L"ZarekTolv.lnk");
    }
    Upgrade();

    const bool carried = alices != L"C:\\Users\\alice\\Autostart";
    EXPECT_EQ(Names(kBobStartup), std::vector<std::wstring>{carried ? L"Vantorel Drive.lnk" : L"ZarekTolv.lnk"});
    EXPECT_EQ(Names(autostart), std::vector<std::wstring>{L"ZarekTolv.lnk"});
    EXPECT_EQ(Names(L"D:\\Redirected\\bob"), std::vector<std::wstring>{L"ZarekTolv.lnk"});
  }
}

TEST_F(StartupShortcutTest, AFailureKeepsEveryOldShortcutAndLeavesNoTemporaryFile) {
  struct Case {
    const char* call;
    Dword code;
  };
  const Case cases[] = {
      {"CreateShellLink", static_cast<Dword>(kRegdbEClassNotReg)},
      {"ShellLinkSetPath", static_cast<Dword>(kEInvalidArg)},
      {"ShellLinkQueryPersistStream", static_cast<Dword>(kENoInterface)},
      {"CreateStreamOnHGlobal", static_cast<Dword>(kEOutOfMemory)},
      {"PersistStreamSave", static_cast<Dword>(HResultFromWin32(112))},  // disk full, part of it saved
      {"WriteFile", 112},
      {"NtSetInformationFile", static_cast<Dword>(kStatusSharingViolation)},
      {"", 0},  // the current shortcut is read-only: the rename over it is refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    AddOldShortcut(kAliceStartup, L"ZarekTolv.lnk");
    AddOldShortcut(kAliceStartup, L"Vantorel Drive.lnk");
    if (*c.call != '\0') m().Inject(c.call, c.code);
    if (*c.call == '\0')
      m().files.FindNode(kAliceStartup + L"\\Vantorel Drive.lnk")->attributes |= kFileAttributeReadonly;
    Upgrade();

    EXPECT_EQ(Names(kAlicePrograms),
              (std::vector<std::wstring>{L"Startup", L"Startup\\Vantorel Drive.lnk", L"Startup\\ZarekTolv.lnk"}));
    const sim::FsNode* current = m().files.FindNode(kAliceStartup + L"\\Vantorel Drive.lnk");
    const sim::FsNode* legacy = m().files.FindNode(kAliceStartup + L"\\ZarekTolv.lnk");
    ASSERT_TRUE(current != nullptr && legacy != nullptr);
    EXPECT_EQ(current->shortcutTarget, kOldLauncher);
    EXPECT_EQ(legacy->content, "old");
    ExpectEveryLinkReleased();
  }
}

TEST_F(StartupShortcutTest, AnOldNameThatCannotBeDeletedStaysBesideTheNewShortcut) {
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk", kFileAttributeReadonly);
  m().files.AddFile(kAliceStartup + L"\\Vantorel Zarek Tolv.lnk")->inUse = true;
  m().files.AddFile(kAliceStartup + L"\\Vantorel Zarek Tolv Drive.lnk");
  Upgrade();
  EXPECT_EQ(Names(kAliceStartup),
            (std::vector<std::wstring>{L"Vantorel Drive.lnk", L"Vantorel Zarek Tolv.lnk", L"ZarekTolv.lnk"}));
  ExpectCurrentShortcut(kAliceStartup);
}

TEST_F(StartupShortcutTest, TheTemporaryFileTakesAFreeNameAboveTheStartupFolder) {
  // The first temporary name is taken: above, by a folder; in the start-up
  // folder, by a visible file. Neither is a leftover of the tool's.
  const std::wstring taken = kAliceStartup + L"\\~Vantorel Drive 4000-0.tmp";
  m().files.AddFile(taken, 0, "the user's");
  m().files.AddDirectory(kAlicePrograms + L"\\~Vantorel Drive 4000-0.tmp");
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  Upgrade();
  ASSERT_GE(EventIndex(sim::FsEventKind::kCreated, kAlicePrograms + L"\\~Vantorel Drive 4000-1.tmp"), 0);
  ASSERT_EQ(Names(kAlicePrograms),
            (std::vector<std::wstring>{L"Startup", L"Startup\\Vantorel Drive.lnk",
                                       L"Startup\\~Vantorel Drive 4000-0.tmp", L"~Vantorel Drive 4000-0.tmp"}));
  EXPECT_EQ(m().files.FindNode(taken)->content, "the user's");
  ExpectCurrentShortcut(kAliceStartup);

  // Neither moved into place nor deleted: it stays above, never in the
  // start-up folder; the old shortcut stays too. The next upgrade removes it.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().files.AddFile(kAliceStartup + L"\\ZarekTolv.lnk");
  m().Inject("NtSetInformationFile", static_cast<Dword>(kStatusSharingViolation));
  m().Inject("SetFileInformationByHandle", kErrorSharingViolation);
  Upgrade();
  EXPECT_EQ(Names(kAlicePrograms),
            (std::vector<std::wstring>{L"Startup", L"Startup\\ZarekTolv.lnk", L"~Vantorel Drive 4000-0.tmp"}));
  m().injections.clear();
  Upgrade();
  EXPECT_EQ(Names(kAlicePrograms), (std::vector<std::wstring>{L"Startup", L"Startup\\Vantorel Drive.lnk"}));
}

// A hidden temporary file that an older version's run cut short left is
// removed by the next upgrade, also while another program holds the folder open for writing,
// sharing everything.
TEST_F(StartupShortcutTest, ALeftoverTemporaryFileGoesWhileAnotherProgramHoldsTheFolder) {
  AddOldShortcut(kAliceStartup, L"ZarekTolv.lnk");
  m().files.AddFile(kAliceStartup + L"\\~Vantorel Drive 77-0.tmp", kFileAttributeHidden | kFileAttributeArchive,
                    "half");
  m().files.adversaryActing = true;
  const UniqueFileHandle held(CreateFileW(kAliceStartup.c_str(), kFileWriteData | kFileListDirectory | kSynchronize,
                                          kFileShareRead | kFileShareWrite | kFileShareDelete, kOpenExisting,
                                          kFileFlagBackupSemantics));
  m().files.adversaryActing = false;
  ASSERT_TRUE(held);

  Upgrade();

  EXPECT_EQ(Names(kAliceStartup), std::vector<std::wstring>{L"Vantorel Drive.lnk"});
}
