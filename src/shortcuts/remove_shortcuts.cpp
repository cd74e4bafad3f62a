#include "shortcuts/remove_shortcuts.h"

#include "platform/platform.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// DeleteFileW of folder\name for every name, in list order, results ignored.
void DeleteEach(const std::wstring& folder, const ShortcutNames& names) {
  for (const std::wstring& name : names) DeleteFileW((folder + L"\\" + name).c_str());
}

// Removes programsFolder\Vantorel. The system refuses a folder that is not
// empty, so this only ever removes an emptied program group folder.
void RemoveProgramGroupFolderIfEmpty(const std::wstring& programsFolder) {
  RemoveDirectoryW((programsFolder + L"\\" + kProgramGroupFolder).c_str());
}

}  // namespace

void RemoveShortcutsFromFolders(const std::wstring& programsFolder, const std::wstring& desktopFolder) {
  const ShortcutNames startMenuNames = StartMenuShortcutNames();
  const ShortcutNames desktopNames = DesktopShortcutNames();
  DeleteEach(programsFolder, startMenuNames);
  RemoveProgramGroupFolderIfEmpty(programsFolder);
  DeleteEach(desktopFolder, desktopNames);
}

void RemoveShortcutsForAllProfiles() {
  // The interactive user's layout, applied below every profile directory.
  std::wstring programsRelative;
  if (!GetProfileRelativeFolder(kCsidlProfile, kCsidlPrograms, &programsRelative)) return;
  std::wstring desktopRelative;
  if (!GetProfileRelativeFolder(kCsidlProfile, kCsidlDesktopDirectory, &desktopRelative)) return;

  ForEachProfileDirectory([&](const std::wstring& profileDirectory) {
    RemoveShortcutsFromFolders(profileDirectory + programsRelative, profileDirectory + desktopRelative);
  });
}

void RemoveAllUsersShortcuts() {
  const ShortcutNames startMenuNames = LegacyStartMenuShortcutNames();
  const ShortcutNames desktopNames = LegacyDesktopShortcutNames();
  // Both folders are resolved before anything is deleted in either.
  std::wstring commonPrograms;
  if (!LookUpShellFolder(kCsidlCommonPrograms, &commonPrograms)) return;
  std::wstring commonDesktop;
  if (!LookUpShellFolder(kCsidlCommonDesktopDirectory, &commonDesktop)) return;

  DeleteEach(commonPrograms, startMenuNames);
  RemoveProgramGroupFolderIfEmpty(commonPrograms);
  for (const std::wstring& name : desktopNames) {
    const std::wstring path = commonDesktop + L"\\" + name;
    // Written before the deletion, whether the file exists or not.
    WriteStdout((path + L"\n").c_str());
    DeleteFileW(path.c_str());
  }
}

void RemoveCurrentUserShortcuts() {
  std::wstring programs;
  if (!LookUpShellFolder(kCsidlPrograms, &programs)) return;
  std::wstring desktop;
  if (!LookUpShellFolder(kCsidlDesktopDirectory, &desktop)) return;
  RemoveShortcutsFromFolders(programs, desktop);
}
