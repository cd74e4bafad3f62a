#include "profiles/shell_folders.h"

#include "common/ignore_case.h"
#include "common/plain_folder_name.h"
#include "common/report.h"
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

namespace {

// Whether the relative folder rest is folder itself or lies inside it.
bool Within(const std::wstring& rest, const std::wstring& folder) {
  return rest.size() >= folder.size() && NamesEqualIgnoreCase(rest.substr(0, folder.size()), folder) &&
         (rest.size() == folder.size() || rest[folder.size()] == L'\\');
}

// Where Windows puts the folders a layout carries, relative to the profile
// folder: from Windows Vista on, and before.
constexpr const wchar_t* kAppDataFolder = L"\\AppData";
constexpr const wchar_t* kStartMenuFolders[] = {L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", L"\\Start Menu"};
constexpr const wchar_t* kProgramsBelowStartMenu = L"\\Programs";
constexpr const wchar_t* kStartupBelowPrograms = L"\\Startup";

bool IsCarriedShape(int csidl, const std::wstring& rest) {
  for (const wchar_t* startMenu : kStartMenuFolders) {
    const std::wstring programs = std::wstring(startMenu) + kProgramsBelowStartMenu;
    if (csidl == kCsidlPrograms && NamesEqualIgnoreCase(rest, programs)) return true;
    if (csidl == kCsidlStartup && NamesEqualIgnoreCase(rest, programs + kStartupBelowPrograms)) return true;
    // A desktop anywhere else in the profile lies outside every folder
    // carried beside it, and none of them inside it.
    if (csidl == kCsidlDesktopDirectory && Within(rest, startMenu)) return false;
  }
  return csidl == kCsidlDesktopDirectory && !rest.empty() && !Within(rest, kAppDataFolder);
}

}  // namespace

bool RelativeFolder(const std::wstring& base, const std::wstring& folder, std::wstring* relative) {
  if (folder.size() < base.size() || !NamesEqualIgnoreCase(folder.substr(0, base.size()), base)) return false;
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

// The folder's name in the decision log.
std::wstring FolderWord(int csidl) {
  return csidl == kCsidlPrograms  ? L"her start-menu programs folder"
         : csidl == kCsidlStartup ? L"her start-up folder"
                                  : L"her desktop";
}

bool GetCarriedFolder(const InteractiveUser& user, int csidl, std::wstring* relative) {
  std::wstring rest;
  if (!GetProfileRelativeFolder(user, kCsidlProfile, csidl, &rest)) {
    if (report::On())
      report::Say(L"skipped", L"every profile",
                  L"layout refused: " + FolderWord(csidl) + L" not inside the profile folder, or not known");
    return false;
  }
  if (!IsCarriedShape(csidl, rest)) {
    if (report::On())
      report::Say(L"skipped", L"every profile", L"layout refused: " + FolderWord(csidl) + L" at <profile>" + rest);
    return false;
  }
  *relative = std::move(rest);
  return true;
}
