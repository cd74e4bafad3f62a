// The client's start-up shortcuts. "--admin-upgrade-startup-shortcut": every
// profile's start-up shortcut, under any name the client has used, becomes
// one current shortcut to the launcher; a profile without one gets none.
// "--uninstall": every profile's start-up shortcuts go.
#pragma once

#include <string>
#include <vector>

#include "common/product_names.h"
#include "files/held_folder.h"
#include "platform/platform.h"
#include "process/interactive_user.h"

// The command. Enters a single-threaded COM apartment (never left), forms the
// launcher path below the program-files folder and the interactive user's
// start-up folder relative to that user's profile, and applies
// ReplaceStartupShortcut to that relative folder below every profile
// directory. Does nothing when either folder cannot be resolved or the
// profile list cannot be opened.
void UpgradeStartupShortcut(const InteractiveUser& user);

// One start-up folder, reached and held by handle (a folder on the way that
// is a link, or cannot be opened and checked, is left alone). When any
// start-up shortcut name is present, writes a new "Vantorel Drive.lnk"
// pointing at target and only then deletes the other names that were
// present; an old file that cannot be deleted stays beside it. The new
// shortcut is written through the handle of a temporary file, visible as
// the shortcut will be, created in the held folder that holds the start-up
// folder (nothing of the tool's but the whole shortcut ever stands in a
// start-up folder, whose every file Explorer opens at logon), and renamed
// into the start-up folder over "Vantorel Drive.lnk" relative to that
// folder's handle; if it cannot be written or renamed into place every old
// shortcut stays and the temporary file goes. First the leftovers of runs
// cut short go, in both folders, as the uninstall removes them. A folder
// holding none of the names gets nothing; a start-up folder that is the
// first folder of its chain (no held folder above it) is left alone.
void ReplaceStartupShortcut(const FolderPath& folder, const std::wstring& target);

// The bytes of a shortcut made by the shell link object, with target as its
// path and description as its description, nothing else set: what the link
// object's IPersistStream saves into a memory stream, read back from its
// start. True when the link object, its stream and every read succeeded and
// gave at least one byte; false, leaving bytes as it was, otherwise.
bool MakeShortcutBytes(const std::wstring& target, const std::wstring& description, std::vector<unsigned char>* bytes);

// Deletes every start-up shortcut name of the client (StartupShortcutNames)
// from the start-up folder of every profile, through a handle opened inside
// the held start-up folder (a link of that name goes as the link). The
// start-up folder is the interactive user's, relative to that user's profile
// folder, appended to each profile directory; when it does not lie inside
// the profile folder, or cannot be resolved, nothing is deleted; a folder on
// the way that is a link leaves that profile alone. In each start-up folder
// it reaches, and in the held folder above it, it also removes the
// temporary files upgrades cut short left there: in the folder above any
// file of the tool's temporary name, in the start-up folder the hidden ones
// of older versions. Writes and removes nothing else.
void RemoveStartupShortcutsForAllProfiles(const InteractiveUser& user);
