// The rule for folder names that the tool appends to a folder it works in:
// the "--uninstall" data folder name, and a profile-relative shell folder.
#pragma once

#include <optional>
#include <string>
#include <utility>

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

// A name that IsPlainFolderName accepted. It is had only from
// CheckPlainFolderName, so a function that takes one is never given an
// unchecked name and checks nothing again.
class PlainFolderName {
 public:
  const std::wstring& text() const { return name_; }

 private:
  explicit PlainFolderName(std::wstring name) : name_(std::move(name)) {}
  friend std::optional<PlainFolderName> CheckPlainFolderName(const std::wstring& name);

  std::wstring name_;
};

// name as a PlainFolderName when IsPlainFolderName accepts it, else empty.
std::optional<PlainFolderName> CheckPlainFolderName(const std::wstring& name);
