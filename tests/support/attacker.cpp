#include "attacker.h"

#include <algorithm>

#include "known_names.h"
#include "safety_check.h"

namespace hostile {

using namespace platform;
using sim::Fold;
using sim::FsNode;
using sim::Machine;

namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const std::wstring kObjectDirectory = L"\\RPC Control";

bool IsRealFolder(const FsNode* n) {
  return n->isDirectory && n->linkTarget.empty() && !(n->attributes & kFileAttributeReparsePoint);
}

// Every name the tool looks for in a folder it has not listed.
std::vector<std::wstring> NamesTheToolLooksFor() {
  std::vector<std::wstring> names = kStartupNames;
  names.insert(names.end(), kDesktopNames.begin(), kDesktopNames.end());
  names.insert(names.end(), kGroupNames.begin(), kGroupNames.end());
  names.push_back(L"Vantorel");
  return names;
}

}  // namespace

Attacker::Attacker(Machine& m, std::uint64_t seed)
    : m_(m), r_(seed * 0x2545F4914F6CDD1Dull + 11), lockKind_(seed * 0x9E3779B97F4A7C15ull + 3) {
  if (!r_.Chance(75)) return;  // this run is not raced
  static const int kPercents[] = {2, 5, 10, 25, 50};
  percent_ = kPercents[r_.Below(5)];
  budget_ = 1 + static_cast<int>(r_.Below(6));

  if (sim::RegKeyNode* list = m.registry.FindKey(kProfileList)) {
    for (const auto& key : list->subkeys) {
      std::wstring dir;
      if (!ProfileDirectoryOf(m, *key, &dir) || dir.empty()) continue;
      const std::wstring canonical = m.files.CanonicalPath(dir + L"\\");
      if (canonical.empty()) continue;
      Dword error = 0;
      const std::wstring verbatim =
          canonical.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + canonical.substr(2) : L"\\\\?\\" + canonical;
      FsNode* root = m.files.Resolve(verbatim, /*followFinal=*/false, &error);
      if (root == nullptr || !IsRealFolder(root)) continue;
      profileRoots_.insert(root->id);
      victimFolders_.push_back(m.files.PathOf(root));
      if (FsNode* local = m.files.FindNode(m.files.PathOf(root) + L"\\AppData\\Local")) {
        if (IsRealFolder(local)) victimFolders_.push_back(m.files.PathOf(local));
      }
    }
  }
  for (const wchar_t* folder : {L"C:\\Windows", L"C:\\Windows\\system32", L"C:\\Program Files (x86)\\Vantorel",
                                L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"}) {
    if (FsNode* n = m.files.FindNode(folder)) {
      if (IsRealFolder(n)) victimFolders_.push_back(folder);
    }
  }
  for (const wchar_t* file : {L"C:\\Windows\\win.ini", L"C:\\Windows\\system32\\kernel32.dll", L"C:\\sentinel.txt",
                              L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\Vantorel Drive.lnk",
                              L"C:\\Program Files\\Common Files\\shared.dll"}) {
    if (FsNode* n = m.files.FindNode(file)) {
      if (!n->isDirectory) victimFiles_.push_back(file);
    }
  }
  if (victimFiles_.empty()) victimFiles_.push_back(L"C:\\sentinel.txt");
  if (victimFolders_.empty()) victimFolders_.push_back(L"C:\\Windows");
  m.afterEveryCall = [this](const std::string&) { AfterCall(); };
}

Attacker::~Attacker() { m_.afterEveryCall = nullptr; }

bool Attacker::Owned(const FsNode* node) const {
  if (node == nullptr || node->detached || node->deletePending) return false;
  for (const FsNode* n = node->parent; n != nullptr; n = n->parent) {
    if (profileRoots_.count(n->id)) return true;
  }
  return false;
}

// A rename needs the entry opened for deletion and its folder for adding a
// name, as for anyone else.
bool Attacker::CanRename(const FsNode* node) const {
  constexpr Dword kAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
  return Owned(node) && !node->denyDelete && m_.files.ShareAllows(node, kDelete, kAll) &&
         m_.files.ShareAllows(node->parent, kFileWriteData, kFileShareRead | kFileShareWrite) &&
         !node->parent->denyWrite;
}

std::wstring Attacker::PickVictimFolder() { return r_.Pick(victimFolders_); }
std::wstring Attacker::PickVictimFile() { return r_.Pick(victimFiles_); }

std::uint64_t Attacker::PlantLink(FsNode* folder, const std::wstring& name, bool directory,
                                  const std::vector<std::wstring>& inside) {
  FsNode* link = m_.files.AddChild(folder, name, directory);
  link->attributes |= kFileAttributeReparsePoint;
  if (!directory) {
    link->linkTarget = m_.files.CanonicalPath(PickVictimFile());
    link->reparseTag = kIoReparseTagSymlink;
    log_.push_back("file link " + Printable(m_.files.PathOf(link)) + " -> " + Printable(link->linkTarget));
    return link->id;
  }
  link->reparseTag = r_.Chance(50) ? kIoReparseTagMountPoint : kIoReparseTagSymlink;
  if (r_.Chance(50)) {
    link->linkTarget = m_.files.CanonicalPath(PickVictimFolder());
  } else {
    // The object manager: every name the tool may look for in this folder
    // leads to a file of someone else's.
    link->reparseTag = kIoReparseTagMountPoint;
    link->linkTarget = kObjectDirectory;
    for (const auto& n : inside) m_.files.AddObjectLink(kObjectDirectory + L"\\" + n, PickVictimFile());
  }
  log_.push_back("link " + Printable(m_.files.PathOf(link)) + " -> " + Printable(link->linkTarget));
  return link->id;
}

void Attacker::AfterCall() {
  if (budget_ <= 0 || !r_.Chance(percent_)) return;
  // What the tool reached last, what lies in it, and the folder above it.
  std::vector<FsNode*> candidates;
  for (const std::uint64_t id : m_.files.recentNodes) {
    FsNode* n = m_.files.NodeById(id);
    if (n == nullptr) continue;
    candidates.push_back(n);
    if (n->parent != nullptr) candidates.push_back(n->parent);
    if (IsRealFolder(n)) {
      for (auto& kv : n->children) candidates.push_back(kv.second.get());
    }
  }
  // (Not what it planted or moved itself: it goes on with the tool's way.)
  candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                  [this](FsNode* n) { return !Owned(n) || own_.count(n->id) != 0; }),
                   candidates.end());
  if (candidates.empty()) return;
  FsNode* target = r_.Pick(candidates);
  --budget_;
  if (r_.Chance(15)) {
    // An opportunistic lock on something of theirs, whose break they will
    // never acknowledge: one that any open breaks, or a Read-Handle one
    // that only a delete or a rename breaks.
    const bool readHandle = lockKind_.Chance(50);
    (readHandle ? target->readHandleOplock : target->userOplock) = true;
    log_.push_back((readHandle ? "read-handle oplock on " : "oplock on ") + Printable(m_.files.PathOf(target)));
    return;
  }
  m_.files.adversaryActing = true;
  const std::uint32_t kind = r_.Below(4);
  FsNode* folder = IsRealFolder(target) || !Owned(target->parent) ? target : target->parent;
  if (kind == 3 && IsRealFolder(folder) && folder->children.empty()) {
    // Where it stands: an empty folder becomes a junction.
    folder->attributes |= kFileAttributeReparsePoint;
    folder->reparseTag = kIoReparseTagMountPoint;
    if (r_.Chance(50)) {
      folder->linkTarget = m_.files.CanonicalPath(PickVictimFolder());
    } else {
      folder->linkTarget = kObjectDirectory;
      for (const auto& n : NamesTheToolLooksFor())
        m_.files.AddObjectLink(kObjectDirectory + L"\\" + n, PickVictimFile());
    }
    m_.files.Journal(sim::FsEventKind::kAttributesChanged, folder);
    own_.insert(folder->id);
    log_.push_back("turned " + Printable(m_.files.PathOf(folder)) + " into a junction to " +
                   Printable(folder->linkTarget));
  } else {
    // Renamed away, a link in its place: the entry itself, or (to reach the
    // names in it) the folder that holds it.
    FsNode* victim = kind == 2 && Owned(folder) && !own_.count(folder->id) ? folder : target;
    if (CanRename(victim)) {
      std::vector<std::wstring> inside = NamesTheToolLooksFor();
      for (const auto& kv : victim->children) inside.push_back(kv.second->name);
      const std::wstring name = victim->name;
      const bool directory = victim->isDirectory;
      const std::wstring moved = name + L"~moved" + std::to_wstring(++renames_);
      m_.files.MoveNode(victim, victim->parent, moved);
      own_.insert(victim->id);
      own_.insert(PlantLink(victim->parent, name, directory, inside));
    } else {
      log_.push_back("could not rename " + Printable(m_.files.PathOf(victim)));
    }
  }
  m_.files.adversaryActing = false;
}

}  // namespace hostile
