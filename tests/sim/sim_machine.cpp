// The simulated machine's own state handling: clock, injections, processes,
// registry, file system paths. The platform functions are in sim_platform.cpp.
#include "sim/sim_machine.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace sim {

using namespace platform;

std::wstring Fold(const std::wstring& s) {
  std::wstring r = s;
  for (auto& c : r) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return r;
}

std::vector<std::uint8_t> StringBytes(const std::wstring& text, bool terminated) {
  std::vector<std::uint8_t> bytes((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t), 0);
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
  return bytes;
}

RegKeyNode* RegKeyNode::Child(const std::wstring& childName) const {
  const std::wstring folded = Fold(childName);
  auto hit = [&]() -> RegKeyNode* {
    auto it = childIndex.find(folded);
    if (it == childIndex.end() || it->second >= subkeys.size()) return nullptr;
    RegKeyNode* k = subkeys[it->second].get();
    return Fold(k->name) == folded ? k : nullptr;
  };
  if (RegKeyNode* k = hit()) return k;
  if (childIndex.count(folded) == 0 && childIndexCount == subkeys.size()) return nullptr;
  // Stale or incomplete: index again, the first of equal names winning as a
  // search from the front would find it.
  childIndex.clear();
  for (std::size_t i = 0; i < subkeys.size(); ++i) childIndex.emplace(Fold(subkeys[i]->name), i);
  childIndexCount = subkeys.size();
  return hit();
}

namespace {
std::unique_ptr<Machine> g_machine;

std::vector<std::wstring> SplitPath(const std::wstring& s, wchar_t sep) {
  std::vector<std::wstring> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = s.find(sep, begin);
    if (end == std::wstring::npos) break;
    parts.emplace_back(s, begin, end - begin);
    begin = end + 1;
  }
  parts.emplace_back(s, begin, std::wstring::npos);
  return parts;
}

bool InvalidNameCharacter(wchar_t c) {
  return c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}
}  // namespace

Machine& machine() {
  if (!g_machine) g_machine = std::make_unique<Machine>();
  return *g_machine;
}

void Reset() {
  g_machine.reset();
  g_machine = std::make_unique<Machine>();
}

Machine::Machine() {
  Process self;
  self.pid = kSelfPid;
  self.session = 1;
  self.exeName = L"client-maintenance.exe";
  self.user = L"SYSTEM";
  processes.push_back(self);
  auto root = std::make_unique<FsNode>();
  root->id = nextNodeId++;
  root->name = L"C:";
  root->isDirectory = true;
  root->attributes = kFileAttributeDirectory;
  drives[L'C'] = std::move(root);
}

// ---------------- clock ----------------

void Machine::At(std::uint64_t time, std::function<void()> action) {
  events.push_back({time, eventOrder++, std::move(action)});
}

