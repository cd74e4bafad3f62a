#include "shortcuts/startup_shortcut.h"

#include <utility>
#include <vector>

#include "common/report.h"
#include "files/held_folder.h"
#include "files/replace_file.h"
#include "platform/handles.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

constexpr Dword kShortcutAttributes = kFileAttributeArchive;
constexpr Dword kReadBufferBytes = 4096;

// Whether the held folder has an entry of that name, of any kind. One that
// cannot even be opened to look at it counts as not there: the upgrade never
// turns on start at logon for a user on a guess.
bool Present(Handle folder, const std::wstring& name) {
  UniqueFileHandle entry;
  const EntryKind kind = OpenEntry(folder, name, kFileReadAttributes | kSynchronize, &entry);
  return kind != EntryKind::kMissing && kind != EntryKind::kUnknown;
}

// What upgrades cut short left in a start-up folder's chain: in the folder
// that holds the start-up folder, where the temporary file is made, any
// file of the tool's temporary name (it has the shortcut's attributes from
// the start); in the start-up folder, the hidden ones that older versions,
// which made it there, left. A visible file of such a name in a start-up
// folder was never the tool's, and stays.
void RemoveLeftoverShortcutFiles(const FolderChain& chain, const std::wstring& path) {
  if (chain.above() != nullptr) {
    RemoveLeftoverTemporaryFiles(chain.above(), kTemporaryShortcutPrefix, /*requiredAttributes=*/0,
                                 path.substr(0, path.rfind(L'\\')));
  }
  RemoveLeftoverTemporaryFiles(chain.last(), kTemporaryShortcutPrefix, kFileAttributeHidden, path);
}

}  // namespace

bool MakeShortcutBytes(const std::wstring& target, const std::wstring& description, std::vector<unsigned char>* bytes) {
  UniqueShellLink link;
  if (CreateShellLink(link.put()) != kSOk) return false;
  // S_FALSE here only means the target does not exist yet, which is fine
  // during an installation; a failure would leave a shortcut to nothing.
  if (ShellLinkSetPath(link.get(), target.c_str()) < 0) return false;
  ShellLinkSetDescription(link.get(), description.c_str());
  UniquePersistStream persist;
  if (ShellLinkQueryPersistStream(link.get(), persist.put()) != kSOk) return false;
  UniqueStream stream;
  if (CreateStreamOnHGlobal(/*deleteOnRelease=*/true, stream.put()) != kSOk) return false;
  if (PersistStreamSave(persist.get(), stream.get(), /*clearDirty=*/true) != kSOk) return false;
  // The bytes saved, from the start of the stream.
  if (StreamSeek(stream.get(), 0, kStreamSeekSet, nullptr) != kSOk) return false;
  std::vector<unsigned char> saved;
  for (;;) {
    unsigned char chunk[kReadBufferBytes];
    Dword read = 0;
    if (StreamRead(stream.get(), chunk, sizeof(chunk), &read) < 0) return false;
    saved.insert(saved.end(), chunk, chunk + read);
    if (read < sizeof(chunk)) break;
  }
  if (saved.empty()) return false;
  *bytes = std::move(saved);
  return true;
}

void ReplaceStartupShortcut(const FolderPath& folder, const std::wstring& target) {
  FolderChain chain;
  if (!chain.Open(folder)) return;
  const Handle held = chain.last();
  // The new shortcut is made in the folder above, never in the start-up
  // folder itself: without one, nothing is upgraded here.
  const Handle staging = chain.above();
  if (staging == nullptr) return;
  RemoveLeftoverShortcutFiles(chain, chain.text());

  std::vector<std::wstring> present;
  for (const std::wstring& name : StartupShortcutNames()) {
    if (Present(held, name)) present.push_back(name);
  }
  // No start-up shortcut: the user does not have the client start at logon.
  if (present.empty()) return;

  // The new shortcut first: until it is in place, every old one stays.
  // Its bytes are made before anything is written; the temporary file they
  // are written to, in the folder above, is named, like the shortcut, after
  // the client: "~<client> <process id>-<n>.tmp".
  std::vector<unsigned char> shortcut;
  if (!MakeShortcutBytes(target, kProductName, &shortcut)) return;
  const std::wstring current = chain.text() + L"\\" + kCurrentShortcutName;
  if (!ReplaceFileInFolder(staging, held, kCurrentShortcutName, kTemporaryShortcutPrefix, kShortcutAttributes,
                           shortcut)) {
    if (report::On()) report::Say(L"left", current, L"could not be written");
    return;
  }
  if (report::On()) report::Say(L"wrote", current);
  for (const std::wstring& old : present) {
    // One that cannot go stays beside the new one.
    if (old != kCurrentShortcutName) ReportDeletion(DeleteFileNamed(held, old), chain.text() + L"\\" + old);
  }
}

void UpgradeStartupShortcut(const InteractiveUser& user) {
  // The shell link object needs an apartment. It is never left: the process
  // ends soon after this command.
  CoInitialize(/*reserved=*/nullptr);

  std::wstring programFiles;
  if (!GetProgramFilesFolder(user, &programFiles)) return;
  const std::wstring launcher = programFiles + kLauncherRelativePath;

  std::wstring startupRelative;
  if (!GetCarriedFolder(user, kCsidlStartup, &startupRelative)) return;

  ForEachProfileDirectory([&](const std::wstring& profileDirectory) {
    ReplaceStartupShortcut({profileDirectory, startupRelative}, launcher);
  });
}

void RemoveStartupShortcutsForAllProfiles(const InteractiveUser& user) {
  const ShortcutNames names = StartupShortcutNames();
  std::wstring startup;
  if (!GetCarriedFolder(user, kCsidlStartup, &startup)) return;
  ForEachProfileDirectory([&](const std::wstring& profile) {
    FolderChain chain;
    const FolderPath folder{profile, startup};
    if (!chain.Open(folder)) {
      ReportDeletion(false, chain.Named(folder));
      return;
    }
    for (const std::wstring& name : names) {
      ReportDeletion(DeleteFileNamed(chain.last(), name), chain.text() + L"\\" + name);
    }
    RemoveLeftoverShortcutFiles(chain, chain.text());
  });
}
