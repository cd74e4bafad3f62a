// The simulated file system's tree (files.h): drives and shares, Win32 path
// normalisation, resolution through links and object-manager directories,
// the sharing of opens, removal and moves with their journal.
#include <algorithm>
#include <cwctype>
#include <functional>

#include "sim/constants.h"
#include "sim/files.h"
#include "sim/shortcut_format.h"
#include "sim/names.h"

namespace sim {

using namespace platform;

namespace {
bool InvalidNameCharacter(wchar_t c) {
  return c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}
}  // namespace

FileSystem::FileSystem(const HandleTable& handles) : handles_(handles) {
  auto root = std::make_unique<FsNode>();
  root->id = nextNodeId++;
  root->name = L"C:";
  root->isDirectory = true;
  root->attributes = kFileAttributeDirectory;
  drives[L'C'] = std::move(root);
}

namespace {
// The separator-free part of a UNC path after "\\": "server\share", or
// empty when the path names no share.
std::wstring ShareOf(const std::wstring& s, std::size_t* rest) {
  const std::size_t server = s.find(L'\\', 2);
  if (server == std::wstring::npos || server == 2) return L"";
  std::size_t share = s.find(L'\\', server + 1);
  if (share == server + 1) return L"";
  if (share == std::wstring::npos) share = s.size();
  *rest = share;
  return s.substr(2, share - 2);
}

// "." and ".." resolved (never above the root), empty components dropped;
// with normalise, trailing dots and blanks go as Windows drops them.
std::wstring JoinParts(const std::wstring& root, const std::wstring& rest, bool normalise) {
  std::vector<std::wstring> parts;
  for (const auto& part : SplitPath(rest, L'\\')) {
    if (!normalise) {
      if (!part.empty()) parts.push_back(part);
      continue;
    }
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  if (normalise && !parts.empty()) {
    // A folder on the way loses one trailing dot ("sub.\f" opens "sub\f",
    // checked under Wine); a name of dots alone is kept.
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      std::wstring& part = parts[i];
      if (part.back() == L'.' && part.find_first_not_of(L'.') != std::wstring::npos) part.pop_back();
    }
    std::wstring& last = parts.back();
    while (!last.empty() && (last.back() == L'.' || last.back() == L' ')) last.pop_back();
    if (last.empty()) parts.pop_back();
  }
  std::wstring out = root;
  if (parts.empty()) return out + L"\\";
  for (const auto& p : parts) out += L"\\" + p;
  return out;
}
}  // namespace

// Win32 path normalisation as far as the tool can meet it: '/' is a
// separator, runs of separators collapse, "." and ".." components are
// resolved (".." never climbs above the drive or share), trailing dots and
// blanks are dropped from the last component, a rooted path ("\x") is on
// the current drive and a relative one below the current directory. A
// "\\?\" prefix ("\\?\C:\x", "\\?\UNC\server\share\x") turns normalisation
// off. Device paths ("\\.\x") are not modelled: they come back empty.
std::wstring FileSystem::CanonicalPath(const std::wstring& in) {
  std::wstring s = in;
  bool normalise = true;
  if (s.rfind(L"\\\\?\\", 0) == 0) {
    s = s.substr(4);
    normalise = false;
    if (Fold(s.substr(0, 4)) == L"UNC\\") s = L"\\\\" + s.substr(4);
  }
  if (s.empty()) return L"";
  if (normalise) std::replace(s.begin(), s.end(), L'/', L'\\');
  if (s.size() >= 2 && s[0] == L'\\' && s[1] == L'\\') {
    if (s.size() > 2 && (s[2] == L'?' || s[2] == L'.')) return L"";
    std::size_t rest = 0;
    const std::wstring share = ShareOf(s, &rest);
    if (share.empty()) return L"";
    return JoinParts(L"\\\\" + share, s.substr(rest), normalise);
  }
  wchar_t drive;
  std::wstring rest;
  if (s.size() >= 2 && std::iswalpha(s[0]) && s[1] == L':') {
    drive = static_cast<wchar_t>(std::towupper(s[0]));
    rest = s.substr(2);
    if (rest.empty() || rest[0] != L'\\') {
      // Drive-relative ("C:x"): relative to that drive's current directory.
      const std::wstring base = (currentDirectory[0] == drive) ? currentDirectory.substr(2) : L"";
      rest = base + L"\\" + rest;
    }
  } else if (s[0] == L'\\') {
    drive = currentDrive;
    rest = s;
  } else {
    drive = currentDirectory[0];
    rest = currentDirectory.substr(2) + L"\\" + s;
  }
  return JoinParts(std::wstring(1, drive) + L":", rest, normalise);
}

FsNode* FileSystem::RootOf(const std::wstring& canonical, std::size_t* rest, bool create) {
  auto makeRoot = [this](const std::wstring& name) {
    auto root = std::make_unique<FsNode>();
    root->id = nextNodeId++;
    root->name = name;
    root->isDirectory = true;
    root->attributes = kFileAttributeDirectory;
    return root;
  };
  if (canonical.size() >= 3 && canonical[1] == L':') {
    *rest = 3;
    auto& root = drives[canonical[0]];
    if (!root && !create) {
      drives.erase(canonical[0]);
      return nullptr;
    }
    if (!root) root = makeRoot(std::wstring(1, canonical[0]) + L":");
    return root.get();
  }
  if (canonical.size() > 2 && canonical[0] == L'\\' && canonical[1] == L'\\') {
    std::size_t end = 0;
    const std::wstring share = ShareOf(canonical, &end);
    if (share.empty()) return nullptr;
    *rest = end + 1;
    const std::wstring key = Fold(L"\\\\" + share);
    auto it = shares.find(key);
    if (it != shares.end()) return it->second.get();
    if (!create) return nullptr;
    return (shares[key] = makeRoot(L"\\\\" + share)).get();
  }
  return nullptr;
}

namespace {
std::vector<std::wstring> ComponentsFrom(const std::wstring& canonical, std::size_t rest) {
  std::vector<std::wstring> parts;
  if (rest >= canonical.size()) return parts;
  for (const auto& p : SplitPath(canonical.substr(rest), L'\\')) {
    if (!p.empty()) parts.push_back(p);
  }
  return parts;
}
bool IsObjectDirectory(const std::wstring& target) {
  return !target.empty() && target[0] == L'\\' && (target.size() < 2 || target[1] != L'\\');
}

// Resolution through links and object-manager directories, one walker per
// look-up: more than 31 links on the way end it with
// ERROR_CANT_RESOLVE_FILENAME.
class PathWalker {
 public:
  explicit PathWalker(FileSystem& fs) : fs_(fs) {}

