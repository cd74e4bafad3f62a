#include "shortcuts/remove_shortcuts.h"

#include "common/report.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "process/user_session.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// Deletes every name (a file or a link of that name) in the held folder
// (at path), results ignored but for the decision log.
void DeleteEach(Handle folder, const std::wstring& path, const ShortcutNames& names) {
  for (const std::wstring& name : names) ReportDeletion(DeleteFileNamed(folder, name), path + L"\\" + name);
}

// In the programs folder: every start-menu name inside the program group
// folder, then that folder itself if that left it empty. A link in the
// group folder's place goes as a link, and nothing is deleted through it.
void ClearProgramGroup(const FolderPath& programs, const ShortcutNames& names) {
  FolderChain chain;
  if (!chain.Open(programs)) {
    ReportDeletion(false, chain.Named(programs));
    return;
  }
  UniqueFileHandle group;
  const EntryKind kind = OpenEntry(chain.last(), kProgramGroupFolder, kHoldFolderAccess | kDelete, &group);
  const std::wstring groupPath = chain.text() + L"\\" + kProgramGroupFolder;
  if (IsFolderToWorkIn(kind)) DeleteEach(group.get(), groupPath, names);
  // The system refuses a folder that is not empty, so this only ever
  // removes an emptied program group folder (or the link).
  if (IsFolderToWorkIn(kind) || kind == EntryKind::kLink) {
    ReportDeletion(DeleteByHandle(group.get()), groupPath);
  } else if (report::On() && kind != EntryKind::kMissing) {
    report::Say(L"left", groupPath, RefusalOf(kind));
  }
}

void ClearDesktop(const FolderPath& desktop, const ShortcutNames& names) {
  FolderChain chain;
  if (chain.Open(desktop)) {
    DeleteEach(chain.last(), chain.text(), names);
  } else {
    ReportDeletion(false, chain.Named(desktop));
  }
}

// Whether the folders were resolved for the interactive user by a tool that
// runs as another account: her token is at hand, and the tool's own is not
// hers (or cannot be read, which is taken the same way).
bool ActsForAnotherAccount(const InteractiveUser& user) {
  if (!user.token || !user.user) return false;
  UniqueHandle own;
  return !OpenProcessToken(GetCurrentProcess(), kTokenQuery, own.put()) || !TokenBelongsTo(own.get(), *user.user);
}

}  // namespace

void RemoveShortcutsFromFolders(const FolderPath& programsFolder, const FolderPath& desktopFolder) {
  const ShortcutNames startMenuNames = StartMenuShortcutNames();
  const ShortcutNames desktopNames = DesktopShortcutNames();
  ClearProgramGroup(programsFolder, startMenuNames);
  ClearDesktop(desktopFolder, desktopNames);
}

void RemoveShortcutsForAllProfiles(const InteractiveUser& user) {
  // The interactive user's layout, applied below every profile directory.
  std::wstring programsRelative;
  if (!GetCarriedFolder(user, kCsidlPrograms, &programsRelative)) return;
  std::wstring desktopRelative;
  if (!GetCarriedFolder(user, kCsidlDesktopDirectory, &desktopRelative)) return;

  ForEachProfileDirectory([&](const std::wstring& profileDirectory) {
    RemoveShortcutsFromFolders({profileDirectory, programsRelative}, {profileDirectory, desktopRelative});
  });
}

void RemoveAllUsersShortcuts(const InteractiveUser& user) {
  const ShortcutNames startMenuNames = LegacyStartMenuShortcutNames();
  const ShortcutNames desktopNames = LegacyDesktopShortcutNames();
  // Both folders are resolved before anything is deleted in either.
  std::wstring commonPrograms;
  if (!LookUpShellFolder(user, kCsidlCommonPrograms, &commonPrograms)) return;
  std::wstring commonDesktop;
  if (!LookUpShellFolder(user, kCsidlCommonDesktopDirectory, &commonDesktop)) return;

  ClearProgramGroup({commonPrograms, L""}, startMenuNames);
  FolderChain desktop;
  const bool held = desktop.Open({commonDesktop, L""});
  for (const std::wstring& name : desktopNames) {
    // Written before the deletion, whether the file exists or not.
    report::Diagnostic((commonDesktop + L"\\" + name + L"\n").c_str());
    if (held) ReportDeletion(DeleteFileNamed(desktop.last(), name), desktop.text() + L"\\" + name);
  }
}

void RemoveCurrentUserShortcuts(const InteractiveUser& user) {
  std::wstring programs;
  if (!LookUpShellFolder(user, kCsidlPrograms, &programs)) return;
  std::wstring desktop;
  if (!LookUpShellFolder(user, kCsidlDesktopDirectory, &desktop)) return;
  // A folder inside the user's profile is reached from the profile folder
  // down, every folder on the way checked and held: the user owns them all,
  // and OneDrive's folder backup puts a desktop inside a sync root that she
  // can rename and replace with a link. One redirected out of the profile
  // (another drive, a share) is opened where it is.
  std::wstring profile;
  const bool profileKnown = LookUpShellFolder(user, kCsidlProfile, &profile);
  auto reach = [&](const std::wstring& folder) -> FolderPath {
    std::wstring below;
    if (profileKnown && RelativeFolder(profile, folder, &below)) return {profile, below};
    return {folder, L""};
  };
  // Her folders are hers to set: wherever they point (the Public desktop,
  // another user's, through a link she made), a tool that runs as another
  // account (elevated, or SYSTEM) deletes there only what she may delete
  // herself, as her. Without her rights on the thread it deletes nothing.
  if (ActsForAnotherAccount(user)) {
    const ActingAsUser asHer(user.token.get());
    if (asHer.acting()) {
      RemoveShortcutsFromFolders(reach(programs), reach(desktop));
    } else if (report::On()) {
      for (const std::wstring& folder : {programs, desktop}) {
        report::Say(L"skipped", folder, L"her token could not be taken onto the tool's thread");
      }
    }
    return;
  }
  RemoveShortcutsFromFolders(reach(programs), reach(desktop));
}
