// The profile list, the profile walk and shell-folder resolution.
#include <algorithm>

#include "common/decimal_text.h"
#include "process/interactive_user.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "sim_fixture.h"

using namespace platform;

namespace {

const std::wstring kList = sim::TypicalMachine::kProfileList;

std::vector<std::wstring> Walk() {
  std::vector<std::wstring> visited;
  ForEachProfileDirectory([&](const std::wstring& dir) { visited.push_back(dir); });
  return visited;
}

}  // namespace

class ProfileWalkTest : public TypicalMachineTest {};

TEST_F(ProfileWalkTest, VisitsEveryProfileInRegistryOrderExpanded) {
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1002", L"bob", L"D:\\Profiles\\bob", kRegSz);
  EXPECT_EQ(Walk(), (std::vector<std::wstring>{
                        L"C:\\Windows\\system32\\config\\systemprofile", L"C:\\Windows\\ServiceProfiles\\LocalService",
                        L"C:\\Windows\\ServiceProfiles\\NetworkService", L"C:\\Users\\alice", L"D:\\Profiles\\bob"}));
  EXPECT_EQ(m().runtime.stdoutText, L"");
  for (const auto& open : m().registry.regOpens)
    EXPECT_EQ(open.second, 0x20119u) << std::string(open.first.begin(), open.first.end());
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(ProfileWalkTest, ListKeyIsClosedBeforeTheFirstProfileIsVisited) {
  int visits = 0;
  ForEachProfileDirectory([&](const std::wstring&) {
    ++visits;
    for (const auto& h : m().handles) EXPECT_NE(h.second.kind, sim::HandleKind::kRegKey) << "a registry key is open";
  });
  EXPECT_EQ(visits, 4);
}

TEST_F(ProfileWalkTest, AnEmptyListVisitsNothingAndPrintsNothing) {
  m().registry.Key(kList).subkeys.clear();
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(m().runtime.stdoutText, L"");
}

TEST_F(ProfileWalkTest, UnreadableProfilesAreReportedAndSkipped) {
  // No value at all; a value longer than the 4096-byte buffer; a key that
  // cannot be opened; an empty value; a failing expansion.
  m().registry.Key(kList + L"\\S-1-5-21-1-1-1-1002");
  m().registry.SetString(kList + L"\\S-1-5-21-1-1-1-1003", L"ProfileImagePath", std::wstring(3000, L'x'));
  m().registry.Key(kList + L"\\S-1-5-21-1-1-1-1004").openResult = kErrorAccessDenied;
  m().registry.SetString(kList + L"\\S-1-5-21-1-1-1-1005", L"ProfileImagePath", L"");
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-1-1-1-1006", L"erin", L"C:\\Users\\erin");

  EXPECT_EQ(Walk(), (std::vector<std::wstring>{
                        L"C:\\Windows\\system32\\config\\systemprofile", L"C:\\Windows\\ServiceProfiles\\LocalService",
                        L"C:\\Windows\\ServiceProfiles\\NetworkService", L"C:\\Users\\alice", L"C:\\Users\\erin"}));
  EXPECT_EQ(m().runtime.stdoutText,
            L"Failed to get value for sub key 'SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
            L"S-1-5-21-1-1-1-1002', res: 2\n"
            L"Failed to get value for sub key 'SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
            L"S-1-5-21-1-1-1-1003', res: 234\n"
            L"Failed to open reg key\n");

  m().runtime.stdoutText.clear();
  m().Inject("ExpandEnvironmentStringsW", kErrorNotEnoughMemory);
  EXPECT_TRUE(Walk().empty()) << "a failed expansion is a failed read";
}

TEST_F(ProfileWalkTest, ReadLeavesTheOutputAloneOnFailure) {
  std::wstring dir = L"marker";
  EXPECT_FALSE(ReadProfileImagePath(kList + L"\\S-1-5-21-missing", &dir));
  EXPECT_EQ(dir, L"marker");
  EXPECT_EQ(m().runtime.stdoutText, L"Failed to open reg key\n");
  // Read, but not expanded (the second expansion call, which writes, fails).
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-1-1-1-1007", L"fay", L"%SystemDrive%\\Users\\fay");
  m().Inject("ExpandEnvironmentStringsW", kErrorNotEnoughMemory, /*count=*/1, /*skip=*/1);
  EXPECT_FALSE(ReadProfileImagePath(kList + L"\\S-1-5-21-1-1-1-1007", &dir));
  EXPECT_EQ(dir, L"marker");
}

TEST_F(ProfileWalkTest, ValueWithoutTerminatorIsReadUpToTheBytesReturned) {
  m().registry.SetValueBytes(kList + L"\\S-1-5-21-1-1-1-1002", L"ProfileImagePath", kRegExpandSz,
                             sim::StringBytes(L"%SystemDrive%\\Users\\carol", /*terminated=*/false));
  // A value that fills the buffer exactly, with no room for a terminator.
  const std::wstring full(4096 / sizeof(wchar_t), L'q');
  m().registry.SetValueBytes(kList + L"\\S-1-5-21-1-1-1-1003", L"ProfileImagePath", kRegSz,
                             sim::StringBytes(full, false));
  std::wstring dir;
  ASSERT_TRUE(ReadProfileImagePath(kList + L"\\S-1-5-21-1-1-1-1002", &dir));
  EXPECT_EQ(dir, L"C:\\Users\\carol");
  ASSERT_TRUE(ReadProfileImagePath(kList + L"\\S-1-5-21-1-1-1-1003", &dir));
  EXPECT_EQ(dir, full);
  // An odd byte count: the half unit at the end is not text.
  auto bytes = sim::StringBytes(L"C:\\Users\\dave", false);
  bytes.push_back('Z');
  m().registry.SetValueBytes(kList + L"\\S-1-5-21-1-1-1-1004", L"ProfileImagePath", kRegSz, bytes);
  ASSERT_TRUE(ReadProfileImagePath(kList + L"\\S-1-5-21-1-1-1-1004", &dir));
  EXPECT_EQ(dir, L"C:\\Users\\dave");
}

TEST_F(ProfileWalkTest, UnknownVariablesStayAsWritten) {
  m().registry.SetString(kList + L"\\S-1-5-21-1-1-1-1002", L"ProfileImagePath", L"%NoSuchVariable%\\x", kRegExpandSz);
  std::wstring dir;
  ASSERT_TRUE(ReadProfileImagePath(kList + L"\\S-1-5-21-1-1-1-1002", &dir));
  EXPECT_EQ(dir, L"%NoSuchVariable%\\x");
}

TEST_F(ProfileWalkTest, ListFailuresEndTheWalk) {
  m().registry.Key(kList).queryInfoResult = kErrorAccessDenied;
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(m().runtime.stdoutText, L"Failed to query registry info\n");

  m().runtime.stdoutText.clear();
  m().registry.Key(kList).queryInfoResult = 0;
  m().registry.Key(kList).openResult = kErrorAccessDenied;
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(m().runtime.stdoutText, L"") << "a list key that cannot be opened is passed over silently";

  m().registry.Key(kList).openResult = 0;
  m().registry.Key(kList).enumFailIndexes = {1, 2};
  EXPECT_EQ(Walk(), (std::vector<std::wstring>{L"C:\\Windows\\system32\\config\\systemprofile", L"C:\\Users\\alice"}));
  EXPECT_EQ(m().runtime.stdoutText, L"");
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

class ShellFolderTest : public TypicalMachineTest {
 protected:
  void SetUp() override {
    TypicalMachineTest::SetUp();
    user_ = FindInteractiveUser();
  }
  InteractiveUser user_;
};

TEST_F(ShellFolderTest, EveryLookUpPassesTheInteractiveUsersToken) {
  std::wstring relative;
  ASSERT_TRUE(GetProfileRelativeFolder(user_, kCsidlProfile, kCsidlStartup, &relative));
  EXPECT_EQ(relative, L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  std::wstring folder;
  ASSERT_TRUE(GetProgramFilesFolder(user_, &folder));
  ASSERT_EQ(m().shell.folderLookups.size(), 3u);
  for (const auto& lookup : m().shell.folderLookups) {
    EXPECT_EQ(lookup.account, L"alice");
    EXPECT_TRUE(lookup.ownerWindowNull);
    EXPECT_EQ(lookup.flags, kShgfpTypeCurrent);
  }
}

TEST_F(ShellFolderTest, WithoutATokenTheToolsOwnAccountIsResolved) {
  user_.token.reset();
  sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-2-2-2-500", L"SYSTEM",
                                  L"C:\\Windows\\system32\\config\\systemprofile");
  std::wstring relative;
  ASSERT_TRUE(GetProfileRelativeFolder(user_, kCsidlProfile, kCsidlDesktopDirectory, &relative));
  EXPECT_EQ(relative, L"\\Desktop");
  EXPECT_FALSE(m().shell.folderLookups.back().tokenPassed);
}

TEST_F(ShellFolderTest, OnlySOkCountsAsSuccess) {
  m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, L"C:\\Users\\alice\\Desktop", kSFalse);
  std::wstring out = L"marker";
  EXPECT_FALSE(LookUpShellFolder(user_, kCsidlDesktopDirectory, &out));
  EXPECT_FALSE(GetProfileRelativeFolder(user_, kCsidlProfile, kCsidlDesktopDirectory, &out));
  EXPECT_EQ(out, L"marker");
  m().shell.SetFolder(L"alice", kCsidlProfile, L"C:\\Users\\alice", kEFail);
  EXPECT_FALSE(GetProfileRelativeFolder(user_, kCsidlProfile, kCsidlStartup, &out));
  EXPECT_EQ(out, L"marker");
}

TEST_F(ShellFolderTest, ProgramFilesPrefersThe32BitFolder) {
  std::wstring folder = L"marker";
  ASSERT_TRUE(GetProgramFilesFolder(user_, &folder));
  EXPECT_EQ(folder, L"C:\\Program Files (x86)");
  EXPECT_EQ(m().shell.folderLookups.size(), 1u) << "the native folder is not asked for";

  m().shell.SetFolder(L"", kCsidlProgramFilesX86, L"", HResultFromWin32(kErrorFileNotFound));
  ASSERT_TRUE(GetProgramFilesFolder(user_, &folder));
  EXPECT_EQ(folder, L"C:\\Program Files");

  m().shell.SetFolder(L"", kCsidlProgramFiles, L"C:\\Program Files", kSFalse);
  folder = L"marker";
  EXPECT_FALSE(GetProgramFilesFolder(user_, &folder));
  EXPECT_EQ(folder, L"marker");
}

TEST_F(ShellFolderTest, FoldersOutsideTheProfileHaveNoRelativePath) {
  struct Case {
    const wchar_t* folder;
    bool inside;
    const wchar_t* relative;
  } cases[] = {
      {L"C:\\Users\\alice\\Desktop", true, L"\\Desktop"},
      {L"C:\\Users\\alice", true, L""},              // the profile folder itself
      {L"D:\\Redirected\\Desktop", false, nullptr},  // redirected to another drive
      {L"\\\\server\\share\\alice\\Desktop", false, nullptr},
      {L"C:\\users\\alice\\Desktop", true, L"\\Desktop"},  // letter case does not count, as on NTFS
      {L"C:\\Users\\alicea\\Desktop", false, nullptr},  // sibling sharing the first characters
      {L"C:\\Users\\alice.old", false, nullptr},
      {L"C:\\Users", false, nullptr},  // shorter than the profile path
      // Inside by their first characters, outside once Windows reads them:
      // applied below every profile they would lead elsewhere.
      {L"C:\\Users\\alice\\..\\bob\\Desktop", false, nullptr},
      {L"C:\\Users\\alice\\Desktop\\..\\..\\..\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp", false,
       nullptr},
      {L"C:\\Users\\alice\\.\\Desktop", false, nullptr},
      {L"C:\\Users\\alice\\Desktop.\\x", false, nullptr},
      {L"C:\\Users\\alice\\\\Desktop", false, nullptr},
      {L"C:\\Users\\alice\\OneDrive\\Desktop", true, L"\\OneDrive\\Desktop"},
      {L"C:\\Users\\alice\\...x\\Desktop", true, L"\\...x\\Desktop"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder, c.folder + std::wcslen(c.folder)));
    m().shell.SetFolder(L"alice", kCsidlDesktopDirectory, c.folder);
    std::wstring relative = L"marker";
    EXPECT_EQ(GetProfileRelativeFolder(user_, kCsidlProfile, kCsidlDesktopDirectory, &relative), c.inside);
    EXPECT_EQ(relative, c.inside ? c.relative : L"marker");
  }
}

TEST(DecimalText, WritesEveryValueLikeTheStandardLibrary) {
  for (std::int64_t v : {std::int64_t{0}, std::int64_t{7}, std::int64_t{-1}, std::int64_t{234}, std::int64_t{4000},
                         std::int64_t{2147483647}, std::int64_t{-2147483647} - 1, INT64_MAX, INT64_MIN}) {
    EXPECT_EQ(DecimalText(v), std::to_wstring(v));
  }
}
