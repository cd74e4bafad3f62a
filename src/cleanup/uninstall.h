// "--uninstall NAME": per-user clean-up in every profile.
#pragma once

#include <string>

#include "common/plain_folder_name.h"

// Runs the command on the argument vector: RemoveStartupShortcutsForAllProfiles,
// then, only when element 2 is present and a plain folder name (checked here,
// where the name enters, by CheckPlainFolderName),
// RemoveLocalAppDataFolderForAllProfiles with it.
void RunUninstallCommand(int argc, wchar_t** argv);

// Deletes every start-up shortcut name of the client (StartupShortcutNames)
// from the start-up folder of every profile, through a handle opened inside
// the held start-up folder (a link of that name goes as the link). The
// start-up folder is the interactive user's, relative to that user's profile
// folder, appended to each profile directory; when it does not lie inside
// the profile folder, or cannot be resolved, nothing is deleted; a folder on
// the way that is a link leaves that profile alone. Writes and removes
// nothing else.
void RemoveStartupShortcutsForAllProfiles();

// Removes the folder tree folderName below the local application-data folder
// of every profile ("\AppData\Local" from Windows Vista on, "\Local
// Settings\Application Data" before), with RemoveFolderTreeIn. folderName is
// a plain folder name by its type: one with ".." or a root never gets here.
// Every folder from the profile directory down to the data folder (the
// application-data folders, the outer components of folderName) is opened
// and held by handle; where one of them is a link, or cannot be opened and
// checked, that profile's data folder is left alone: the removal only ever
// acts inside that profile's own folders.
void RemoveLocalAppDataFolderForAllProfiles(const PlainFolderName& folderName);
