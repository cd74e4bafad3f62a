// Shell folders, always resolved for the user at the desktop.
#pragma once

#include <string>

#include "process/interactive_user.h"

// SHGetFolderPathW(no window, csidl, the interactive user's token,
// SHGFP_TYPE_CURRENT) into a MAX_PATH buffer. True and path set only when the
// call returns exactly S_OK; otherwise path is left as it was.
bool LookUpShellFolder(const InteractiveUser& user, int csidl, std::wstring* path);

// The 32-bit program-files folder, or the native one when that look-up
// fails. False, leaving folder unchanged, when neither is found.
bool GetProgramFilesFolder(const InteractiveUser& user, std::wstring* folder);

// folder with base cut off its front, as GetProfileRelativeFolder below
// does it. False, leaving relative unchanged, when folder does not lie
// inside base.
bool RelativeFolder(const std::wstring& base, const std::wstring& folder, std::wstring* relative);

// The path of folderCsidl with the path of baseCsidl cut off its front: for a
// folder inside the profile, "\AppData\...", ready to append to any profile
// directory. The cut must fall at a path separator: the rest is empty (the
// folder is the base itself) or a backslash followed by plain folder names
// (IsPlainFolderName: no "." or "..", no name Windows would trim, no empty
// name), so that it cannot lead out of any profile it is appended to. False, leaving
// relative unchanged, when either look-up fails or the folder does not lie
// inside the base (compared case-sensitively).
bool GetProfileRelativeFolder(const InteractiveUser& user, int baseCsidl, int folderCsidl, std::wstring* relative);
