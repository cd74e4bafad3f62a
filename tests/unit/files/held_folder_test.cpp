// The file work by handle: the folder chain a piece of work starts from,
// entries opened, judged and deleted through their own handles, and the
// tree removal of "--uninstall" built on them (one open, one look and one
// delete per entry; what stays).
#include "data_tree_fixture.h"
#include "files/folder_tree.h"
#include "files/held_folder.h"

using FolderTreeTest = UninstallTest;

TEST_F(FolderTreeTest, ReadOnlyFileKeepsItselfAndItsFolderChainOnly) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);
  m().files.AddFile(data + L"\\logs\\old\\locked.log", kFileAttributeReadonly | kFileAttributeHidden);
  m().files.AddFile(data + L"\\in-use.db")->inUse = true;

  EXPECT_FALSE(RemoveFolderTree(data));

  EXPECT_EQ(m().files.ListTree(data),
            (std::vector<std::wstring>{data + L"\\in-use.db", data + L"\\logs", data + L"\\logs\\old",
                                       data + L"\\logs\\old\\locked.log"}));
  EXPECT_EQ(m().files.FindNode(data + L"\\logs\\old\\locked.log")->attributes,
            kFileAttributeReadonly | kFileAttributeHidden)
      << "attributes are never changed";
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(FolderTreeTest, AnUnlistableSubFolderStaysAndTheRestGoes) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);
  m().files.AddFile(data + L"\\secret\\f")->parent->denyList = true;
  m().files.AddFile(data + L"\\zzz\\after");

  EXPECT_FALSE(RemoveFolderTree(data));
  EXPECT_EQ(m().files.ListTree(data), (std::vector<std::wstring>{data + L"\\secret", data + L"\\secret\\f"}));
}

TEST_F(FolderTreeTest, AbsentFolderIsSuccessWithoutChange) {
  EXPECT_TRUE(RemoveFolderTree(Local(kAlice) + L"\\VantorelDrive"));
  EXPECT_TRUE(RemoveFolderTree(L"C:\\NoSuchFolder\\VantorelDrive"));
  EXPECT_TRUE(RemoveFolderTree(L"C:\\NoSuchFolder\\Deeper\\Deepest\\VantorelDrive"));
  EXPECT_TRUE(m().files.fsEvents.empty());
  EXPECT_FALSE(RemoveFolderTree(L"\\\\.\\pipe\\VantorelDrive")) << "no folder, so not an absent one";
  EXPECT_FALSE(RemoveFolderTree(L"\\\\?\\C:\\NoSuchFolder\\")) << "no name of a folder";
}

// Listed as a file, a folder by the time it is opened (its owner swapped
// them meanwhile): it goes as a folder, listed through a handle of its own;
// one that cannot be listed stays, and the removal says so.
TEST_F(FolderTreeTest, AFileSwappedForAFolderAfterTheListingGoesAsAFolder) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  for (const bool listable : {true, false}) {
    SetUp();
    m().files.AddFile(data + L"\\swapped");
    int listings = 0;
    // The third listing call is the data folder's own (the first two check
    // Local and the data folder against the folders that hold them).
    m().afterCall["NtQueryDirectoryFile"] = [&] {
      if (++listings != 3) return;
      m().files.RemoveNode(m().files.FindNode(data + L"\\swapped"));
      m().files.AddFile(data + L"\\swapped\\inside")->parent->denyList = !listable;
    };

    EXPECT_EQ(RemoveFolderTree(data), listable);
    m().afterCall.clear();

    EXPECT_EQ(m().files.Exists(data + L"\\swapped\\inside"), !listable);
  }
}

TEST_F(FolderTreeTest, AnEntryThatCannotBeCheckedIsNeitherEnteredNorRemoved) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);
  const auto before = m().files.ListTree(L"C:\\");
  m().Inject("GetFileInformationByHandleEx", kErrorAccessDenied);

  EXPECT_FALSE(RemoveFolderTree(data));
  Uninstall({L"VantorelDrive"});

  EXPECT_EQ(m().files.ListTree(L"C:\\"), before);
  EXPECT_EQ(m().calls["SetFileInformationByHandle"], 0);
  EXPECT_EQ(m().OpenHandleCount(), 0u);
}

TEST_F(FolderTreeTest, APlainFileOfThatNameIsLeftAlone) {
  m().files.AddFile(Local(kAlice) + L"\\VantorelDrive");
  EXPECT_FALSE(RemoveFolderTree(Local(kAlice) + L"\\VantorelDrive"));
  EXPECT_TRUE(m().files.fsEvents.empty());
}

TEST_F(FolderTreeTest, OneOpenOneLookOneDeletePerEntry) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  AddDataTree(data);  // 8 files, 10 folders below data
  m().files.AddFileLink(data + L"\\link.ini", L"C:\\Windows\\win.ini");
  m().calls.clear();

  EXPECT_TRUE(RemoveFolderTree(data));

  // Per entry an open, a look at its handle and a delete; per folder two
  // listing calls (the second finds no more). Besides: the folder that holds
  // data, opened inside its own folder (opened by path), and data, each
  // looked at and checked against a listing of the folder above, on a
  // handle of its own.
  const int entries = 9 + 10, folders = 10 + 1;
  EXPECT_EQ(m().calls, (std::map<std::string, int>{{"GetFullPathNameW", 2},  // once for the whole walk
                                                   {"CreateFileW", 1},
                                                   {"NtCreateFile", entries + 4},
                                                   {"NtQueryDirectoryFile", 2 * folders + 2},
                                                   {"GetFileInformationByHandleEx", entries + 2},
                                                   {"SetFileInformationByHandle", entries + 1},
                                                   {"CloseHandle", entries + 5}}));
}

// "sys." would open as "sys" on a plain path: the link beside it, which
// the tool cannot remove.
TEST_F(FolderTreeTest, AFolderNamedLikeALinkWithATrailingDotLeadsNowhereElse) {
  const std::wstring data = Local(kAlice) + L"\\VantorelDrive";
  m().files.AddDirectoryLink(data + L"\\sys", L"C:\\Windows\\system32", /*junction=*/true)->denyDelete = true;
  m().files.AddFile(L"\\\\?\\" + data + L"\\sys.\\mine");
  const auto before = m().files.ListTree(L"C:\\");

  EXPECT_FALSE(RemoveFolderTree(data));

  EXPECT_EQ(m().files.ListTree(data), std::vector<std::wstring>{data + L"\\sys"});
  EXPECT_EQ(Outside(Touched(), {data + L"\\sys."}), std::vector<std::wstring>{});
  EXPECT_EQ(Outside(before, {data + L"\\sys."}), m().files.ListTree(L"C:\\"));
}

// The way below a chain's root starts at a separator: anything else is no
// way below it. A chain that failed to open holds nothing, not even what
// it held before.
TEST_F(FolderTreeTest, AChainsWayBelowItsRootStartsWithASeparator) {
  FolderChain chain;
  EXPECT_TRUE(chain.Open({kAlice, L"\\AppData\\Local"}));
  EXPECT_FALSE(chain.Open({kAlice, L"/AppData\\Local"}));
  EXPECT_EQ(m().OpenHandleCount(), 0u);
  EXPECT_FALSE(chain.Open({kAlice, L"\\AppData\\\\Local"})) << "an empty name";
}
