// "--uninstall NAME": the start-up shortcuts and the data folder of every
// profile, the folder-name rules, and the tree removal's handling of links.
#include "cleanup/uninstall.h"

#include "data_tree_fixture.h"
#include "files/folder_tree.h"

namespace {

const std::wstring kStartupBelowProfile = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const wchar_t* const kStartupNames[] = {L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk",
                                        L"Vantorel Drive.lnk"};

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

}  // namespace

TEST_F(UninstallTest, RemovesTheDataTreeInEveryProfileAndNothingElse) {
  for (const auto& profile : {kAlice, kBob, kSystem}) AddDataTree(Local(profile) + L"\\VantorelDrive");
  m().files.AddFile(Local(kAlice) + L"\\VantorelDrive.txt");
  m().files.AddFile(Local(kAlice) + L"\\VantorelDrive2\\keep");
  m().files.AddFile(Local(kBob) + L"\\Other\\keep");
  const auto before = m().files.ListTree(L"C:\\"), beforeD = m().files.ListTree(L"D:\\");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  const std::vector<std::wstring> data = {Local(kAlice) + L"\\VantorelDrive", Local(kBob) + L"\\VantorelDrive",
                                          Local(kSystem) + L"\\VantorelDrive"};
  EXPECT_EQ(m().files.ListTree(L"C:\\"), Outside(before, data));
  EXPECT_EQ(m().files.ListTree(L"D:\\"), Outside(beforeD, data));
  // Profiles without the folder (the two service profiles) saw no change.
  EXPECT_EQ(Outside(Touched(), data), std::vector<std::wstring>{});
  EXPECT_EQ(m().runtime.stdoutText, L"");
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(UninstallTest, TwoComponentNameRemovesOnlyTheInnermostFolder) {
  AddDataTree(Local(kAlice) + L"\\Vantorel\\Drive");
  m().files.AddFile(Local(kAlice) + L"\\Vantorel\\Other\\keep");
  m().files.AddDirectory(Local(kBob) + L"\\Vantorel\\Drive\\x");

  Run(L"client-maintenance.exe --uninstall Vantorel\\Drive");

  EXPECT_EQ(
      m().files.ListTree(Local(kAlice) + L"\\Vantorel"),
      (std::vector<std::wstring>{Local(kAlice) + L"\\Vantorel\\Other", Local(kAlice) + L"\\Vantorel\\Other\\keep"}));
  EXPECT_TRUE(m().files.Exists(Local(kBob) + L"\\Vantorel"));
  EXPECT_FALSE(m().files.Exists(Local(kBob) + L"\\Vantorel\\Drive"));
}

// ---------------- links ----------------

class UninstallLinkTest : public UninstallTest {
 protected:
  void SetUp() override {
    UninstallTest::SetUp();
    // What a user might point a link at: another user's data, the system.
    m().files.AddFile(kBob + L"\\Documents\\thesis.docx");
    m().files.AddFile(kBob + L"\\Documents\\drafts\\v1.docx");
    m().files.AddFile(L"C:\\Windows\\system32\\kernel32.dll", kFileAttributeSystem);
    m().files.AddFile(L"C:\\Windows\\system32\\drivers\\etc\\hosts");
    m().files.AddFile(L"C:\\Windows\\win.ini");
    m().files.AddFile(L"C:\\Windows\\winsxs\\x\\y.dll");
  }
};

TEST_F(UninstallLinkTest, LinksInsideTheDataFolderGoAsLinksAndTheirTargetsStay) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);
  m().files.AddDirectoryLink(data + L"\\docs", kBob + L"\\Documents", /*junction=*/true);
  m().files.AddDirectoryLink(data + L"\\cache\\a\\sys", L"C:\\Windows\\system32", /*junction=*/false);
  m().files.AddFileLink(data + L"\\logs\\win.ini", L"C:\\Windows\\win.ini");
  // Reparse points that are no links (a cloud placeholder folder, and one
  // whose tag says nothing): neither entered nor removed, so they and the
  // data folder stay.
  m().files.AddDirectoryLink(data + L"\\other", L"C:\\Windows\\winsxs")->reparseTag = 0;
  m().files.AddPlaceholder(data + L"\\cloud", /*directory=*/true);
  m().files.AddFile(data + L"\\cloud\\in the cloud");
  const auto before = m().files.ListTree(L"C:\\"), beforeD = m().files.ListTree(L"D:\\");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  const std::vector<std::wstring> kept = {data, data + L"\\cloud", data + L"\\cloud\\in the cloud", data + L"\\other"};
  std::vector<std::wstring> after = m().files.ListTree(L"C:\\");
  EXPECT_EQ(Outside(after, kept), Outside(before, {data}));
  EXPECT_EQ(m().files.ListTree(data),
            (std::vector<std::wstring>{data + L"\\cloud", data + L"\\cloud\\in the cloud", data + L"\\other"}));
  EXPECT_EQ(m().files.ListTree(L"D:\\"), beforeD);
  EXPECT_EQ(Outside(Touched(), {data}), std::vector<std::wstring>{});
}

