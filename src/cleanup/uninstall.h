// "--uninstall NAME": per-user clean-up in every profile.
#pragma once

#include <string>

// Runs the command on the argument vector: RemoveStartupShortcutsForAllProfiles,
// then, only when element 2 is present and a plain folder name
// (IsPlainFolderName), RemoveLocalAppDataFolderForAllProfiles with it.
void RunUninstallCommand(int argc, wchar_t** argv);

// Deletes every start-up shortcut name of the client (StartupShortcutNames)
// from the start-up folder of every profile. The start-up folder is the
// interactive user's, relative to that user's profile folder, appended to
// each profile directory; when it does not lie inside the profile folder,
// or cannot be resolved, nothing is deleted. Writes and removes nothing else.
void RemoveStartupShortcutsForAllProfiles();

// Removes the folder tree folderName below the local application-data folder
// of every profile ("\AppData\Local" from Windows Vista on, "\Local
// Settings\Application Data" before), with RemoveFolderTree. Does nothing at
// all when folderName is not a plain folder name (IsPlainFolderName). In a
// profile where a folder on the way down to the data folder (the
// application-data folders, the outer components of folderName) is a link,
// or cannot be examined, the data folder is left alone: the removal only ever
// acts inside that profile's own folders.
void RemoveLocalAppDataFolderForAllProfiles(const std::wstring& folderName);
