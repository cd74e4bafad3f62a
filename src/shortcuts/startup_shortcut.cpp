#include "shortcuts/startup_shortcut.h"

#include <vector>

#include "common/decimal_text.h"
#include "platform/handles.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// The new shortcut is written under a temporary name first, "~Vantorel
// Drive <process id>-<n>.tmp" in the start-up folder itself, so that the
// move into place is a rename on one volume. The process id keeps two runs
// apart; n skips names that are already taken, so no file of the user's (or
// left by an earlier run) is ever overwritten or deleted.
constexpr const wchar_t* kTemporaryNamePrefix = L"\\~Vantorel Drive ";
constexpr const wchar_t* kTemporaryNameSuffix = L".tmp";
constexpr int kTemporaryNameAttempts = 16;

bool FindTemporaryPath(const std::wstring& folder, std::wstring* path) {
  const std::wstring stem = folder + kTemporaryNamePrefix + DecimalText(GetCurrentProcessId()) + L"-";
  for (int n = 0; n < kTemporaryNameAttempts; ++n) {
    std::wstring candidate = stem + DecimalText(n) + kTemporaryNameSuffix;
    if (!PathFileExistsW(candidate.c_str())) {
      *path = std::move(candidate);
      return true;
    }
  }
  return false;
}

// Puts a new shortcut to target at linkPath, replacing any file there in one
// step. True when it is in place; false when nothing at linkPath changed, or
// (see the end) when it is in place but hidden.
bool PutShortcutInPlace(const std::wstring& folder, const std::wstring& target, const std::wstring& linkPath) {
  std::wstring temporary;
  if (!FindTemporaryPath(folder, &temporary)) return false;
  if (!CreateShortcut(target, temporary, kStartupShortcutDescription)) {
    DeleteFileW(temporary.c_str());  // a save that failed part-way may have left a file
    return false;
  }

  // Explorer opens every visible file of a Startup folder at logon, whatever
  // its name; hidden ones it passes over. Hidden, a temporary file that ever
  // stayed behind (the run killed, or the file held open by a scanner so it
  // can be neither moved nor deleted) starts nothing.
  const Dword written = GetFileAttributesW(temporary.c_str());
  const bool hidden = written != kInvalidFileAttributes &&
                      SetFileAttributesW(temporary.c_str(), (written & ~kFileAttributeNormal) | kFileAttributeHidden);

  if (!MoveFileExW(temporary.c_str(), linkPath.c_str(), kMoveFileReplaceExisting)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  // The rename keeps the hidden attribute. A hidden shortcut would not be
  // started at logon: if it cannot be shown, the caller keeps the old names,
  // which still start the client.
  if (hidden && !SetFileAttributesW(linkPath.c_str(), written)) return false;
  return true;
}

}  // namespace

bool CreateShortcut(const std::wstring& target, const std::wstring& linkPath, const std::wstring& description) {
  UniqueShellLink link;
  if (CreateShellLink(link.put()) != kSOk) return false;
  // S_FALSE here only means the target does not exist yet, which is fine
  // during an installation; a failure would leave a shortcut to nothing.
  if (ShellLinkSetPath(link.get(), target.c_str()) < 0) return false;
  ShellLinkSetDescription(link.get(), description.c_str());
  UniquePersistFile file;
  if (ShellLinkQueryPersistFile(link.get(), file.put()) != kSOk) return false;
  // On return the persistence interface is released, then the link object.
  return PersistFileSave(file.get(), linkPath.c_str(), /*remember=*/true) == kSOk;
}

void ReplaceStartupShortcut(const std::wstring& folder, const std::wstring& target) {
  const std::wstring linkPath = folder + L"\\" + kCurrentShortcutName;

  std::vector<std::wstring> present;
  for (const std::wstring& name : StartupShortcutNames()) {
    std::wstring path = folder + L"\\" + name;
    if (PathFileExistsW(path.c_str())) present.push_back(std::move(path));
  }
  // No start-up shortcut: the user does not have the client start at logon.
  if (present.empty()) return;

  // The new shortcut first: until it is in place, every old one stays.
  if (!PutShortcutInPlace(folder, target, linkPath)) return;
  for (const std::wstring& old : present) {
    if (old != linkPath) DeleteFileW(old.c_str());  // one that cannot go stays beside the new one
  }
}

void UpgradeStartupShortcut() {
  // The shell link object needs an apartment. It is never left: the process
  // ends soon after this command.
  CoInitialize(/*reserved=*/nullptr);

  std::wstring programFiles;
  if (GetProgramFilesFolder(&programFiles) < 0) return;
  const std::wstring launcher = programFiles + kLauncherRelativePath;

  std::wstring startupRelative;
  if (!GetProfileRelativeFolder(kCsidlProfile, kCsidlStartup, &startupRelative)) return;

  ForEachProfileDirectory([&](const std::wstring& profileDirectory) {
    ReplaceStartupShortcut(profileDirectory + startupRelative, launcher);
  });
}