  // A path, from the root of its drive or share.
  FsNode* Walk(const std::wstring& p, bool followFinal, Dword* error, FsNode** parentOut, std::wstring* finalName) {
    if (parentOut) *parentOut = nullptr;
    const std::wstring canonical = fs_.CanonicalPath(p);
    if (canonical.empty()) {
      *error = p.empty() ? kErrorPathNotFound : kErrorBadNetpath;
      return nullptr;
    }
    std::size_t rest = 0;
    FsNode* root = fs_.RootOf(canonical, &rest);
    if (root == nullptr) {
      *error = canonical[0] == L'\\' ? kErrorBadNetpath : kErrorPathNotFound;
      return nullptr;
    }
    return From(root, ComponentsFrom(canonical, rest), followFinal, error, parentOut, finalName);
  }
  // The parts below node, one name each, taken as they are.
  FsNode* From(FsNode* node, const std::vector<std::wstring>& parts, bool followFinal, Dword* error, FsNode** parentOut,
               std::wstring* finalName) {
    if (parentOut) *parentOut = nullptr;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const bool last = i + 1 == parts.size();
      const std::wstring& part = parts[i];
      for (wchar_t c : part) {
        if (InvalidNameCharacter(c)) {
          *error = kErrorInvalidName;
          return nullptr;
        }
      }
      if (!node->isDirectory) {
        *error = kErrorPathNotFound;
        return nullptr;
      }
      auto it = node->children.find(Fold(part));
      if (it == node->children.end()) {
        *error = last ? kErrorFileNotFound : kErrorPathNotFound;
        if (last && parentOut) *parentOut = node;
        if (last && finalName) *finalName = part;
        return nullptr;
      }
      FsNode* child = it->second.get();
      if (last) {
        if (parentOut) *parentOut = node;
        if (finalName) *finalName = child->name;
      }
      if (!child->linkTarget.empty() && (!last || followFinal)) {
        if (++depth_ > 31) {
          *error = kErrorCantResolveFilename;
          return nullptr;
        }
        if (IsObjectDirectory(child->linkTarget)) {
          // The object manager takes over: the next name is one of its
          // symbolic links, which is followed whatever the caller asked.
          if (last) {
            *error = kErrorPathNotFound;
            return nullptr;
          }
          auto link = fs_.objectLinks.find(Fold(child->linkTarget + L"\\" + parts[i + 1]));
          const bool lastAfter = i + 2 == parts.size();
          if (link == fs_.objectLinks.end()) {
            *error = lastAfter ? kErrorFileNotFound : kErrorPathNotFound;
            return nullptr;
          }
          Dword inner = 0;
          FsNode* target = Walk(link->second, lastAfter ? followFinal : true, &inner, lastAfter ? parentOut : nullptr,
                                lastAfter ? finalName : nullptr);
          if (target == nullptr) {
            *error = lastAfter ? inner : kErrorPathNotFound;
            return nullptr;
          }
          node = target;
          ++i;
          continue;
        }
        Dword inner = 0;
        FsNode* target = Walk(child->linkTarget, true, &inner, nullptr, nullptr);
        if (target == nullptr) {
          *error = last ? kErrorFileNotFound : kErrorPathNotFound;
          return nullptr;
        }
        child = target;
      }
      node = child;
    }
    *error = 0;
    return node;
  }