void Machine::Advance(std::uint64_t milliseconds) {
  const std::uint64_t target = now + milliseconds;
  for (;;) {
    auto next = std::min_element(events.begin(), events.end(), [](const ScheduledEvent& a, const ScheduledEvent& b) {
      return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    if (next == events.end() || next->at > target) break;
    now = std::max(now, next->at);
    auto action = std::move(next->action);
    events.erase(next);
    action();
  }
  now = target;
}

// ---------------- injections ----------------

void Machine::Inject(const std::string& call, Dword code, int count, int skip) {
  injections[call].push_back(Injection{code, skip, count});
}

bool Machine::TakeInjection(const std::string& call, Dword* code) {
  auto it = injections.find(call);
  if (it == injections.end()) return false;
  for (auto& inj : it->second) {
    if (inj.count == 0) continue;
    if (inj.skip > 0) {
      --inj.skip;
      return false;
    }
    if (inj.count > 0) --inj.count;
    *code = inj.code;
    return true;
  }
  return false;
}

// ---------------- processes and windows ----------------

Process& Machine::AddProcess(const std::wstring& exeName, Dword session, Dword pid) {
  Process p;
  if (pid == 0) {
    // A pid given explicitly earlier may lie ahead of nextPid. While the
    // index covers the whole list, it answers without a rebuild per miss.
    auto taken = [this](Dword candidate) {
      if (processIndexCount != processes.size()) return FindProcess(candidate) != nullptr;
      auto it = processIndex.find(candidate);
      return it != processIndex.end() && it->second < processes.size() && processes[it->second].pid == candidate;
    };
    do {
      pid = nextPid;
      nextPid += 4;
    } while (taken(pid));
  }
  p.pid = pid;
  p.session = session;
  p.exeName = exeName;
  p.creationTime = (now * 10000) + (++processesCreated);
  const bool indexed = processIndexCount == processes.size();
  processes.push_back(p);
  if (indexed) {
    processIndex.emplace(pid, processes.size() - 1);
    processIndexCount = processes.size();
  }
  return processes.back();
}

Process* Machine::FindProcess(Dword pid) {
  auto hit = [&]() -> Process* {
    auto it = processIndex.find(pid);
    if (it == processIndex.end() || it->second >= processes.size()) return nullptr;
    Process& p = processes[it->second];
    return p.pid == pid ? &p : nullptr;
  };
  if (Process* p = hit()) return p;
  // A miss may come from a pid changed in place: look again over everything.
  processIndex.clear();
  for (std::size_t i = 0; i < processes.size(); ++i) processIndex.emplace(processes[i].pid, i);
  processIndexCount = processes.size();
  return hit();
}

Window* Machine::FindWindow(std::uintptr_t id) {
  auto hit = [&]() -> Window* {
    auto it = windowIndex.find(id);
    if (it == windowIndex.end() || it->second >= windows.size()) return nullptr;
    Window& w = windows[it->second];
    return w.id == id ? &w : nullptr;
  };
  if (Window* w = hit()) return w;
  windowIndex.clear();
  for (std::size_t i = 0; i < windows.size(); ++i) windowIndex.emplace(windows[i].id, i);
  windowIndexCount = windows.size();
  return hit();
}

std::vector<Dword> Machine::RunningPids(const std::wstring& exeName) const {
  std::vector<Dword> pids;
  for (const auto& p : processes) {
    if (p.alive && Fold(p.exeName) == Fold(exeName)) pids.push_back(p.pid);
  }
  return pids;
}

void Machine::EndProcess(Process& p, Dword exitCode) {
  if (!p.alive) return;
  p.alive = false;
  p.exitCode = exitCode;
  p.endedAt = now;
  const Dword pid = p.pid;
  windows.erase(std::remove_if(windows.begin(), windows.end(), [pid](const Window& w) { return w.ownerPid == pid; }),
                windows.end());
}

Window& Machine::AddWindow(Dword ownerPid, bool visible) {
  Window w;
  w.id = nextWindow;
  nextWindow += 0x10;
  w.ownerPid = ownerPid;
  w.visible = visible;
  const bool indexed = windowIndexCount == windows.size();
  windows.push_back(w);
  if (indexed) {
    windowIndex.emplace(w.id, windows.size() - 1);
    windowIndexCount = windows.size();
  }
  return windows.back();
}

int Machine::PostsTo(Dword pid, std::uint32_t message) const {
  int n = 0;
  for (const auto& p : posts) {
    if (p.ownerPid == pid && p.message == message) ++n;
  }
  return n;
}

// ---------------- registry ----------------

RegKeyNode& Machine::Key(const std::wstring& path) {
  RegKeyNode* node = &hklm;
  for (const auto& part : SplitPath(path, L'\\')) {
    if (part.empty()) continue;
    RegKeyNode* child = node->Child(part);
    if (child == nullptr) {
      const bool indexed = node->childIndexCount == node->subkeys.size();
      node->subkeys.push_back(std::make_unique<RegKeyNode>());
      child = node->subkeys.back().get();
      child->name = part;
      if (indexed) {
        node->childIndex.emplace(Fold(part), node->subkeys.size() - 1);
        node->childIndexCount = node->subkeys.size();
      }
    }
    node = child;
  }
  return *node;
}

RegKeyNode* Machine::FindKey(const std::wstring& path) {
  RegKeyNode* node = &hklm;
  for (const auto& part : SplitPath(path, L'\\')) {
    if (part.empty()) continue;
    node = node->Child(part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

void Machine::SetString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value, Dword type) {
  SetValueBytes(keyPath, name, type, StringBytes(value));
}

void Machine::SetValueBytes(const std::wstring& keyPath, const std::wstring& name, Dword type,
                            std::vector<std::uint8_t> bytes) {
  RegValue v;
  v.type = type;
  v.bytes = std::move(bytes);
  Key(keyPath).values[Fold(name)] = std::move(v);
}

// ---------------- shell folders ----------------

void Machine::SetFolder(const std::wstring& account, int csidl, const std::wstring& path, HResult result) {
  FolderEntry e{result, path};
  if (account.empty()) {
    commonFolders[csidl] = e;
  } else {
    userFolders[account][csidl] = e;
  }
}

// ---------------- handles ----------------

Handle Machine::NewHandle(HandleEntry entry) {
  const std::uintptr_t id = nextHandle;
  nextHandle += 4;
  handles.emplace(id, std::move(entry));
  return reinterpret_cast<Handle>(id);
}

HandleEntry* Machine::Lookup(Handle h) {
  auto it = handles.find(reinterpret_cast<std::uintptr_t>(h));
  return it == handles.end() ? nullptr : &it->second;
}

// ---------------- file system ----------------

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
std::wstring Machine::CanonicalPath(const std::wstring& in) {
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

FsNode* Machine::RootOf(const std::wstring& canonical, std::size_t* rest, bool create) {
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
}  // namespace

FsNode* Machine::ResolveFrom(FsNode* start, const std::vector<std::wstring>* parts, const std::wstring& path,
                             bool followFinal, Dword* error, FsNode** parentOut, std::wstring* finalName) {
  struct Walker {
    Machine& m;
    int depth = 0;
    FsNode* Walk(const std::wstring& p, bool followFinal, Dword* error, FsNode** parentOut, std::wstring* finalName) {
      if (parentOut) *parentOut = nullptr;
      const std::wstring canonical = m.CanonicalPath(p);
      if (canonical.empty()) {
        *error = p.empty() ? kErrorPathNotFound : kErrorBadNetpath;
        return nullptr;
      }
      std::size_t rest = 0;
      FsNode* root = m.RootOf(canonical, &rest);
      if (root == nullptr) {
        *error = canonical[0] == L'\\' ? kErrorBadNetpath : kErrorPathNotFound;
        return nullptr;
      }
      return From(root, ComponentsFrom(canonical, rest), followFinal, error, parentOut, finalName);
    }
    FsNode* From(FsNode* node, const std::vector<std::wstring>& parts, bool followFinal, Dword* error,
                 FsNode** parentOut, std::wstring* finalName) {
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
          if (++depth > 31) {
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
            auto link = m.objectLinks.find(Fold(child->linkTarget + L"\\" + parts[i + 1]));
            const bool lastAfter = i + 2 == parts.size();
            if (link == m.objectLinks.end()) {
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
  };
  Walker w{*this};
  if (start == nullptr) return w.Walk(path, followFinal, error, parentOut, finalName);
  return w.From(start, *parts, followFinal, error, parentOut, finalName);
}

FsNode* Machine::Resolve(const std::wstring& path, bool followFinal, Dword* error, FsNode** parentOut,
                         std::wstring* finalName) {
  return ResolveFrom(nullptr, nullptr, path, followFinal, error, parentOut, finalName);
}

FsNode* Machine::ResolveBelow(FsNode* start, const std::vector<std::wstring>& parts, bool followFinal, Dword* error,
                              FsNode** parentOut, std::wstring* finalName) {
  return ResolveFrom(start, &parts, L"", followFinal, error, parentOut, finalName);
}

FsNode* Machine::MakeNode(const std::wstring& path, bool directory) {
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

FsNode* Machine::AddDirectory(const std::wstring& path, Dword attributes) {
  FsNode* n = MakeNode(path, true);
  n->attributes = attributes | kFileAttributeDirectory;
  return n;
}

FsNode* Machine::AddFile(const std::wstring& path, Dword attributes, const std::string& content) {
  FsNode* n = MakeNode(path, false);
  n->isDirectory = false;
  n->attributes = attributes & ~kFileAttributeDirectory;
  n->content = content;
  return n;
}

FsNode* Machine::AddDirectoryLink(const std::wstring& path, const std::wstring& target, bool junction) {
  FsNode* n = MakeNode(path, true);
  n->children.clear();
  n->attributes = kFileAttributeDirectory | kFileAttributeReparsePoint;
  n->linkTarget = CanonicalPath(target);
  n->reparseTag = junction ? kIoReparseTagMountPoint : kIoReparseTagSymlink;
  return n;
}

FsNode* Machine::AddFileLink(const std::wstring& path, const std::wstring& target) {
  FsNode* n = MakeNode(path, false);
  n->isDirectory = false;
  n->attributes = kFileAttributeReparsePoint | kFileAttributeArchive;
  n->linkTarget = CanonicalPath(target);
  n->reparseTag = kIoReparseTagSymlink;
  return n;
}

FsNode* Machine::AddObjectDirectoryJunction(const std::wstring& path, const std::wstring& objectDirectory) {
  FsNode* n = AddDirectoryLink(path, L"C:\\", /*junction=*/true);
  n->linkTarget = objectDirectory;
  return n;
}

void Machine::AddObjectLink(const std::wstring& objectPath, const std::wstring& target) {
  objectLinks[Fold(objectPath)] = target;
}

FsNode* Machine::AddPlaceholder(const std::wstring& path, bool directory, Dword tag) {
  FsNode* n = directory ? AddDirectory(path) : AddFile(path, kFileAttributeArchive, "in the cloud");
  n->attributes |= kFileAttributeReparsePoint;
  n->reparseTag = tag;
  return n;
}

FsNode* Machine::FindNode(const std::wstring& path) {
  Dword error = 0;
  return Resolve(path, false, &error);
}

std::wstring Machine::PathOf(const FsNode* node) const {
  std::vector<std::wstring> names;
  for (const FsNode* n = node; n != nullptr; n = n->parent) names.push_back(n->name);
  std::wstring out = names.back();  // "C:" or "\\server\share"
  if (names.size() == 1) return out + L"\\";
  for (auto it = names.rbegin() + 1; it != names.rend(); ++it) out += L"\\" + *it;
  return out;
}

void Machine::Journal(FsEventKind kind, const FsNode* node) {
  fsEvents.push_back(
      {kind, PathOf(node), node->id, node->parent != nullptr ? node->parent->id : 0, !adversaryActing});
}

void Machine::Touch(const FsNode* node) {
  if (node == nullptr || node->detached) return;
  if (recentNodes.size() >= 8) recentNodes.erase(recentNodes.begin());
  recentNodes.push_back(node->id);
}

FsNode* Machine::NodeById(std::uint64_t id) {
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

bool Machine::ShareAllows(const FsNode* node, Dword access, Dword share) const {
  if (node->inUse && !Compatible(access, share, kFileReadData | kFileWriteData, kFileShareRead)) return false;
  if (node->scannerOpen &&
      !Compatible(access, share, kFileReadData, kFileShareRead | kFileShareWrite | kFileShareDelete)) {
    return false;
  }
  for (const auto& kv : handles) {
    const HandleEntry& h = kv.second;
    if (h.kind == HandleKind::kFile && h.node == node && !Compatible(access, share, h.access, h.share)) return false;
  }
  return true;
}

bool Machine::HasOpenHandles(const FsNode* node) const {
  for (const auto& kv : handles) {
    if (kv.second.kind == HandleKind::kFile && kv.second.node == node) return true;
  }
  return false;
}

void Machine::RemoveNode(FsNode* node) {
  if (node->parent == nullptr || node->detached) return;
  Journal(node->isDirectory ? FsEventKind::kRemovedDirectory : FsEventKind::kDeleted, node);
  auto it = node->parent->children.find(Fold(node->name));
  std::unique_ptr<FsNode> owned = std::move(it->second);
  node->parent->children.erase(it);
  node->deletePending = false;
  if (HasOpenHandles(node)) {
    node->detached = true;
    detachedNodes.push_back(std::move(owned));
  }
}

void Machine::MoveNode(FsNode* node, FsNode* folder, const std::wstring& name) {
  Journal(FsEventKind::kMovedAway, node);
  auto it = node->parent->children.find(Fold(node->name));
  std::unique_ptr<FsNode> moving = std::move(it->second);
  node->parent->children.erase(it);
  moving->name = name;
  moving->parent = folder;
  folder->children[Fold(name)] = std::move(moving);
  Journal(FsEventKind::kMovedHere, node);
}

FsNode* Machine::AddChild(FsNode* folder, const std::wstring& name, bool directory) {
  auto made = std::make_unique<FsNode>();
  made->id = nextNodeId++;
  made->name = name;
  made->parent = folder;
  made->isDirectory = directory;
  made->attributes = directory ? kFileAttributeDirectory : kFileAttributeArchive;
  FsNode* node = made.get();
  folder->children[Fold(name)] = std::move(made);
  Journal(FsEventKind::kCreated, node);
  return node;
}

std::vector<std::wstring> Machine::ListTree(const std::wstring& root) {
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

// A shortcut as the simulated shell link object saves it: a tag, then the
// target and the description, each ended by a zero unit.
namespace {
constexpr const char kShortcutTag[] = "SIMLNK1";
void PutText(std::string& out, const std::wstring& text) {
  for (wchar_t c : text) out.append(reinterpret_cast<const char*>(&c), sizeof(c));
  const wchar_t zero = 0;
  out.append(reinterpret_cast<const char*>(&zero), sizeof(zero));
}
bool TakeText(const std::string& in, std::size_t* at, std::wstring* text) {
  text->clear();
  while (*at + sizeof(wchar_t) <= in.size()) {
    wchar_t c;
    std::memcpy(&c, in.data() + *at, sizeof(c));
    *at += sizeof(c);
    if (c == 0) return true;
    *text += c;
  }
  return false;
}
}  // namespace

std::string ShortcutBytes(const std::wstring& target, const std::wstring& description) {
  std::string out(kShortcutTag, sizeof(kShortcutTag));
  PutText(out, target);
  PutText(out, description);
  return out;
}

bool ParseShortcut(const std::string& bytes, std::wstring* target, std::wstring* description) {
  if (bytes.compare(0, sizeof(kShortcutTag), std::string(kShortcutTag, sizeof(kShortcutTag))) != 0) return false;
  std::size_t at = sizeof(kShortcutTag);
  std::wstring t, d;
  if (!TakeText(bytes, &at, &t) || !TakeText(bytes, &at, &d) || at != bytes.size()) return false;
  *target = t;
  *description = d;
  return true;
}

// ---------------- a typical machine ----------------

void TypicalMachine::Build(Machine& m) {
  // The idle and System processes, as on every machine: neither can be opened
  // for its module list.
  Process& idle = m.AddProcess(L"[System Process]", 0, 0);
  idle.pid = 0;
  idle.deniedAccess = 0xFFFFFFFF;
  Process& system = m.AddProcess(L"System", 0, 4);
  system.nameReadable = false;
  system.user = L"SYSTEM";
  // The tool itself runs elevated as SYSTEM in the interactive session, as an
  // installer's custom action does.
  m.Self().session = 1;
  m.Self().user = L"SYSTEM";

  m.AddDirectory(L"C:\\Windows\\system32");
  m.AddFile(L"C:\\Windows\\explorer.exe");
  m.AddDirectory(L"C:\\Program Files");
  m.AddDirectory(L"C:\\Program Files (x86)");
  m.AddDirectory(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
  m.AddDirectory(L"C:\\Users\\Public\\Desktop");

  m.SetFolder(L"", kCsidlCommonPrograms, L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
  m.SetFolder(L"", kCsidlCommonDesktopDirectory, L"C:\\Users\\Public\\Desktop");
  m.SetFolder(L"", kCsidlWindows, L"C:\\Windows");
  m.SetFolder(L"", kCsidlProgramFiles, L"C:\\Program Files");
  m.SetFolder(L"", kCsidlProgramFilesX86, L"C:\\Program Files (x86)");

  m.SetEnv(L"SystemDrive", L"C:");
  m.SetEnv(L"SystemRoot", L"C:\\Windows");
  m.SetEnv(L"windir", L"C:\\Windows");
  m.SetEnv(L"ProgramData", L"C:\\ProgramData");
  m.SetEnv(L"PUBLIC", L"C:\\Users\\Public");

  m.Key(kProfileList);
  AddProfile(m, L"S-1-5-18", L"SYSTEM", L"%systemroot%\\system32\\config\\systemprofile");
  AddProfile(m, L"S-1-5-19", L"LOCAL SERVICE", L"%systemroot%\\ServiceProfiles\\LocalService");
  AddProfile(m, L"S-1-5-20", L"NETWORK SERVICE", L"%systemroot%\\ServiceProfiles\\NetworkService");
  AddProfile(m, L"S-1-5-21-1004336348-1177238915-682003330-1001", L"alice", L"%SystemDrive%\\Users\\alice");

  Process& explorer = m.AddProcess(L"explorer.exe", 1);
  explorer.user = L"alice";
  m.AddWindow(explorer.pid, true);

  // The services' session, where no one signs in, and alice's.
  m.sessions = {{0, kWtsDisconnected, L""}, {1, kWtsActive, L"alice"}};
  m.AddFile(m.modulePath);
}

void TypicalMachine::AddProfile(Machine& m, const std::wstring& sid, const std::wstring& user,
                                const std::wstring& profileDir, Dword type) {
  const std::wstring key = std::wstring(kProfileList) + L"\\" + sid;
  m.SetString(key, L"ProfileImagePath", profileDir, type);
  // Expand the stored path the way the machine's environment would.
  std::wstring dir;
  for (std::size_t i = 0; i < profileDir.size(); ++i) {
    if (profileDir[i] == L'%') {
      const std::size_t end = profileDir.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = m.environment.find(Fold(profileDir.substr(i + 1, end - i - 1)));
        if (it != m.environment.end()) {
          dir += it->second;
          i = end;
          continue;
        }
      }
    }
    dir += profileDir[i];
  }
  const std::wstring programs = dir + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  m.AddDirectory(programs + L"\\Startup");
  m.AddDirectory(dir + L"\\Desktop");
  m.AddDirectory(dir + L"\\AppData\\Local");
  m.SetFolder(user, kCsidlProfile, dir);
  m.SetFolder(user, kCsidlPrograms, programs);
  m.SetFolder(user, kCsidlStartup, programs + L"\\Startup");
  m.SetFolder(user, kCsidlDesktopDirectory, dir + L"\\Desktop");
}

}  // namespace sim
