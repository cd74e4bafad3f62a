// A file replaced in one step inside a held folder: the new content is
// written to a hidden temporary file beside the current one and renamed
// over it, so that the folder holds either the old file or the whole new
// one, never a part.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Puts a new file at name in the held folder (a handle, see held_folder.h),
// replacing any entry of that name in one step. An entry of that name that
// cannot be opened for deletion (in use, or under an opportunistic lock) is
// left as it is, and nothing is written. The new file is created as
// "<temporaryPrefix><process id>-<n>.tmp" in that folder (n skips names
// that are taken, so nothing of anybody else's is overwritten), hidden,
// shared for reading only; content is written into it (WriteAll); its bytes
// are flushed to the disk; it is renamed over name relative to the folder's
// handle, then gets finalAttributes, and the rename and the attributes are
// flushed too. True when all of that succeeded: only then may the caller
// let go of what the new file replaces. False when the rename did not take
// place (the temporary file is then deleted, or, when it cannot be, left
// hidden), or, after it, when the new file could not be shown or flushed.
bool ReplaceFileInFolder(platform::Handle folder, const std::wstring& name, const std::wstring& temporaryPrefix,
                         platform::Dword finalAttributes, const std::vector<unsigned char>& content);

// Deletes, in the held folder, the hidden temporary files that an earlier
// run cut short left there: "<temporaryPrefix><digits>-<digits>.tmp",
// hidden, plain files. A visible file of such a name is not the tool's
// (the tool's are never shown under that name) and stays; so does one that
// another run is still writing (it cannot be opened for deletion).
void RemoveLeftoverTemporaryFiles(platform::Handle folder, const std::wstring& temporaryPrefix);