 private:
  FileSystem& fs_;
  int depth_ = 0;
};
}  // namespace

FsNode* FileSystem::ResolveFrom(FsNode* start, const std::vector<std::wstring>* parts, const std::wstring& path,
                                bool followFinal, Dword* error, FsNode** parentOut, std::wstring* finalName) {
  PathWalker w(*this);
  if (start == nullptr) return w.Walk(path, followFinal, error, parentOut, finalName);
  return w.From(start, *parts, followFinal, error, parentOut, finalName);
}

FsNode* FileSystem::Resolve(const std::wstring& path, bool followFinal, Dword* error, FsNode** parentOut,
                            std::wstring* finalName) {
  return ResolveFrom(nullptr, nullptr, path, followFinal, error, parentOut, finalName);
}

FsNode* FileSystem::ResolveBelow(FsNode* start, const std::vector<std::wstring>& parts, bool followFinal, Dword* error,
                                 FsNode** parentOut, std::wstring* finalName) {
  return ResolveFrom(start, &parts, L"", followFinal, error, parentOut, finalName);
}

FsNode* FileSystem::MakeNode(const std::wstring& path, bool directory) {
  const std::wstring canonical = CanonicalPath(path);
  std::size_t rest = 0;
  FsNode* node = RootOf(canonical, &rest, /*create=*/true);
  const auto parts = ComponentsFrom(canonical, rest);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    auto& slot = node->children[Fold(parts[i])];
    if (!slot) {
      slot = std::make_unique<FsNode>();
      slot->id = nextNodeId++;
      slot->name = parts[i];
      slot->parent = node;
      slot->isDirectory = !last || directory;
      slot->attributes = slot->isDirectory ? kFileAttributeDirectory : 0;
    }
    node = slot.get();
  }
  return node;
}

FsNode* FileSystem::AddDirectory(const std::wstring& path, Dword attributes) {
  FsNode* n = MakeNode(path, true);
  n->attributes = attributes | kFileAttributeDirectory;
  return n;
}

FsNode* FileSystem::AddFile(const std::wstring& path, Dword attributes, const std::string& content) {
  FsNode* n = MakeNode(path, false);
  n->isDirectory = false;
  n->attributes = attributes & ~kFileAttributeDirectory;
  n->content = content;
  return n;
}

FsNode* FileSystem::AddDirectoryLink(const std::wstring& path, const std::wstring& target, bool junction) {
  FsNode* n = MakeNode(path, true);
  n->children.clear();
  n->attributes = kFileAttributeDirectory | kFileAttributeReparsePoint;
  n->linkTarget = CanonicalPath(target);
  n->reparseTag = junction ? kIoReparseTagMountPoint : kIoReparseTagSymlink;
  return n;
}