TEST_F(UninstallLinkTest, AProfilePathWindowsTidiesStillNeverLeadsThroughALink) {
  // Profile paths as the registry may hold them: a trailing backslash, a ".."
  // on the way, a trailing dot. Windows reads each as a plain folder, but an
  // entry name appended to such a path is read the same way: "sys." would
  // open as the link "sys" beside it, which the tool cannot remove.
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1003", L"carol", L"C:\\Users\\carol");
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1004", L"dave", L"C:\\Users\\dave");
  const std::wstring kList = sim::TypicalMachine::kProfileList;
  m().registry.SetString(kList + L"\\S-1-5-21-9-9-9-1002", L"ProfileImagePath", kBob + L"\\");
  m().registry.SetString(kList + L"\\S-1-5-21-9-9-9-1003", L"ProfileImagePath", L"C:\\Users\\x\\..\\carol");
  m().registry.SetString(kList + L"\\S-1-5-21-9-9-9-1004", L"ProfileImagePath", L"C:\\Users\\dave.");
  std::vector<std::wstring> data;
  for (const auto& profile : {kBob, std::wstring(L"C:\\Users\\carol"), std::wstring(L"C:\\Users\\dave")}) {
    data.push_back(Local(profile) + L"\\VantorelDrive");
    m().files.AddDirectoryLink(data.back() + L"\\sys", L"C:\\Windows\\system32", /*junction=*/true)->denyDelete = true;
    m().files.AddFile(L"\\\\?\\" + data.back() + L"\\sys.\\mine");
    m().files.AddFile(L"\\\\?\\" + data.back() + L"\\notes.");
  }
  m().files.AddFile(L"C:\\Windows\\system32\\notes");
  const auto before = m().files.ListTree(L"C:\\"), beforeD = m().files.ListTree(L"D:\\");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  for (const auto& folder : data) EXPECT_EQ(m().files.ListTree(folder), std::vector<std::wstring>{folder + L"\\sys"});
  std::vector<std::wstring> gone;
  for (const auto& folder : data) {
    gone.push_back(folder + L"\\sys.");
    gone.push_back(folder + L"\\notes.");
  }
  EXPECT_EQ(Outside(Touched(), gone), std::vector<std::wstring>{});
  EXPECT_EQ(m().files.ListTree(L"C:\\"), Outside(before, gone));
  EXPECT_EQ(m().files.ListTree(L"D:\\"), Outside(beforeD, gone));
}

TEST_F(UninstallLinkTest, DataFolderThatIsItselfALinkGoesAsALink) {
  m().files.AddDirectoryLink(Local(kAlice) + L"\\VantorelDrive", L"C:\\Windows\\system32", /*junction=*/true);
  m().files.AddDirectoryLink(Local(kBob) + L"\\VantorelDrive", kBob + L"\\Documents", /*junction=*/false);
  m().files.AddFileLink(Local(kSystem) + L"\\VantorelDrive", L"C:\\Windows\\win.ini");
  const auto before = m().files.ListTree(L"C:\\"), beforeD = m().files.ListTree(L"D:\\");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  const std::vector<std::wstring> links = {Local(kAlice) + L"\\VantorelDrive", Local(kBob) + L"\\VantorelDrive",
                                           Local(kSystem) + L"\\VantorelDrive"};
  EXPECT_EQ(m().files.ListTree(L"C:\\"), Outside(before, links));
  EXPECT_EQ(m().files.ListTree(L"D:\\"), Outside(beforeD, links));
  EXPECT_EQ(Touched().size(), 3u) << "the three links, nothing else";
}

