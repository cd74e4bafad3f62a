#include "cleanup/uninstall.h"

#include "files/folder_tree.h"
#include "files/held_folder.h"
#include "platform/platform.h"
#include "profiles/profile_list.h"
#include "shortcuts/startup_shortcut.h"

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

}  // namespace

void RemoveLocalAppDataFolderForAllProfiles(const PlainFolderName& folderName) {
  ForEachProfileDirectory([&](const std::wstring& profile) {
    // Every folder from the profile directory down to the one that holds
    // the data folder is held; the data folder is then removed inside it.
    const std::wstring relative = std::wstring(LocalAppDataFolder()) + L"\\" + folderName.text();
    const std::size_t last = relative.rfind(L'\\');
    FolderChain chain;
    const FolderPath above{profile, relative.substr(0, last)};
    if (!chain.Open(above)) {
      ReportDeletion(false, chain.Named(above));
      return;
    }
    RemoveFolderTreeIn(chain.last(), relative.substr(last + 1), chain.text() + relative.substr(last));
  });
}

void RunUninstallCommand(const InteractiveUser& user, int argc, wchar_t** argv) {
  RemoveStartupShortcutsForAllProfiles(user);
  // Without a usable name only the start-up shortcuts go: an empty name or
  // one with ".." would address the application-data folder itself or a
  // folder outside it.
  if (argc < 3) return;
  if (const std::optional<PlainFolderName> folderName = CheckPlainFolderName(argv[2])) {
    RemoveLocalAppDataFolderForAllProfiles(*folderName);
  }
}
