// "--uninstall NAME": per-user clean-up in every profile.
#pragma once

#include <string>

#include "common/plain_folder_name.h"
#include "process/interactive_user.h"

// Runs the command on the argument vector: RemoveStartupShortcutsForAllProfiles
// (shortcuts/startup_shortcut.h), then, only when element 2 is present and a
// plain folder name (checked here, where the name enters, by
// CheckPlainFolderName), RemoveLocalAppDataFolderForAllProfiles with it.
void RunUninstallCommand(const InteractiveUser& user, int argc, wchar_t** argv);

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
