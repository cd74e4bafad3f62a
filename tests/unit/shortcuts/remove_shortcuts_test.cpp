// The shortcut name catalogue and the two shortcut removal commands.
#include <algorithm>

#include "process/interactive_user.h"
#include "shortcuts/remove_shortcuts.h"
#include "shortcuts/shortcut_names.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

using Paths = std::vector<std::wstring>;

const std::wstring kList = sim::TypicalMachine::kProfileList;
const std::wstring kAlice = L"C:\\Users\\alice";
const std::wstring kBob = L"D:\\Profiles\\bob";
const std::wstring kSystemProfile = L"C:\\Windows\\system32\\config\\systemprofile";
const std::wstring kCommonPrograms = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::wstring kCommonDesktop = L"C:\\Users\\Public\\Desktop";

// Written out here rather than taken from the catalogue, so that a wrong
// name in the catalogue shows as a shortcut left behind.
const Paths kLegacyStartMenu = {L"Vantorel\\Vantorel Zarek Tolv Drive.lnk", L"Vantorel\\Zarek Tolv.lnk",
                                L"Vantorel\\Vantorel Zarek Tolv.lnk", L"Vantorel\\Uninstall Vantorel Zarek Tolv.lnk",
                                L"Vantorel\\Uninstall Vantorel Zarek Tolv Drive.lnk"};
const Paths kCurrentStartMenu = {L"Vantorel\\Vantorel Drive.lnk", L"Vantorel\\Uninstall Vantorel Drive.lnk"};
const Paths kLegacyDesktop = {L"Zarek Tolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk"};
const Paths kCurrentDesktop = {L"Vantorel Drive.lnk"};

Paths Join(Paths a, const Paths& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The catalogue holds start-menu names as they are inside the program group
// folder: the start-menu paths above without "Vantorel\".
Paths InsideGroup(const Paths& paths) {
  Paths names;
  for (const auto& path : paths) names.push_back(path.substr(std::wstring(L"Vantorel\\").size()));
  return names;
}

std::wstring Programs(const std::wstring& profile) {
  return profile + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
}
std::wstring Desktop(const std::wstring& profile) { return profile + L"\\Desktop"; }

void AddFiles(const std::wstring& folder, const Paths& names) {
  for (const auto& name : names) sim::machine().files.AddFile(folder + L"\\" + name);
}

// Every name the client has used, in a profile's start menu and desktop.
void AddEveryShortcut(const std::wstring& profile) {
  AddFiles(Programs(profile), Join(kLegacyStartMenu, kCurrentStartMenu));
  AddFiles(Desktop(profile), Join(kLegacyDesktop, kCurrentDesktop));
}

// The tree below a profile as it is after a fresh AddProfile: nothing of the client's.
Paths EmptyProfile(const std::wstring& p) {
  Paths tree = {p + L"\\AppData",
                p + L"\\AppData\\Local",
                p + L"\\AppData\\Roaming",
                p + L"\\AppData\\Roaming\\Microsoft",
                p + L"\\AppData\\Roaming\\Microsoft\\Windows",
                p + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
                Programs(p),
                Programs(p) + L"\\Startup",
                Desktop(p)};
  return tree;
}

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end(),
            [](const std::wstring& a, const std::wstring& b) { return sim::Fold(a) < sim::Fold(b); });
  return paths;
}

Paths Tree(const std::wstring& root) { return Sorted(sim::machine().files.ListTree(root)); }

std::wstring AllUsersDesktopLines() {
  std::wstring out;
  for (const auto& name : kLegacyDesktop) out += kCommonDesktop + L"\\" + name + L"\n";
  return out;
}

}  // namespace

