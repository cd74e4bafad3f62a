// The rule for folder names that the tool appends to a folder it works in:
// the "--uninstall" data folder name, and a profile-relative shell folder.
#pragma once

#include <string>

// True when name is one or more plain folder names separated by single
// backslashes, so that it can only address a folder below the folder it is
// appended to. False for an empty name; an absolute, drive-qualified, rooted
// or UNC name; an empty component (a leading, trailing or doubled
// backslash); a forward slash anywhere (Windows takes it for a separator);
// a character Windows does not allow in a file name (":" "*" "?" "\"" "<" ">"
// "|" and control characters); and a component that ends in a dot or a blank,
// "." and ".." included: Windows drops trailing dots and blanks, so "..." or
// ". " would address the folder above, and "a.\b" the folder "a\b".
bool IsPlainFolderName(const std::wstring& name);
