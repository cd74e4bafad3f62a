// "--remove-all-users-empty-folders": the maker's two machine-wide folders go
// only when empty.
#include "sim_fixture.h"

using namespace platform;

namespace {

const std::wstring kGroup = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vantorel";
const std::wstring kMakerX86 = L"C:\\Program Files (x86)\\Vantorel";
const std::wstring kMakerNative = L"C:\\Program Files\\Vantorel";
const std::wstring kAliceGroup =
    L"C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Vantorel";

}  // namespace

class EmptyFoldersTest : public TypicalMachineTest {
 protected:
  void RunCommand() { Run(L"client-maintenance.exe --remove-all-users-empty-folders"); }
  std::vector<std::wstring> Removed() {
    std::vector<std::wstring> paths;
    for (const auto& e : m().files.fsEvents) paths.push_back(e.path);
    return paths;
  }
};

TEST_F(EmptyFoldersTest, BothEmptyFoldersGoAndNothingElse) {
  m().files.AddDirectory(kGroup);
  m().files.AddDirectory(kMakerX86);
  m().files.AddDirectory(kMakerNative);
  m().files.AddDirectory(kAliceGroup);  // a per-user program group is not this command's

  RunCommand();

  EXPECT_EQ(Removed(), (std::vector<std::wstring>{kGroup, kMakerX86}));
  EXPECT_EQ(m().runtime.stdoutText, L"");
}

TEST_F(EmptyFoldersTest, AFolderHoldingAnythingStays) {
  m().files.AddDirectory(kMakerX86 + L"\\Vantorel Drive");  // the installation folder, even empty
  m().files.AddFile(kGroup + L"\\desktop.ini", kFileAttributeHidden | kFileAttributeSystem);
  const auto before = m().files.ListTree(L"C:\\");

  RunCommand();

  EXPECT_EQ(m().files.ListTree(L"C:\\"), before);
  // Each folder is asked to go once, and refuses; nothing inside is listed.
  EXPECT_EQ(m().calls["SetFileInformationByHandle"], 2);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(EmptyFoldersTest, TheGroupStillGoesWhenTheMakerFolderStays) {
  m().files.AddDirectory(kGroup);
  m().files.AddFile(kMakerX86 + L"\\Vantorel Drive\\launcher.exe");

  RunCommand();

  EXPECT_EQ(Removed(), std::vector<std::wstring>{kGroup});
}

TEST_F(EmptyFoldersTest, NeitherFolderPresentChangesNothing) {
  RunCommand();
  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_EQ(m().runtime.stdoutText, L"");
}

TEST_F(EmptyFoldersTest, WithoutThe32BitProgramFilesFolderTheNativeOneIsUsed) {
  m().files.AddDirectory(kMakerX86);
  m().files.AddDirectory(kMakerNative);
  m().files.AddDirectory(kGroup);
  m().shell.SetFolder(L"", kCsidlProgramFilesX86, L"", kEFail);
  m().shell.SetFolder(L"", kCsidlCommonPrograms, L"", kEFail);  // skips the first step only

  RunCommand();

  EXPECT_EQ(Removed(), std::vector<std::wstring>{kMakerNative});
}