TEST(ShortcutNameCatalogue, ListsHoldEveryNameInItsOrder) {
  EXPECT_EQ(LegacyStartMenuShortcutNames(), InsideGroup(kLegacyStartMenu));
  EXPECT_EQ(StartMenuShortcutNames(), InsideGroup(Join(kLegacyStartMenu, kCurrentStartMenu)));
  EXPECT_EQ(LegacyDesktopShortcutNames(), kLegacyDesktop);
  EXPECT_EQ(DesktopShortcutNames(), Join(kLegacyDesktop, kCurrentDesktop));
  // The first start-up name is one word, unlike the first desktop name.
  EXPECT_EQ(LegacyStartupShortcutNames(),
            (Paths{L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk"}));
  EXPECT_EQ(StartupShortcutNames(), (Paths{L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk",
                                           L"Vantorel Zarek Tolv Drive.lnk", L"Vantorel Drive.lnk"}));
}

class RemoveShortcutsTest : public TypicalMachineTest {
 protected:
  void SetUp() override {
    TypicalMachineTest::SetUp();
    sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1002", L"bob", kBob, kRegSz);
  }
};

// ---------------- RemoveShortcutsFromFolders ----------------

TEST_F(RemoveShortcutsTest, FoldersAreClearedInListOrderWithoutExistenceTests) {
  AddEveryShortcut(kAlice);
  RemoveShortcutsFromFolders({kAlice, Programs(L"")}, {kAlice, L"\\Desktop"});

  std::vector<std::wstring> events;
  for (const auto& e : m().files.fsEvents) {
    events.push_back((e.kind == sim::FsEventKind::kDeleted ? L"del " : L"rmdir ") + e.path);
  }
  Paths expected;
  for (const auto& n : Join(kLegacyStartMenu, kCurrentStartMenu))
    expected.push_back(L"del " + Programs(kAlice) + L"\\" + n);
  expected.push_back(L"rmdir " + Programs(kAlice) + L"\\Vantorel");
  for (const auto& n : Join(kLegacyDesktop, kCurrentDesktop)) expected.push_back(L"del " + Desktop(kAlice) + L"\\" + n);
  EXPECT_EQ(events, expected);
  EXPECT_EQ(Tree(kAlice), Sorted(EmptyProfile(kAlice)));
  EXPECT_EQ(m().OpenHandleCount(), 0u);

  // Nothing there: nothing changes, and no folder is listed to find out.
  m().files.fsEvents.clear();
  m().files.AddFile(Programs(kBob) + L"\\Vantorel\\Other.lnk");
  RemoveShortcutsFromFolders({Programs(kBob), L""}, {L"D:\\No\\Such\\Desktop", L""});
  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_EQ(Tree(Programs(kBob) + L"\\Vantorel").size(), 1u);
  EXPECT_EQ(m().runtime.stdoutText, L"");
}

// Links anywhere on the way to the names: what they point at stays, even a
// junction to the object manager whose symbolic links name any file.
TEST_F(RemoveShortcutsTest, ALinkOnTheWayLeavesWhatItPointsAt) {
  const std::wstring victims = L"C:\\Victims";
  const std::wstring appData = kAlice + L"\\AppData";
  for (const std::wstring& place : {Programs(kAlice), Programs(kAlice) + L"\\Vantorel", Desktop(kAlice), appData}) {
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(sim::Fold(place) + L" " + std::to_wstring(kind));
      sim::Reset();
      sim::TypicalMachine::Build(m());
      AddFiles(victims, Join(Join(kLegacyDesktop, kCurrentDesktop), Join(kLegacyStartMenu, kCurrentStartMenu)));
      for (const auto& n : Join(kLegacyDesktop, kCurrentDesktop)) {
        m().files.AddObjectLink(L"\\RPC Control\\" + n, L"C:\\Windows\\explorer.exe");
      }
      m().files.AddObjectLink(L"\\RPC Control\\Vantorel", victims);
      if (kind == 2) {
        m().files.AddObjectDirectoryJunction(place, L"\\RPC Control");
      } else {
        m().files.AddDirectoryLink(place, victims, /*junction=*/kind == 0);
      }
      const Paths before = Tree(L"C:\\");

      Run(L"tool.exe --portable-remove-shortcuts");
      Run(L"tool.exe --admin-remove-shortcuts");

      // Only the link itself may go, in the program group folder's place.
      for (const auto& e : m().files.fsEvents) EXPECT_EQ(sim::Fold(e.path), sim::Fold(place));
      EXPECT_EQ(Tree(victims).size(), 12u);
      EXPECT_TRUE(m().files.Exists(L"C:\\Windows\\explorer.exe"));
      EXPECT_EQ(m().OpenHandleCount(), 0u);
    }
  }
}

// ---------------- "--admin-remove-shortcuts" ----------------

// Her programs folder lies inside her profile by its path, but her AppData
// is a junction into a tree laid out the same way: reached from the profile
// folder down, the junction is refused, not followed.
TEST_F(RemoveShortcutsTest, PortableReachesAFolderInsideTheProfileFromTheProfileDown) {
  const std::wstring victims = L"C:\\Victims";
  const std::wstring below = Programs(kAlice).substr(kAlice.size());  // "\AppData\Roaming\...\Programs"
  AddFiles(victims + below, Join(kLegacyStartMenu, kCurrentStartMenu));
  m().files.RemoveNode(m().files.FindNode(kAlice + L"\\AppData"));
  m().files.AddDirectoryLink(kAlice + L"\\AppData", victims + L"\\AppData", /*junction=*/true);
  const Paths before = Tree(victims);

  Run(L"tool.exe --portable-remove-shortcuts");

  EXPECT_EQ(Tree(victims), before);
}

TEST_F(RemoveShortcutsTest, AdminClearsEveryProfileAndKeepsUnrelatedFiles) {
  AddEveryShortcut(kAlice);
  AddEveryShortcut(kBob);
  AddEveryShortcut(kSystemProfile);  // a system account's profile is visited like any other
  m().files.AddFile(Programs(kAlice) + L"\\Other App.lnk");
  m().files.AddFile(Desktop(kAlice) + L"\\notes.txt");
  m().files.AddFile(Desktop(kAlice) + L"\\Vantorel Drive (2).lnk");
  m().files.AddFile(Programs(kAlice) + L"\\Startup\\Vantorel Drive.lnk");  // start-up shortcuts are another command's

  Run(L"tool.exe --admin-remove-shortcuts");

  EXPECT_EQ(Tree(kAlice),
            Sorted(Join(EmptyProfile(kAlice), {Programs(kAlice) + L"\\Other App.lnk", Desktop(kAlice) + L"\\notes.txt",
                                               Desktop(kAlice) + L"\\Vantorel Drive (2).lnk",
                                               Programs(kAlice) + L"\\Startup\\Vantorel Drive.lnk"})));
  EXPECT_EQ(Tree(kBob), Sorted(EmptyProfile(kBob)));
  EXPECT_EQ(Tree(kSystemProfile), Sorted(EmptyProfile(kSystemProfile)));
  EXPECT_EQ(m().runtime.stdoutText, AllUsersDesktopLines());
  for (const auto& open : m().registry.regOpens) EXPECT_EQ(open.second, 0x20119u);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

// OneDrive's folder backup: the desktop inside a sync root, every folder and
// file there a cloud placeholder. Either command clears it; a folder with
// another reparse point that names nothing stays closed.
TEST_F(RemoveShortcutsTest, DesktopsInACloudSyncRootAreCleared) {
  const std::wstring below = L"\\OneDrive - Vantor Corp\\Desktop";
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, kAlice + below);
  for (const std::wstring& desktop : {kAlice + below, kBob + below}) {
    for (const auto& name : Join(kLegacyDesktop, kCurrentDesktop))
      m().files.AddPlaceholder(desktop + L"\\" + name, false);
    m().files.AddPlaceholder(desktop, true)->reparseTag = kIoReparseTagCloud | 0x3000;
    m().files.AddPlaceholder(desktop.substr(0, desktop.rfind(L'\\')), true);
  }
  m().files.FindNode(kBob + L"\\OneDrive - Vantor Corp")->reparseTag = 0x80000021;  // not a provider's

  Run(L"tool.exe --admin-remove-shortcuts");
  EXPECT_TRUE(Tree(kAlice + below).empty());
  EXPECT_EQ(Tree(kBob + below).size(), 4u);
  AddFiles(kAlice + below, kCurrentDesktop);
  Run(L"tool.exe --portable-remove-shortcuts");
  EXPECT_TRUE(Tree(kAlice + below).empty());
}

TEST_F(RemoveShortcutsTest, ProgramGroupFolderGoesOnlyWhenEmptied) {
  const std::wstring carol = L"C:\\Users\\carol";
  const std::wstring dave = L"C:\\Users\\dave";
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1003", L"carol", L"%SystemDrive%\\Users\\carol");
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1004", L"dave", dave);
  AddEveryShortcut(kAlice);
  AddEveryShortcut(kBob);
  AddEveryShortcut(carol);
  m().files.AddFile(Programs(kAlice) + L"\\Vantorel\\desktop.ini", kFileAttributeHidden | kFileAttributeSystem);
  m().files.AddDirectory(Programs(kBob) + L"\\Vantorel\\Tools");
  m().files.FindNode(Programs(carol) + L"\\Vantorel\\Vantorel Drive.lnk")->attributes = kFileAttributeReadonly;

  Run(L"tool.exe --admin-remove-shortcuts");

  EXPECT_EQ(Tree(kAlice), Sorted(Join(EmptyProfile(kAlice), {Programs(kAlice) + L"\\Vantorel",
                                                             Programs(kAlice) + L"\\Vantorel\\desktop.ini"})));
  EXPECT_EQ(Tree(kBob),
            Sorted(Join(EmptyProfile(kBob), {Programs(kBob) + L"\\Vantorel", Programs(kBob) + L"\\Vantorel\\Tools"})));
  // A shortcut that cannot be deleted keeps its folder; the rest goes on.
  EXPECT_EQ(Tree(carol), Sorted(Join(EmptyProfile(carol), {Programs(carol) + L"\\Vantorel",
                                                           Programs(carol) + L"\\Vantorel\\Vantorel Drive.lnk"})));
  EXPECT_EQ(Tree(dave), Sorted(EmptyProfile(dave)));
}

TEST_F(RemoveShortcutsTest, UnreadableProfilesAreSkippedNotResolvedAgainstTheDriveRoot) {
  m().registry.Key(kList + L"\\S-1-5-21-9-9-9-1005");  // no ProfileImagePath
  m().registry.SetString(kList + L"\\S-1-5-21-9-9-9-1006", L"ProfileImagePath", L"", kRegExpandSz);
  // What a profile-relative path alone would name on the current drive.
  AddEveryShortcut(L"C:");
  const Paths driveRoot = Tree(L"C:\\AppData");
  AddEveryShortcut(kBob);  // the walk goes on after them

  Run(L"tool.exe --admin-remove-shortcuts");

  EXPECT_EQ(Tree(L"C:\\AppData"), driveRoot);
  EXPECT_EQ(Tree(L"C:\\Desktop").size(), 4u);
  EXPECT_EQ(Tree(kBob), Sorted(EmptyProfile(kBob)));
  EXPECT_EQ(m().runtime.stdoutText, L"Failed to get value for sub key '" + kList + L"\\S-1-5-21-9-9-9-1005', res: 2\n" +
                                        AllUsersDesktopLines());
}

TEST_F(RemoveShortcutsTest, AFolderOutsideTheInteractiveProfileStopsEveryProfileButNotTheAllUsersStep) {
  for (int folder : {kCsidlPrograms, kCsidlDesktopDirectory}) {
    SCOPED_TRACE(folder);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1002", L"bob", kBob, kRegSz);
    const std::wstring redirected = L"D:\\Redirected\\alice\\" + std::to_wstring(folder);
    m().shell.SetFolder(L"alice", folder, redirected);
    AddEveryShortcut(kAlice);
    AddEveryShortcut(kBob);
    AddFiles(redirected, Join(kLegacyDesktop, kCurrentDesktop));
    AddFiles(kCommonDesktop, kLegacyDesktop);

    Run(L"tool.exe --admin-remove-shortcuts");

    for (const auto& e : m().files.fsEvents) {
      EXPECT_EQ(e.path.rfind(kCommonDesktop, 0), 0u) << "only the all-users desktop loses files";
    }
    EXPECT_EQ(m().files.fsEvents.size(), 3u);
    EXPECT_EQ(m().calls["RegOpenKeyExW"], 0) << "the profile list is not even opened";
    EXPECT_EQ(m().runtime.stdoutText, AllUsersDesktopLines());
  }
}

// ---------------- the all-users step ----------------

TEST_F(RemoveShortcutsTest, AllUsersFoldersLoseOnlyTheLegacyNames) {
  AddFiles(kCommonPrograms, Join(kLegacyStartMenu, kCurrentStartMenu));
  AddFiles(kCommonDesktop, Join(kLegacyDesktop, kCurrentDesktop));
  m().files.AddFile(kCommonDesktop + L"\\readme.txt");
  // Each path is written while its file is still there.
  Paths presentWhenWritten;
  m().afterCall["WriteStdout"] = [&] {
    std::wstring text = m().runtime.stdoutText;
    text.pop_back();
    const std::wstring line = text.substr(text.rfind(L'\n') == std::wstring::npos ? 0 : text.rfind(L'\n') + 1);
    if (m().files.Exists(line)) presentWhenWritten.push_back(line);
  };

  Run(L"tool.exe --admin-remove-shortcuts");

  EXPECT_EQ(Tree(kCommonPrograms),
            Sorted({kCommonPrograms + L"\\Vantorel", kCommonPrograms + L"\\Vantorel\\Vantorel Drive.lnk",
                    kCommonPrograms + L"\\Vantorel\\Uninstall Vantorel Drive.lnk"}));
  EXPECT_EQ(Tree(kCommonDesktop), Sorted({kCommonDesktop + L"\\Vantorel Drive.lnk", kCommonDesktop + L"\\readme.txt"}));
  EXPECT_EQ(m().runtime.stdoutText, AllUsersDesktopLines());
  EXPECT_EQ(presentWhenWritten.size(), 3u);

  // With only legacy names left in it, the program group folder goes; the
  // lines are written also when there is nothing to delete.
  m().afterCall.clear();
  AddFiles(kCommonPrograms, kLegacyStartMenu);
  for (const auto& name : kCurrentStartMenu) m().files.RemoveNode(m().files.FindNode(kCommonPrograms + L"\\" + name));
  m().runtime.stdoutText.clear();
  Run(L"tool.exe --admin-remove-shortcuts");
  EXPECT_TRUE(Tree(kCommonPrograms).empty());
  EXPECT_EQ(m().runtime.stdoutText, AllUsersDesktopLines());
}

TEST_F(RemoveShortcutsTest, AnAllUsersFolderThatCannotBeResolvedStopsTheWholeStep) {
  struct Case {
    int csidl;
    HResult result;
  } cases[] = {{kCsidlCommonDesktopDirectory, kSFalse}, {kCsidlCommonPrograms, kEFail}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.csidl);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().shell.SetFolder(L"", c.csidl, c.csidl == kCsidlCommonPrograms ? kCommonPrograms : kCommonDesktop, c.result);
    AddFiles(kCommonPrograms, kLegacyStartMenu);
    AddFiles(kCommonDesktop, kLegacyDesktop);
    AddEveryShortcut(kAlice);

    Run(L"tool.exe --admin-remove-shortcuts");

    EXPECT_EQ(Tree(kCommonPrograms).size(), 6u) << "no start-menu deletion before the desktop look-up";
    EXPECT_EQ(Tree(kCommonDesktop).size(), 3u);
    EXPECT_EQ(m().runtime.stdoutText, L"");
    EXPECT_EQ(Tree(kAlice), Sorted(EmptyProfile(kAlice))) << "the per-profile step ran first";
  }
}

// ---------------- "--portable-remove-shortcuts" ----------------

TEST_F(RemoveShortcutsTest, PortableTouchesOnlyTheInteractiveUser) {
  AddEveryShortcut(kAlice);
  AddEveryShortcut(kBob);
  AddEveryShortcut(kSystemProfile);
  AddFiles(kCommonPrograms, Join(kLegacyStartMenu, kCurrentStartMenu));
  AddFiles(kCommonDesktop, Join(kLegacyDesktop, kCurrentDesktop));
  const Paths bob = Tree(kBob), system = Tree(kSystemProfile), commonPrograms = Tree(kCommonPrograms),
              commonDesktop = Tree(kCommonDesktop);

  Run(L"tool.exe --portable-remove-shortcuts");

  EXPECT_EQ(Tree(kAlice), Sorted(EmptyProfile(kAlice)));
  EXPECT_EQ(Tree(kBob), bob);
  EXPECT_EQ(Tree(kSystemProfile), system);
  EXPECT_EQ(Tree(kCommonPrograms), commonPrograms);
  EXPECT_EQ(Tree(kCommonDesktop), commonDesktop);
  EXPECT_EQ(m().runtime.stdoutText, L"");
  EXPECT_EQ(m().calls["RegOpenKeyExW"], 0);
  for (const auto& lookup : m().shell.folderLookups) EXPECT_EQ(lookup.account, L"alice");
}

// Her folders are hers to set. The tool, as SYSTEM here, works in them as
// her: her desktop set to the Public one, or to bob's through "..", costs
// nobody a shortcut she could not delete herself; her own program group
// still goes. Her thread token is gone at the end. When her shell's token
// cannot be taken onto the thread (it refuses duplication), nothing is done.
TEST_F(RemoveShortcutsTest, PortableRunAsAnotherAccountDeletesOnlyWhatSheMayDelete) {
  for (const std::wstring& desktop : {kCommonDesktop, kAlice + L"\\..\\bob\\Desktop"}) {
    SCOPED_TRACE(desktop);
    for (const bool refusesDuplication : {false, true}) {
      sim::Reset();
      sim::TypicalMachine::Build(m());
      m().files.AddDirectory(L"C:\\Users\\bob\\Desktop")->owner = L"bob";
      m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, desktop);
      if (refusesDuplication) {
        m().processes.FindProcess(m().processes.RunningPids(L"explorer.exe").at(0))->tokenDeniedAccess =
            kTokenDuplicate;
      }
      const std::size_t none = Tree(Programs(kAlice)).size();
      AddFiles(Programs(kAlice), Join(kLegacyStartMenu, kCurrentStartMenu));
      AddFiles(kCommonDesktop, Join(kLegacyDesktop, kCurrentDesktop));
      AddFiles(L"C:\\Users\\bob\\Desktop", Join(kLegacyDesktop, kCurrentDesktop));
      const Paths common = Tree(kCommonDesktop), bobs = Tree(L"C:\\Users\\bob\\Desktop");
      const std::size_t hers = Tree(Programs(kAlice)).size();

      Run(L"tool.exe --portable-remove-shortcuts");

      EXPECT_EQ(Tree(kCommonDesktop), common);
      EXPECT_EQ(Tree(L"C:\\Users\\bob\\Desktop"), bobs);
      EXPECT_EQ(Tree(Programs(kAlice)).size(), refusesDuplication ? hers : none);
      EXPECT_EQ(m().users.actingAs, L"");
    }
  }
  // Run by her (elevated), it works with the tool's own rights, as ever.
  sim::Reset();
  sim::TypicalMachine::Build(m());
  m().processes.Self().user = L"alice";
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, kCommonDesktop);
  AddFiles(kCommonDesktop, kCurrentDesktop);
  Run(L"tool.exe --portable-remove-shortcuts");
  EXPECT_TRUE(Tree(kCommonDesktop).empty());
  EXPECT_EQ(m().calls["ImpersonateLoggedOnUser"], 0);
}

