#include "profiles/shell_folders.h"

#include "common/plain_folder_name.h"
#include "platform/platform.h"

using namespace platform;

bool LookUpShellFolder(const InteractiveUser& user, int csidl, std::wstring* path) {
  wchar_t buffer[kMaxPath] = {};
  if (SHGetFolderPathW(/*owner=*/nullptr, csidl, user.token.get(), kShgfpTypeCurrent, buffer) != kSOk) {
    return false;
  }
  buffer[kMaxPath - 1] = L'\0';
  *path = buffer;
  return true;
}

bool GetProgramFilesFolder(const InteractiveUser& user, std::wstring* folder) {
  return LookUpShellFolder(user, kCsidlProgramFilesX86, folder) || LookUpShellFolder(user, kCsidlProgramFiles, folder);
}

bool RelativeFolder(const std::wstring& base, const std::wstring& folder, std::wstring* relative) {
  if (folder.compare(0, base.size(), base) != 0) return false;
  std::wstring rest = folder.substr(base.size());
  // "C:\Users\bobby\Desktop" shares its first characters with the profile
  // "C:\Users\bob" but does not lie inside it.
  if (!rest.empty() && rest[0] != L'\\') return false;
  // Nor does "C:\Users\bob\..\alice\Desktop": shell folders come from the
  // user's own registry, and the rest is applied below every profile, so it
  // must be plain folder names that Windows cannot read as a way out.
  if (!rest.empty() && !IsPlainFolderName(rest.substr(1))) return false;
  *relative = std::move(rest);
  return true;
}

bool GetProfileRelativeFolder(const InteractiveUser& user, int baseCsidl, int folderCsidl, std::wstring* relative) {
  std::wstring base;
  if (!LookUpShellFolder(user, baseCsidl, &base)) return false;
  std::wstring folder;
  if (!LookUpShellFolder(user, folderCsidl, &folder)) return false;
  return RelativeFolder(base, folder, relative);
}
