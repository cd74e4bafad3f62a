// "--admin-upgrade-startup-shortcut": every profile's start-up shortcut,
// under any name the client has used, becomes one current shortcut to the
// launcher. A profile without one gets none.
#pragma once

#include <string>

// The launcher, below the program-files folder.
constexpr const wchar_t* kLauncherRelativePath = L"\\Vantorel\\VantorelDrive\\bin\\launcher.exe";
// The description written into the start-up shortcut.
constexpr const wchar_t* kStartupShortcutDescription = L"Vantorel Drive";

// The command. Enters a single-threaded COM apartment (never left), forms the
// launcher path below the program-files folder and the interactive user's
// start-up folder relative to that user's profile, and applies
// ReplaceStartupShortcut to that relative folder below every profile
// directory. Does nothing when either folder cannot be resolved or the
// profile list cannot be opened.
void UpgradeStartupShortcut();

// One start-up folder (no trailing backslash). When any start-up shortcut
// name is present, writes a new "Vantorel Drive.lnk" pointing at target and
// only then deletes the other names that were present; an old file that
// cannot be deleted stays beside it. The new shortcut is written to a
// temporary file in the same folder and moved over "Vantorel Drive.lnk", so
// if it cannot be written or moved into place every old shortcut stays and
// no temporary file is left. A folder holding none of the names is not
// touched.
void ReplaceStartupShortcut(const std::wstring& folder, const std::wstring& target);

// Writes a shortcut at linkPath through the shell link object, with target
// as its path and description as its description, nothing else set. True
// only when the file was saved; false when the link object, its
// persistence interface or the save failed (a failed save may still have
// left a partial file at linkPath).
bool CreateShortcut(const std::wstring& target, const std::wstring& linkPath, const std::wstring& description);
