// The tool's one recursive removal.
#pragma once

#include <string>

#include "common/plain_folder_name.h"

// Removes the folder at path (no trailing backslash) with all its content,
// depth first. Returns 0 when the folder is gone or was never there, -1 when
// something stayed or could not be examined.
//
// It never follows a link: an entry that carries FILE_ATTRIBUTE_REPARSE_POINT
// (junction, symbolic link to a folder or a file), and path itself when it is
// one, is removed as the link (RemoveDirectoryW for a folder entry, DeleteFileW
// for a file entry) and what it points at is left untouched. Entry names are
// used exactly as listed: path is read once as Windows reads it (its full
// form) and the walk works on the "\\?\" form of that, so Windows neither
// trims an entry's name on the way ("sub." is not "sub", whatever the path
// above it looks like) nor stops at MAX_PATH. A path without a full form on a
// drive or share is left alone (-1). Attributes are never changed: hidden
// and system files go like any other, a read-only file stays and so do the
// folders that hold it. A failure does not stop the removal: it goes on with
// the next entry. A path that names a plain file is left alone (-1). Per entry
// it makes one enumeration step and one delete.
int RemoveFolderTree(const std::wstring& path);