TEST_F(UninstallLinkTest, ALinkOnTheWayDownLeavesThatProfileAlone) {
  // Bob's outer folder of a two-component name, and Alice's whole
  // application-data folder, point elsewhere: following them would remove
  // a "Drive" folder outside the profile.
  m().files.AddFile(L"C:\\Windows\\Drive\\important");
  m().files.AddFile(L"C:\\ProgramData\\Elsewhere\\Vantorel\\Drive\\important");
  m().files.AddDirectoryLink(Local(kBob) + L"\\Vantorel", L"C:\\Windows", /*junction=*/true);
  m().files.AddFile(Local(kAlice) + L"\\Vantorel\\Drive\\real");
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1003", L"carol", L"C:\\Users\\carol");
  m().files.AddDirectoryLink(L"C:\\Users\\carol\\AppData\\Local", L"C:\\ProgramData\\Elsewhere", /*junction=*/true);
  AddDataTree(Local(kSystem) + L"\\Vantorel\\Drive");
  const auto before = m().files.ListTree(L"C:\\"), beforeD = m().files.ListTree(L"D:\\");

  Run(L"client-maintenance.exe --uninstall Vantorel\\Drive");

  EXPECT_EQ(m().files.ListTree(L"C:\\"),
            Outside(before, {Local(kAlice) + L"\\Vantorel\\Drive", Local(kSystem) + L"\\Vantorel\\Drive"}));
  EXPECT_EQ(m().files.ListTree(L"D:\\"), beforeD);
}

// ---------------- the folder name ----------------

TEST(FolderName, AcceptsPlainNamesOnly) {
  for (const wchar_t* good : {L"VantorelDrive", L"Vantorel\\Drive", L"Vantorel Drive", L"a\\b\\c\\d", L".git", L"...a",
                              L" lead", L"a.b", L"\u00e9t\u00e9", L"x"}) {
    EXPECT_TRUE(IsPlainFolderName(good)) << Narrow(good);
  }
}

TEST_F(UninstallTest, RejectedNamesDeleteNothingButTheStartupShortcuts) {
  // clang-format off
  const std::wstring rejected[] = {
      L"", L"\\", L"\\\\", L"C:", L"C:\\", L"C:\\Users", L"C:Users", L"c:sentinel.txt", L"\\Windows",
      L"\\\\server\\share", L"\\\\?\\C:\\", L"\\\\.\\C:", L"\\VantorelDrive", L"VantorelDrive\\", L"Vantorel\\\\Drive",
      L".", L"..", L"..\\..", L"VantorelDrive\\..\\..", L"Vantorel\\.\\Drive", L".\\VantorelDrive", L"a/../..",
      L"VantorelDrive/x", L"/", L"...", L". ", L".. ", L"VantorelDrive.", L"VantorelDrive ", L"Vantorel.\\Drive",
      L"a:b", L"VantorelDrive::$INDEX_ALLOCATION", L"Vantorel*", L"Vantorel?", L"Vantorel\"", L"a<b", L"a>b", L"a|b",
      L"a\tb", L"a\nb", L"\x01", L"a\x1f"};
  // clang-format on
  for (const std::wstring& name : rejected) {
    SCOPED_TRACE("name \"" + Narrow(name) + "\"");
    EXPECT_FALSE(IsPlainFolderName(name));

    sim::Reset();
    sim::TypicalMachine::Build(m());
    sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1002", L"bob", kBob);
    m().files.currentDirectory = Local(kAlice);
    for (const auto& profile : {kAlice, kBob}) {
      m().files.AddFile(Local(profile) + L"\\sentinel.txt");
      AddDataTree(Local(profile) + L"\\VantorelDrive");
      m().files.AddFile(profile + kStartupBelowProfile + L"\\Vantorel Drive.lnk");
    }
    m().files.AddFile(Local(kAlice) + L"\\a\\b");
    m().files.AddFile(L"C:\\sentinel.txt");
    m().files.AddFile(L"C:\\Users\\sentinel.txt");

    Uninstall({name});
    EXPECT_FALSE(CheckPlainFolderName(name)) << "the removal can never be given it";

    EXPECT_EQ(Touched(), (std::vector<std::wstring>{kAlice + kStartupBelowProfile + L"\\Vantorel Drive.lnk",
                                                    kBob + kStartupBelowProfile + L"\\Vantorel Drive.lnk"}));
  }
}

TEST_F(UninstallTest, WithoutANameOnlyTheStartupShortcutsGo) {
  AddDataTree(Local(kAlice) + L"\\VantorelDrive");
  m().files.AddFile(kAlice + kStartupBelowProfile + L"\\ZarekTolv.lnk");

  Run(L"client-maintenance.exe --uninstall");

  EXPECT_EQ(Touched(), std::vector<std::wstring>{kAlice + kStartupBelowProfile + L"\\ZarekTolv.lnk"});
}

// ---------------- start-up shortcuts and the order of the steps ----------------

