#include "profiles/shell_folders.h"

#include "common/plain_folder_name.h"
#include "platform/platform.h"
#include "process/interactive_user_token.h"

using namespace platform;

bool LookUpShellFolder(int csidl, std::wstring* path) {
  wchar_t buffer[kMaxPath] = {};
  if (SHGetFolderPathW(/*owner=*/nullptr, csidl, InteractiveUserToken(), kShgfpTypeCurrent, buffer) != kSOk) {
    return false;
  }
  buffer[kMaxPath - 1] = L'\0';
  *path = buffer;
  return true;
}

int GetProgramFilesFolder(std::wstring* folder) {
  if (LookUpShellFolder(kCsidlProgramFilesX86, folder)) return 0;
  if (LookUpShellFolder(kCsidlProgramFiles, folder)) return 0;
  return -1;
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

bool GetProfileRelativeFolder(int baseCsidl, int folderCsidl, std::wstring* relative) {
  std::wstring base;
  if (!LookUpShellFolder(baseCsidl, &base)) return false;
  std::wstring folder;
  if (!LookUpShellFolder(folderCsidl, &folder)) return false;
  return RelativeFolder(base, folder, relative);
}
