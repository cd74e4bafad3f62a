// "--admin-remove-shortcuts" and "--portable-remove-shortcuts": the client's
// start-menu and desktop shortcuts, under every name it has used, and its
// program group folder when that is left empty.
//
// Every folder is reached and held by handle (files/held_folder.h): a
// folder on the way that is a link, or cannot be opened and checked, is
// left alone with everything in it, and a shortcut name is deleted through
// a handle opened inside the held folder (a link of that name goes as the
// link). Deletions are attempted without an existence test and their
// results are not examined: a missing shortcut, a folder that still holds
// other files and a refused deletion all pass silently and the next step
// follows.
#pragma once

#include <string>

#include "files/held_folder.h"
#include "process/interactive_user.h"

// Deletes every name of StartMenuShortcutNames() from programsFolder (they
// lie in its program group folder "Vantorel"), then removes that group
// folder if that left it empty (a link in its place goes as a link, and
// nothing is deleted through it), then deletes every name of
// DesktopShortcutNames() from desktopFolder. Prints nothing.
void RemoveShortcutsFromFolders(const FolderPath& programsFolder, const FolderPath& desktopFolder);

// RemoveShortcutsFromFolders for every profile of the profile walk, on the
// profile directory followed by the interactive user's programs and desktop
// folders relative to that user's profile folder. Does nothing when either of
// those folders does not lie inside that user's profile folder (redirected)
// or cannot be resolved. Prints only the profile walk's diagnostics.
void RemoveShortcutsForAllProfiles(const InteractiveUser& user);

// Deletes the legacy start-menu names from the all-users programs folder,
// removes its program group folder if that left it empty, then deletes the
// legacy desktop names from the all-users desktop, writing each desktop path
// to standard output, one per line, before its deletion. The current names
// stay. Does nothing at all when either all-users folder cannot be resolved.
void RemoveAllUsersShortcuts(const InteractiveUser& user);

// RemoveShortcutsFromFolders on the interactive user's own programs and
// desktop folders, resolved directly (a redirected folder is cleared too).
// A folder that lies inside the user's profile folder is reached from the
// profile folder down, each folder on the way held; one outside it (or
// when the profile folder cannot be resolved) from the folder itself. Does
// nothing when either folder cannot be resolved. Prints nothing.
void RemoveCurrentUserShortcuts(const InteractiveUser& user);
