#include "cleanup/uninstall.h"

#include "cleanup/folder_tree.h"
#include "platform/platform.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// The local application-data folder below a profile directory: from Windows
// Vista (major version 6) on, and before.
constexpr Dword kFirstVistaMajorVersion = 6;
constexpr const wchar_t* kLocalAppDataFolder = L"\\AppData\\Local";
constexpr const wchar_t* kLegacyLocalAppDataFolder = L"\\Local Settings\\Application Data";

const wchar_t* LocalAppDataFolder() {
  OsVersionInfo version{};
  version.dwOSVersionInfoSize = kOsVersionInfoSize;
  GetVersionExW(&version);  // a failed call leaves the major version 0
  return version.dwMajorVersion >= kFirstVistaMajorVersion ? kLocalAppDataFolder : kLegacyLocalAppDataFolder;
}

// True when every folder between directory and the last component of
// relative (which begins with a backslash) is a real folder, not a link.
// The data folder itself is not examined here: RemoveFolderTree handles it
// being a link or absent.
bool LeadsThroughRealFolders(const std::wstring& directory, const std::wstring& relative) {
  const std::size_t last = relative.rfind(L'\\');
  for (std::size_t cut = relative.find(L'\\', 1); cut != std::wstring::npos && cut <= last;
       cut = relative.find(L'\\', cut + 1)) {
    const std::wstring folder = directory + relative.substr(0, cut);
    const Dword attributes = GetFileAttributesW(folder.c_str());
    if (attributes == kInvalidFileAttributes) return false;  // absent (nothing to do) or unreadable
    if (attributes & kFileAttributeReparsePoint) return false;
    if (!(attributes & kFileAttributeDirectory)) return false;
  }
  return true;
}

}  // namespace

void RemoveStartupShortcutsForAllProfiles() {
  const ShortcutNames names = StartupShortcutNames();
  std::wstring startup;
  if (!GetProfileRelativeFolder(kCsidlProfile, kCsidlStartup, &startup)) return;
  ForEachProfileDirectory([&](const std::wstring& profile) {
    const std::wstring folder = profile + startup + L"\\";
    for (const std::wstring& name : names) DeleteFileW((folder + name).c_str());
  });
}

void RemoveLocalAppDataFolderForAllProfiles(const std::wstring& folderName) {
  if (!IsPlainFolderName(folderName)) return;
  ForEachProfileDirectory([&](const std::wstring& profile) {
    const std::wstring relative = std::wstring(LocalAppDataFolder()) + L"\\" + folderName;
    if (!LeadsThroughRealFolders(profile, relative)) return;
    RemoveFolderTree(profile + relative);
  });
}

void RunUninstallCommand(int argc, wchar_t** argv) {
  RemoveStartupShortcutsForAllProfiles();
  // Without a usable name only the start-up shortcuts go: an empty name or
  // one with ".." would address the application-data folder itself or a
  // folder outside it.
  if (argc < 3 || !IsPlainFolderName(argv[2])) return;
  RemoveLocalAppDataFolderForAllProfiles(argv[2]);
}
