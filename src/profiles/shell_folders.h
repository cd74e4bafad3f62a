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
// inside base. Letter case does not count, as on NTFS.
bool RelativeFolder(const std::wstring& base, const std::wstring& folder, std::wstring* relative);

// The path of folderCsidl with the path of baseCsidl cut off its front: for a
// folder inside the profile, "\AppData\...", ready to append to any profile
// directory. The cut must fall at a path separator: the rest is empty (the
// folder is the base itself) or a backslash followed by plain folder names
// (IsPlainFolderName: no "." or "..", no name Windows would trim, no empty
// name), so that it cannot lead out of any profile it is appended to. False, leaving
// relative unchanged, when either look-up fails or the folder does not lie
// inside the base (letter case does not count).
bool GetProfileRelativeFolder(const InteractiveUser& user, int baseCsidl, int folderCsidl, std::wstring* relative);

// The signed-in user's folder csidl (kCsidlPrograms, kCsidlStartup or
// kCsidlDesktopDirectory) relative to her profile folder, to be carried to
// every profile, only in a shape that a real set-up gives it: her layout is
// hers to set (her shell folders need no rights), and a layout carried to
// every profile must not turn one folder of the others' into another. So
// the programs folder and the start-up folder only at their default places
// ("\AppData\Roaming\Microsoft\Windows\Start Menu\Programs" and its
// "\Startup", or "\Start Menu\Programs" and its "\Startup" before
// Windows Vista); the desktop at "\Desktop" or anywhere else in the profile
// outside "\AppData" and the start menu folder (a OneDrive folder backup's
// "\OneDrive - <organisation>\Desktop"), so that it never coincides with
// nor nests in another carried folder. False, leaving relative unchanged,
// for any other shape, or when GetProfileRelativeFolder fails.
bool GetCarriedFolder(const InteractiveUser& user, int csidl, std::wstring* relative);
