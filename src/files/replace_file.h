// A file replaced in one step inside a held folder: the new content is
// written to a hidden temporary file beside the current one and renamed
// over it, so that the folder holds either the old file or the whole new
// one, never a part.
#pragma once

#include <string>

#include "platform/platform.h"

// Writes the new content of a file through the handle it is given (opened
// for writing, positioned at the start); true when all of it was written.
using FileWriter = bool (*)(platform::Handle file, const void* context);

// Puts a new file at name in the held folder (a handle, see held_folder.h),
// replacing any entry of that name in one step. The new file is created as
// "<temporaryPrefix><process id>-<n>.tmp" in that folder (n skips names
// that are taken, so nothing of anybody else's is overwritten), hidden,
// shared for reading only; write(file, context) fills it; it then gets
// finalAttributes and is renamed over name relative to the folder's handle.
// True when it is in place. False when nothing under name changed: the
// temporary file is then deleted, or, when it cannot be, left hidden.
bool ReplaceFileInFolder(platform::Handle folder, const std::wstring& name, const std::wstring& temporaryPrefix,
                         platform::Dword finalAttributes, FileWriter write, const void* context);