FsNode* FileSystem::AddFileLink(const std::wstring& path, const std::wstring& target) {
  FsNode* n = MakeNode(path, false);
  n->isDirectory = false;
  n->attributes = kFileAttributeReparsePoint | kFileAttributeArchive;
  n->linkTarget = CanonicalPath(target);
  n->reparseTag = kIoReparseTagSymlink;
  return n;
}

FsNode* FileSystem::AddObjectDirectoryJunction(const std::wstring& path, const std::wstring& objectDirectory) {
  FsNode* n = AddDirectoryLink(path, L"C:\\", /*junction=*/true);
  n->linkTarget = objectDirectory;
  return n;
}

void FileSystem::AddObjectLink(const std::wstring& objectPath, const std::wstring& target) {
  objectLinks[Fold(objectPath)] = target;
}

FsNode* FileSystem::AddPlaceholder(const std::wstring& path, bool directory, Dword tag) {
  FsNode* n = directory ? AddDirectory(path) : AddFile(path, kFileAttributeArchive, "in the cloud");
  n->attributes |= kFileAttributeReparsePoint;
  n->reparseTag = tag;
  return n;
}

FsNode* FileSystem::FindNode(const std::wstring& path) {
  Dword error = 0;
  return Resolve(path, false, &error);
}

std::wstring FileSystem::PathOf(const FsNode* node) const {
  std::vector<std::wstring> names;
  for (const FsNode* n = node; n != nullptr; n = n->parent) names.push_back(n->name);
  std::wstring out = names.back();  // "C:" or "\\server\share"
  if (names.size() == 1) return out + L"\\";
  for (auto it = names.rbegin() + 1; it != names.rend(); ++it) out += L"\\" + *it;
  return out;
}

void FileSystem::Journal(FsEventKind kind, const FsNode* node) {
  fsEvents.push_back({kind, PathOf(node), node->id, node->parent != nullptr ? node->parent->id : 0, !adversaryActing,
                      OwnerOf(kind == FsEventKind::kMovedHere ? node->parent : node)});
}

std::wstring FileSystem::OwnerOf(const FsNode* node) const {
  for (; node != nullptr; node = node->parent) {
    if (!node->owner.empty()) return node->owner;
  }
  return L"";
}

void FileSystem::Touch(const FsNode* node) {
  if (node == nullptr || node->detached) return;
  if (recentNodes.size() >= 8) recentNodes.erase(recentNodes.begin());
  recentNodes.push_back(node->id);
}

FsNode* FileSystem::NodeById(std::uint64_t id) {
  std::function<FsNode*(FsNode*)> find = [&](FsNode* n) -> FsNode* {
    if (n->id == id) return n;
    for (auto& kv : n->children) {
      if (FsNode* hit = find(kv.second.get())) return hit;
    }
    return nullptr;
  };
  for (auto& d : drives) {
    if (FsNode* hit = find(d.second.get())) return hit;
  }
  for (auto& sh : shares) {
    if (FsNode* hit = find(sh.second.get())) return hit;
  }
  return nullptr;
}

namespace {
// Generic rights as the file system maps them.
Dword MapGeneric(Dword access) {
  if (access & kGenericRead) access |= kFileReadData | kFileReadAttributes | kSynchronize;
  if (access & kGenericWrite) access |= kFileWriteData | kFileAppendData | kFileWriteAttributes | kSynchronize;
  return access & ~(kGenericRead | kGenericWrite);
}
constexpr Dword kReadAccess = kFileReadData | kFileExecute;
constexpr Dword kWriteAccess = kFileWriteData | kFileAppendData;
// The sharing check of one open against another, as IoCheckShareAccess
// makes it: only opens that read, write or delete take part.
bool Compatible(Dword access, Dword share, Dword otherAccess, Dword otherShare) {
  access = MapGeneric(access);
  otherAccess = MapGeneric(otherAccess);
  if ((access & (kReadAccess | kWriteAccess | kDelete)) == 0) return true;
  if ((otherAccess & (kReadAccess | kWriteAccess | kDelete)) == 0) return true;
  if ((access & kReadAccess) && !(otherShare & kFileShareRead)) return false;
  if ((access & kWriteAccess) && !(otherShare & kFileShareWrite)) return false;
  if ((access & kDelete) && !(otherShare & kFileShareDelete)) return false;
  if ((otherAccess & kReadAccess) && !(share & kFileShareRead)) return false;
  if ((otherAccess & kWriteAccess) && !(share & kFileShareWrite)) return false;
  if ((otherAccess & kDelete) && !(share & kFileShareDelete)) return false;
  return true;
}
}  // namespace

