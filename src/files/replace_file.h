// A file replaced in one step inside a held folder: the new content is
// written whole to a temporary file in another held folder of the same
// volume and renamed over the current one, so that the target folder holds
// either the old file or the whole new one, never a part, and never the
// temporary file.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Puts a new file at name in the held folder (a handle, see held_folder.h),
// replacing any entry of that name in one step. An entry of that name that
// cannot be opened for deletion (in use, or under an opportunistic lock) is
// left as it is, and nothing is written. The new file is created as
// "<temporaryPrefix><process id>-<n>.tmp" in the held staging folder (n
// skips names that are taken, so nothing of anybody else's is overwritten),
// with finalAttributes, shared with nobody; content is written into it
// (WriteAll); its bytes are flushed to the disk; it is renamed over name in
// folder, relative to that folder's handle, and the rename is flushed too.
// True when all of that succeeded: only then may the caller let go of what
// the new file replaces. False when the rename did not take place (the
// temporary file is then deleted, or, when it cannot be, left in the
// staging folder), or, after it, when the new file could not be flushed.
bool ReplaceFileInFolder(platform::Handle staging, platform::Handle folder, const std::wstring& name,
                         const std::wstring& temporaryPrefix, platform::Dword finalAttributes,
                         const std::vector<unsigned char>& content);

// Deletes, in the held folder, the temporary files that an earlier run cut
// short left there: "<temporaryPrefix><digits>-<digits>.tmp", plain files
// that have every one of requiredAttributes (as the listing and their own
// handle tell). A file of such a name without them stays; so does one that
// another run is still writing (it cannot be opened for deletion).
// reportAs: the folder's path, for the decision log.
void RemoveLeftoverTemporaryFiles(platform::Handle folder, const std::wstring& temporaryPrefix,
                                  platform::Dword requiredAttributes, const std::wstring& reportAs);