TEST_F(RemoveShortcutsTest, PortableClearsRedirectedFolders) {
  const std::wstring programs = L"D:\\Redirected\\alice\\Programs";
  const std::wstring desktop = L"\\\\fileserver\\desktop-alice$";  // a share of its own: its root
  m().shell.SetFolder(L"alice", kCsidlPrograms, programs);
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, desktop);
  AddFiles(programs, Join(kLegacyStartMenu, kCurrentStartMenu));
  AddFiles(desktop, Join(kLegacyDesktop, kCurrentDesktop));
  AddEveryShortcut(kAlice);                                        // the profile's own folders are not hers any more
  m().files.FindNode(L"D:\\Redirected\\alice")->owner = L"alice";  // folder redirection makes them hers
  m().files.FindNode(desktop)->owner = L"alice";

  Run(L"tool.exe --portable-remove-shortcuts");

  EXPECT_TRUE(Tree(programs).empty());
  EXPECT_TRUE(Tree(desktop).empty());
  EXPECT_EQ(Tree(kAlice).size(), EmptyProfile(kAlice).size() + 1 + 7 + 4);
}

TEST_F(RemoveShortcutsTest, PortableDoesNothingWhenEitherFolderCannotBeResolved) {
  for (int csidl : {kCsidlDesktopDirectory, kCsidlPrograms}) {
    SCOPED_TRACE(csidl);
    sim::Reset();
    sim::TypicalMachine::Build(m());
    m().shell.SetFolder(L"alice", csidl, csidl == kCsidlPrograms ? Programs(kAlice) : Desktop(kAlice), kSFalse);
    AddEveryShortcut(kAlice);

    Run(L"tool.exe --portable-remove-shortcuts");

    EXPECT_EQ(m().calls["CreateFileW"] + m().calls["NtCreateFile"], 0) << "nothing is even opened";
    EXPECT_EQ(Tree(kAlice).size(), EmptyProfile(kAlice).size() + 1 + 7 + 4);
  }
}

TEST_F(RemoveShortcutsTest, WithoutATokenTheToolsOwnAccountsFoldersAreUsed) {
  for (auto& p : m().processes.list) {
    if (p.exeName == L"explorer.exe") p.tokenDeniedAccess = kTokenQuery;
  }
  AddEveryShortcut(kAlice);
  AddEveryShortcut(kSystemProfile);
  const Paths alice = Tree(kAlice);

  Run(L"tool.exe --portable-remove-shortcuts");
  EXPECT_EQ(Tree(kSystemProfile), Sorted(EmptyProfile(kSystemProfile)));
  EXPECT_EQ(Tree(kAlice), alice);

  // The system profile's layout is the same, so every profile is cleared.
  AddEveryShortcut(kBob);
  Run(L"tool.exe --admin-remove-shortcuts");
  EXPECT_EQ(Tree(kAlice), Sorted(EmptyProfile(kAlice)));
  EXPECT_EQ(Tree(kBob), Sorted(EmptyProfile(kBob)));
  for (const auto& lookup : m().shell.folderLookups) EXPECT_FALSE(lookup.tokenPassed);
}
