#include "reference_check.h"

#include <cwchar>
#include <iterator>

#include "hostile_machine.h"
#include "known_names.h"
#include "safety_check.h"

namespace hostile {

using namespace platform;
using sim::Fold;
using sim::FsNode;
using sim::Machine;
using Entries = std::map<std::uint64_t, std::wstring>;

namespace {

bool IsLink(const FsNode* n) { return !n->linkTarget.empty() || (n->reparseTag & kReparseTagNameSurrogateBit) != 0; }
bool IsRealFolder(const FsNode* n) { return n->isDirectory && (n->attributes & kFileAttributeReparsePoint) == 0; }
// Neither read-only, nor held open without delete sharing, nor protected,
// nor under an opportunistic lock a user holds (in use, for this run).
bool Free(const FsNode* n) {
  return !n->inUse && !n->denyDelete && !n->deletePending && !n->userOplock && !n->readHandleOplock &&
         (n->attributes & kFileAttributeReadonly) == 0;
}
// A catalogue entry the command deletes and Windows lets go: a file (a
// cloud placeholder of one, dehydrated or not, included) or a link.
bool Deletable(const FsNode* n) { return (!n->isDirectory || IsLink(n)) && Free(n); }
// Gone at once: a file an indexer holds open may stay pending (without
// POSIX deletes, which the tool stops asking for once Windows refused them)
// and keep its folder.
bool LeavesAtOnce(const FsNode* n) { return !n->scannerOpen; }

// Every entry named so in folder, for the decision log's reasons.
Entries* named = nullptr;

void MustGo(Machine& m, FsNode* folder, const std::vector<std::wstring>& names, Entries* out) {
  // A folder on the way that a user holds an opportunistic lock on is in
  // use: the work there waits for another run.
  for (const FsNode* n = folder; n != nullptr; n = n->parent) {
    if (n->userOplock || n->readHandleOplock) return;
  }
  if (folder == nullptr) return;
  for (const auto& name : names) {
    FsNode* n = Child(folder, name);
    if (n != nullptr && Deletable(n)) (*out)[n->id] = m.files.PathOf(n);
    if (n != nullptr && named != nullptr) (*named)[n->id] = m.files.PathOf(n);
  }
}

// "Vantorel" in folder: the names in it go, and so does the folder itself
// when nothing else was in it; a link in its place goes as the link.
void ClearGroup(Machine& m, FsNode* folder, const std::vector<std::wstring>& names, Entries* out) {
  FsNode* group = folder != nullptr ? Child(folder, L"Vantorel") : nullptr;
  if (group == nullptr) return;
  if (named != nullptr) (*named)[group->id] = m.files.PathOf(group);
  if (IsLink(group)) {
    if (Free(group)) (*out)[group->id] = m.files.PathOf(group);
    return;
  }
  if (!group->isDirectory) return;
  if (IsRealFolder(group) || IsCloudFilesTag(group->reparseTag)) MustGo(m, group, names, out);
  bool emptied = IsRealFolder(group) && Free(group);
  for (const auto& [folded, n] : group->children) {
    bool named = false;
    for (const auto& name : names) named = named || Fold(name) == folded;
    emptied = emptied && named && Deletable(n.get()) && LeavesAtOnce(n.get());
  }
  if (emptied) (*out)[group->id] = m.files.PathOf(group);
}

// An entry of a data folder's tree: a file or link goes when Windows lets it;
// a real folder is emptied of what goes, and goes when nothing stayed. Other
// reparse points stay, with the folders above them. Returns whether n goes
// (delete-pending included).
bool RemoveTree(Machine& m, FsNode* n, Entries* out) {
  bool goes = false;
  if (IsLink(n) || !n->isDirectory) {
    goes = Deletable(n) && (IsLink(n) || (n->attributes & kFileAttributeReparsePoint) == 0);
  } else if (IsRealFolder(n) && Free(n) && !n->denyList) {
    goes = true;
    for (auto& kv : n->children) {
      const bool child = RemoveTree(m, kv.second.get(), out);
      goes = goes && child && LeavesAtOnce(kv.second.get());
    }
  }
  if (goes) (*out)[n->id] = m.files.PathOf(n);
  return goes;
}

// Plain folder names separated by single backslashes, nothing Windows would
// trim, refuse or climb out with.
bool PlainName(const std::wstring& name) {
  for (std::size_t begin = 0;;) {
    const std::size_t end = name.find(L'\\', begin);
    const std::wstring part = name.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    if (part.empty() || part.back() == L'.' || part.back() == L' ') return false;
    for (wchar_t c : part) {
      if (c < L' ' || std::wcschr(L"/:*?\"<>|", c) != nullptr) return false;
    }
    if (end == std::wstring::npos) return true;
    begin = end + 1;
  }
}

// The account's shell folder relative to her profile folder, made of plain
// folder names: a layout that can be carried over to every profile.
bool Layout(Machine& m, const std::wstring& account, int csidl, std::wstring* relative) {
  return Carried(m, account, csidl, relative) && PlainName(relative->substr(1));
}

// The profile's data folder NAME, below real folders only.
void RemoveDataFolder(Machine& m, const std::wstring& profile, const std::wstring& relative, Entries* out) {
  const std::size_t last = relative.rfind(L'\\');
  FsNode* base = RealChain(m, profile, L"");
  FsNode* parent = RealChain(m, profile, relative.substr(0, last));
  for (FsNode* n = parent; n != nullptr && n != base; n = n->parent) {
    if (!IsRealFolder(n)) return;
  }
  FsNode* data = parent != nullptr ? Child(parent, relative.substr(last + 1)) : nullptr;
  if (data != nullptr && (IsLink(data) || data->isDirectory)) {
    if (named != nullptr) (*named)[data->id] = m.files.PathOf(data);
    RemoveTree(m, data, out);
  }
}

// A start-up folder that holds a start-up shortcut of the client and where a
// new one can be written: it ends with the current one, the old names gone.
void Upgrade(Machine& m, FsNode* folder, ReferenceCheck::Duties* d) {
  if (folder == nullptr || folder->denyWrite || folder->inUse) return;
  bool found = false;
  for (const auto& name : kStartupNames) {
    const FsNode* n = Child(folder, name);
    found = found || (n != nullptr && !n->isDirectory);
  }
  const FsNode* current = Child(folder, kShortcutName);
  if (!found || (current != nullptr && (current->isDirectory || !Free(current) || current->scannerOpen))) return;
  d->upgrades[folder->id] = m.files.PathOf(folder);
  MustGo(m, folder, std::vector<std::wstring>(kStartupNames.begin(), kStartupNames.end() - 1), &d->mustGo);
}

}  // namespace

ReferenceCheck::ReferenceCheck(Machine& m, const std::vector<std::wstring>& args)
    : command_(args.size() >= 2 ? args[1] : L""),
      eventsBefore_(m.files.fsEvents.size()),
      cancelledBefore_(m.cancelledAt.size()) {
  const std::vector<std::wstring> profiles = ProfileDirectories(m, /*reachedOnly=*/true);
  for (const auto& account : Accounts(m)) {
    Duties& d = byLayout_[account];
    named = &d.named;
    std::wstring programs, desktop, startup, folder, other;
    if (command_ == L"--admin-remove-shortcuts") {
      // Every profile, found where the signed-in user's folders lie relative
      // to her profile folder (none when hers are outside it); then the
      // all-users folders, of the old names only.
      if (!Folder(m, account, kCsidlPrograms, &programs) || !Folder(m, account, kCsidlDesktopDirectory, &desktop)) {
        continue;
      }
      if (Layout(m, account, kCsidlPrograms, &programs) && Layout(m, account, kCsidlDesktopDirectory, &desktop)) {
        for (const auto& p : profiles) {
          ClearGroup(m, RealChain(m, p, programs), kGroupNames, &d.mustGo);
          MustGo(m, RealChain(m, p, desktop), kDesktopNames, &d.mustGo);
        }
      }
      if (Folder(m, account, kCsidlCommonPrograms, &folder) &&
          Folder(m, account, kCsidlCommonDesktopDirectory, &other)) {
        ClearGroup(m, RealChain(m, folder, L""), kLegacyGroupNames, &d.mustGo);
        MustGo(m, RealChain(m, other, L""), kLegacyDesktopNames, &d.mustGo);
      }
    } else if (command_ == L"--portable-remove-shortcuts") {
      // The signed-in user's own folders, wherever they are.
      if (!Folder(m, account, kCsidlPrograms, &programs) || !Folder(m, account, kCsidlDesktopDirectory, &desktop)) {
        continue;
      }
      ClearGroup(m, UserFolderChain(m, account, programs, L""), kGroupNames, &d.mustGo);
      MustGo(m, UserFolderChain(m, account, desktop, L""), kDesktopNames, &d.mustGo);
      // Run as another account, the work is done with her rights: only
      // what she may delete, and nothing when her shell's token cannot be
      // taken onto the tool's thread (it refuses duplication).
      if (Fold(account) != Fold(m.processes.Self().user)) {
        bool impersonable = true;
        for (const auto& p : m.processes.list) {
          if (p.alive && p.session == m.processes.Self().session && Fold(p.exeName) == L"EXPLORER.EXE" &&
              Fold(p.user) == Fold(account) && (p.tokenDeniedAccess & (kTokenDuplicate | kTokenQuery)) != 0) {
            impersonable = false;
          }
        }
        for (auto it = d.mustGo.begin(); it != d.mustGo.end();) {
          const FsNode* n = m.files.NodeById(it->first);
          it = impersonable && n != nullptr && Fold(m.files.OwnerOf(n)) == Fold(account) ? std::next(it)
                                                                                         : d.mustGo.erase(it);
        }
      }
    } else if (command_ == L"--admin-upgrade-startup-shortcut") {
      if (!Layout(m, account, kCsidlStartup, &startup)) continue;
      // The 32-bit program-files folder, or the native one when there is none.
      if (!Folder(m, account, kCsidlProgramFilesX86, &folder) && !Folder(m, account, kCsidlProgramFiles, &folder)) {
        continue;
      }
      d.launchers.insert(Fold(folder + kLauncher));
      for (const auto& p : profiles) Upgrade(m, RealChain(m, p, startup), &d);
    } else if (command_ == L"--uninstall") {
      // Every profile's start-up shortcuts, and its data folder when NAME is
      // plain, below the local application-data folder of the Windows version.
      if (Layout(m, account, kCsidlStartup, &startup)) {
        for (const auto& p : profiles) MustGo(m, RealChain(m, p, startup), kStartupNames, &d.mustGo);
      }
      if (args.size() >= 3 && PlainName(args[2])) {
        const std::wstring local =
            m.runtime.osMajor >= 6 ? L"\\AppData\\Local\\" : L"\\Local Settings\\Application Data\\";
        for (const auto& p : profiles) RemoveDataFolder(m, p, local + args[2], &d.mustGo);
      }
    } else if (command_ == L"--remove-all-users-empty-folders") {
      if (Folder(m, account, kCsidlCommonPrograms, &folder)) ClearGroup(m, RealChain(m, folder, L""), {}, &d.mustGo);
      if (Folder(m, account, kCsidlProgramFilesX86, &folder) || Folder(m, account, kCsidlProgramFiles, &folder)) {
        ClearGroup(m, RealChain(m, folder, L""), {}, &d.mustGo);
      }
    }
  }
  named = nullptr;
}

ReferenceCheck::Duties ReferenceCheck::Resolved(Machine& m) const {
  // The layout the run resolved: the account of its folder look-ups. When
  // it is not one account (or none), only what every reading asks for.
  std::set<std::wstring> layouts;
  for (const auto& lookup : m.shell.folderLookups) {
    layouts.insert(lookup.tokenPassed ? lookup.account : m.processes.Self().user);
  }
  Duties duties;
  auto found = layouts.size() == 1 ? byLayout_.find(*layouts.begin()) : byLayout_.end();
  if (found != byLayout_.end()) {
    duties = found->second;
  } else if (!byLayout_.empty()) {
    duties = byLayout_.begin()->second;
    for (const auto& [account, d] : byLayout_) {
      for (auto it = duties.mustGo.begin(); it != duties.mustGo.end();)
        it = d.mustGo.count(it->first) ? std::next(it) : duties.mustGo.erase(it);
      for (auto it = duties.upgrades.begin(); it != duties.upgrades.end();)
        it = d.upgrades.count(it->first) ? std::next(it) : duties.upgrades.erase(it);
      for (auto it = duties.named.begin(); it != duties.named.end();)
        it = d.named.count(it->first) ? std::next(it) : duties.named.erase(it);
      duties.launchers.insert(d.launchers.begin(), d.launchers.end());
    }
  }
  return duties;
}

std::vector<std::wstring> ReferenceCheck::Stayed(Machine& m) const {
  std::vector<std::wstring> stayed;
  for (const auto& [id, path] : Resolved(m).named) {
    const FsNode* n = m.files.NodeById(id);
    if (n != nullptr && !n->detached && !n->deletePending) stayed.push_back(m.files.PathOf(n));
  }
  return stayed;
}

std::vector<std::string> ReferenceCheck::Missed(Machine& m) const {
  const Duties duties = Resolved(m);

  // What a call cancelled after its bound gave up.
  std::set<std::wstring> givenUp;
  for (std::size_t i = cancelledBefore_; i < m.cancelledAt.size(); ++i)
    givenUp.insert(PieceOf(m, command_, m.cancelledAt[i]));
  auto excused = [&](const std::wstring& path) { return givenUp.count(PieceOf(m, command_, path)) != 0; };

  std::vector<std::string> missed;
  for (const auto& [id, path] : duties.mustGo) {
    const FsNode* n = m.files.NodeById(id);
    if (n != nullptr && !n->detached && !n->deletePending && !excused(path)) {
      missed.push_back("left undone: " + Printable(path));
    }
  }
  for (const auto& [id, path] : duties.upgrades) {
    if (excused(path)) continue;
    const FsNode* n = m.files.NodeById(id);
    const FsNode* link = n != nullptr ? Child(n, kShortcutName) : nullptr;
    if (link == nullptr || link->isDirectory || !link->isShortcut ||
        !duties.launchers.count(Fold(link->shortcutTarget)) || link->shortcutDescription != kShortcutDescription ||
        (link->attributes & kFileAttributeHidden) != 0) {
      missed.push_back("no current start-up shortcut to the launcher in: " + Printable(path));
    }
  }
  // The upgrade's temporary files are its own business: none stays.
  for (std::size_t i = eventsBefore_; i < m.files.fsEvents.size(); ++i) {
    const auto& e = m.files.fsEvents[i];
    const FsNode* n = e.kind == sim::FsEventKind::kCreated && e.byTool ? m.files.NodeById(e.node) : nullptr;
    if (n != nullptr && !n->detached && !n->deletePending &&
        Fold(n->name).rfind(Fold(L"~" + kShortcutDescription + L" "), 0) == 0) {
      missed.push_back("left its temporary file: " + Printable(m.files.PathOf(n)));
    }
  }
  return missed;
}

}  // namespace hostile