TEST_F(UninstallTest, StartupShortcutsGoInEveryProfileBeforeAnyDataFolderIsTouched) {
  for (const auto& profile : {kAlice, kBob, kSystem}) {
    for (const wchar_t* name : kStartupNames) m().files.AddFile(profile + kStartupBelowProfile + L"\\" + name);
    m().files.AddFile(profile + kStartupBelowProfile +
                      L"\\Zarek Tolv.lnk");  // the desktop spelling: not a start-up name
    m().files.AddFile(profile + kStartupBelowProfile + L"\\Other.lnk");
  }
  for (const auto& profile : {kAlice, kBob}) AddDataTree(Local(profile) + L"\\VantorelDrive");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  std::vector<std::wstring> shortcuts;
  for (const auto& profile : {kSystem, kAlice, kBob}) {  // profile list order
    for (const wchar_t* name : kStartupNames) shortcuts.push_back(profile + kStartupBelowProfile + L"\\" + name);
  }
  const auto touched = Touched();
  ASSERT_GT(touched.size(), shortcuts.size());
  EXPECT_EQ(std::vector<std::wstring>(touched.begin(), touched.begin() + shortcuts.size()), shortcuts);
  for (const auto& profile : {kAlice, kBob, kSystem}) {
    EXPECT_EQ(m().files.ListTree(profile + kStartupBelowProfile),
              (std::vector<std::wstring>{profile + kStartupBelowProfile + L"\\Other.lnk",
                                         profile + kStartupBelowProfile + L"\\Zarek Tolv.lnk"}));
  }
  EXPECT_FALSE(m().files.Exists(Local(kBob) + L"\\VantorelDrive"));
  EXPECT_TRUE(m().shell.shellLinks.empty()) << "no shortcut is written";
}

TEST_F(UninstallTest, StartupFolderOutsideTheProfileSkipsTheShortcutsButNotTheData) {
  m().shell.SetFolder(L"alice", kCsidlStartup, L"\\\\server\\redirected\\Startup");
  m().files.AddFile(kAlice + kStartupBelowProfile + L"\\Vantorel Drive.lnk");
  AddDataTree(Local(kAlice) + L"\\VantorelDrive");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  EXPECT_TRUE(m().files.Exists(kAlice + kStartupBelowProfile + L"\\Vantorel Drive.lnk"));
  EXPECT_FALSE(m().files.Exists(Local(kAlice) + L"\\VantorelDrive"));
}

TEST_F(UninstallTest, AStartupFolderThatClimbsOutOfTheProfileDeletesNoShortcut) {
  // Alice's own registry may name her start-up folder through "..": applied
  // below every profile it would lead to the machine-wide start-up folder.
  const std::wstring common = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
  m().shell.SetFolder(
      L"alice", kCsidlStartup,
      kAlice + L"\\Desktop\\..\\..\\..\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  m().files.AddFile(common + L"\\Vantorel Drive.lnk");
  m().files.AddFile(kBob + kStartupBelowProfile + L"\\Vantorel Drive.lnk");
  AddDataTree(Local(kAlice) + L"\\VantorelDrive");

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  EXPECT_TRUE(m().files.Exists(common + L"\\Vantorel Drive.lnk"));
  EXPECT_TRUE(m().files.Exists(kBob + kStartupBelowProfile + L"\\Vantorel Drive.lnk"));
  EXPECT_FALSE(m().files.Exists(Local(kAlice) + L"\\VantorelDrive")) << "the data folders do not depend on it";
}

TEST_F(UninstallTest, BeforeWindowsVistaTheDataFolderIsUnderLocalSettings) {
  const std::wstring legacy = L"\\Local Settings\\Application Data\\VantorelDrive";
  AddDataTree(kAlice + legacy);
  AddDataTree(kBob + legacy);
  AddDataTree(Local(kAlice) + L"\\VantorelDrive");
  m().runtime.osMajor = 5;

  Run(L"client-maintenance.exe --uninstall VantorelDrive");

  EXPECT_FALSE(m().files.Exists(kAlice + legacy));
  EXPECT_FALSE(m().files.Exists(kBob + legacy));
  EXPECT_TRUE(m().files.Exists(kAlice + L"\\Local Settings\\Application Data"));
  EXPECT_TRUE(m().files.Exists(Local(kAlice) + L"\\VantorelDrive\\settings.json"));

  // Windows 6.0 (Vista) is the first with "\AppData\Local".
  m().runtime.osMajor = 6;
  AddDataTree(kAlice + legacy);
  Run(L"client-maintenance.exe --uninstall VantorelDrive");
  EXPECT_TRUE(m().files.Exists(kAlice + legacy + L"\\settings.json"));
  EXPECT_FALSE(m().files.Exists(Local(kAlice) + L"\\VantorelDrive"));
}
