// The tool's one recursive removal, made by handle.
#pragma once

#include <string>

#include "common/plain_folder_name.h"
#include "platform/platform.h"

// Removes the folder name inside the held folder parent (a handle, see
// files/held_folder.h) with all its content, depth first. True when the
// folder is gone or was never there, false when something stayed or could
// not be examined.
//
// Every folder is listed through its own handle and every entry opened
// relative to the held folder that lists it, with FILE_OPEN_REPARSE_POINT;
// what an entry is, is decided from its opened handle, never from the
// listing (the listing can only make it more careful: an entry that the
// handle shows as a real folder but the listing as a reparse point is left
// alone). A link (junction, symbolic link) goes as the link and what it
// points at is not touched; any other reparse point (a cloud placeholder, a
// deduplicated file) is neither entered nor removed; a real folder is
// entered only while the tool holds it open without delete sharing, so
// nobody can put a link in its place meanwhile. Entries are deleted through
// their handles, with POSIX semantics where Windows offers them, so that an
// entry another program holds open does not linger and keep its folder.
// Names are used exactly as listed, with no MAX_PATH limit. Attributes are
// never changed: hidden and system files go like any other, a read-only
// file stays and so do the folders that hold it. A failure does not stop
// the removal: it goes on with the next entry. A file of that name is left
// alone (false).
// reportAs: the folder's path for the decision log (common/report.h): one
// line for the tree with its counts, and one for each entry left inside.
bool RemoveFolderTreeIn(platform::Handle parent, const std::wstring& name,
                        const std::wstring& reportAs = std::wstring());

// The same for the folder at path (no trailing backslash), read once as
// Windows reads it (its full form) and used in its "\\?\" form: the folder
// that holds it may be reached through links, the folder itself is then
// opened inside it. A path without a full form on a drive or share is left
// alone (false).
bool RemoveFolderTree(const std::wstring& path);
