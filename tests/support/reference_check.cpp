#include "reference_check.h"

#include "hostile_machine.h"
#include "known_names.h"
#include "safety_check.h"

namespace hostile {

using namespace platform;
using sim::FsNode;
using sim::Machine;

namespace {

// A catalogue entry the command deletes and Windows lets go: a file (a
// cloud placeholder of one, dehydrated or not, included) or a link, not
// read-only, not held open without delete sharing, not protected.
bool Deletable(const FsNode* n) {
  if (n->isDirectory && n->linkTarget.empty() && (n->reparseTag & kReparseTagNameSurrogateBit) == 0) return false;
  return !n->inUse && !n->denyDelete && !n->deletePending && (n->attributes & kFileAttributeReadonly) == 0;
}

void MustGo(FsNode* folder, const std::vector<std::wstring>& names, std::map<std::uint64_t, std::wstring>* out,
            Machine& m) {
  if (folder == nullptr) return;
  for (const auto& name : names) {
    FsNode* n = Child(folder, name);
    if (n != nullptr && Deletable(n)) (*out)[n->id] = m.files.PathOf(n);
  }
}

}  // namespace

ReferenceCheck::ReferenceCheck(Machine& m, const std::vector<std::wstring>& args) {
  const std::wstring command = args.size() >= 2 ? args[1] : L"";
  for (const auto& account : Accounts(m)) {
    std::map<std::uint64_t, std::wstring>& out = mustGoByLayout_[account];
    if (command == L"--admin-remove-shortcuts") {
      // Every profile's desktop, found where the signed-in user's desktop
      // lies relative to her profile folder; nothing when hers is outside it.
      std::wstring programs, desktop;
      if (!Relative(m, account, kCsidlPrograms, &programs) || !Relative(m, account, kCsidlDesktopDirectory, &desktop)) {
        continue;
      }
      for (const auto& profile : ProfileDirectories(m, /*reachedOnly=*/true)) MustGo(RealChain(m, profile, desktop), kDesktopNames, &out, m);
    } else if (command == L"--portable-remove-shortcuts") {
      // The signed-in user's own desktop, wherever it is.
      std::wstring programs, desktop;
      if (!Folder(m, account, kCsidlPrograms, &programs) || !Folder(m, account, kCsidlDesktopDirectory, &desktop)) {
        continue;
      }
      MustGo(UserFolderChain(m, account, desktop, L""), kDesktopNames, &out, m);
    }
  }
}

std::vector<std::string> ReferenceCheck::Missed(Machine& m) const {
  // The layout the run resolved: the account of its desktop look-up.
  std::wstring layout;
  for (const auto& lookup : m.shell.folderLookups) {
    if (lookup.csidl == kCsidlDesktopDirectory) layout = lookup.tokenPassed ? lookup.account : m.processes.Self().user;
  }
  std::vector<std::string> missed;
  auto found = mustGoByLayout_.find(layout);
  if (found == mustGoByLayout_.end()) return missed;
  for (const auto& [id, path] : found->second) {
    const FsNode* n = m.files.NodeById(id);
    if (n != nullptr && !n->detached && !n->deletePending) missed.push_back("left undone: " + Printable(path));
  }
  return missed;
}

}  // namespace hostile