bool FileSystem::ShareAllows(const FsNode* node, Dword access, Dword share) const {
  if (node->inUse && !Compatible(access, share, kFileReadData | kFileWriteData, kFileShareRead)) return false;
  if (node->scannerOpen &&
      !Compatible(access, share, kFileReadData, kFileShareRead | kFileShareWrite | kFileShareDelete)) {
    return false;
  }
  for (const auto& kv : handles_) {
    const HandleEntry& h = kv.second;
    if (h.kind == HandleKind::kFile && h.node == node && !Compatible(access, share, h.access, h.share)) return false;
  }
  return true;
}

bool FileSystem::HasOpenHandles(const FsNode* node) const {
  for (const auto& kv : handles_) {
    if (kv.second.kind == HandleKind::kFile && kv.second.node == node) return true;
  }
  return false;
}

void FileSystem::RemoveNode(FsNode* node) {
  if (node->parent == nullptr || node->detached) return;
  Journal(node->isDirectory ? FsEventKind::kRemovedDirectory : FsEventKind::kDeleted, node);
  auto it = node->parent->children.find(Fold(node->name));
  std::unique_ptr<FsNode> owned = std::move(it->second);
  node->parent->children.erase(it);
  node->deletePending = false;
  if (HasOpenHandles(node)) {
    node->detached = true;
    detachedNodes_.push_back(std::move(owned));
  }
}

void FileSystem::MoveNode(FsNode* node, FsNode* folder, const std::wstring& name) {
  Journal(FsEventKind::kMovedAway, node);
  auto it = node->parent->children.find(Fold(node->name));
  std::unique_ptr<FsNode> moving = std::move(it->second);
  node->parent->children.erase(it);
  moving->name = name;
  moving->parent = folder;
  folder->children[Fold(name)] = std::move(moving);
  Journal(FsEventKind::kMovedHere, node);
}

FsNode* FileSystem::AddChild(FsNode* folder, const std::wstring& name, bool directory) {
  auto made = std::make_unique<FsNode>();
  made->id = nextNodeId++;
  made->name = name;
  made->parent = folder;
  made->isDirectory = directory;
  made->attributes = directory ? kFileAttributeDirectory : kFileAttributeArchive;
  if (adversaryActing) made->owner = adversaryAccount;
  FsNode* node = made.get();
  folder->children[Fold(name)] = std::move(made);
  Journal(FsEventKind::kCreated, node);
  return node;
}

std::vector<std::wstring> FileSystem::ListTree(const std::wstring& root) {
  std::vector<std::wstring> out;
  FsNode* start = FindNode(root);
  if (start == nullptr || !start->linkTarget.empty()) return out;
  std::function<void(const FsNode*)> walk = [&](const FsNode* n) {
    for (const auto& kv : n->children) {
      out.push_back(PathOf(kv.second.get()));
      if (kv.second->linkTarget.empty()) walk(kv.second.get());
    }
  };
  walk(start);
  std::sort(out.begin(), out.end());
  return out;
}

bool FileSystem::IsExistingFile(const std::wstring& path) {
  Dword error = 0;
  FsNode* n = Resolve(path, true, &error);
  return n != nullptr && !n->isDirectory;
}

}  // namespace sim

namespace sim {

wchar_t FileSystem::DriveOf(const FsNode* node) const {
  while (node != nullptr && node->parent != nullptr) node = node->parent;
  for (const auto& d : drives) {
    if (d.second.get() == node) return d.first;
  }
  return 0;
}

void FileSystem::PowerLoss() {
  std::function<void(FsNode*)> restart = [&](FsNode* n) {
    if (n->unflushed) {
      n->content = n->durableContent;
      n->unflushed = false;
      n->isShortcut = ParseShortcut(n->content, &n->shortcutTarget, &n->shortcutDescription);
    }
    // A delete disposition not yet carried out died with the machine.
    n->deletePending = false;
    for (auto& kv : n->children) restart(kv.second.get());
  };
  for (auto& d : drives) restart(d.second.get());
  for (auto& sh : shares) restart(sh.second.get());
}

}  // namespace sim
