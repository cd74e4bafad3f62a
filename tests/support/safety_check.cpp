#include "safety_check.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <limits>

#include "hostile_machine.h"
#include "known_names.h"

namespace hostile {

using namespace platform;
using sim::Fold;
using sim::FsNode;
using sim::Machine;

namespace {

// More of the tool's fixed names (see known_names.h), written out again here:
// the checker must not take them from the code it checks.
const std::vector<std::wstring> kLegacyDesktopNames = {L"Zarek Tolv.lnk", L"Vantorel Zarek Tolv.lnk",
                                                       L"Vantorel Zarek Tolv Drive.lnk"};
const std::vector<std::wstring> kLegacyStartMenuNames = {
    L"Vantorel\\Vantorel Zarek Tolv Drive.lnk", L"Vantorel\\Zarek Tolv.lnk", L"Vantorel\\Vantorel Zarek Tolv.lnk",
    L"Vantorel\\Uninstall Vantorel Zarek Tolv.lnk", L"Vantorel\\Uninstall Vantorel Zarek Tolv Drive.lnk"};
std::vector<std::wstring> StartMenuNames() {
  std::vector<std::wstring> names = kLegacyStartMenuNames;
  names.push_back(L"Vantorel\\Vantorel Drive.lnk");
  names.push_back(L"Vantorel\\Uninstall Vantorel Drive.lnk");
  return names;
}
const wchar_t* const kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const wchar_t* const kLauncher = L"\\Vantorel\\VantorelDrive\\bin\\launcher.exe";
const wchar_t* const kShortcutName = L"Vantorel Drive.lnk";
const wchar_t* const kShortcutDescription = L"Vantorel Drive";
const std::wstring kTemporaryPrefix = L"~VANTOREL DRIVE " + std::to_wstring(Machine::kSelfPid) + L"-";

constexpr std::uint64_t kTerminationWaitMs = 30000;
constexpr std::uint64_t kSecond = 1000;
constexpr std::uint64_t kShellReturnChecks = 10;

bool IsClientName(const std::wstring& name) {
  for (const auto& c : kClientNames) {
    if (Fold(c) == Fold(name)) return true;
  }
  return false;
}

bool IsLink(const FsNode* n) { return !n->linkTarget.empty() || (n->attributes & kFileAttributeReparsePoint) != 0; }

// "-timeout" as the standard wide conversion reads it, held to 32 bits.
std::int64_t ReadTimeout(const std::wstring& text) {
  const wchar_t* p = text.c_str();
  while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = *p++ == L'-';
  std::int64_t value = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) value = std::min<std::int64_t>(value * 10 + (*p - L'0'), 1ll << 40);
  if (negative) value = -value;
  return std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

// %NAME% replaced from the machine's environment; unknown names stay.
std::wstring Expand(Machine& m, const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'%') {
      const std::size_t end = s.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = m.environment.find(Fold(s.substr(i + 1, end - i - 1)));
        out += it != m.environment.end() ? it->second : s.substr(i, end - i + 1);
        i = end;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// The profile directories the registry names, as text: a value the registry
// returns in full (at most 4096 bytes) read as wide text up to its first
// zero or its end, expanded. Keys or values that cannot be read name none.
std::vector<std::wstring> ProfileDirectories(Machine& m) {
  std::vector<std::wstring> dirs;
  sim::RegKeyNode* list = m.FindKey(kProfileList);
  if (list == nullptr || list->openResult != 0 || list->queryInfoResult != 0) return dirs;
  for (const auto& key : list->subkeys) {
    std::wstring dir;
    if (ProfileDirectoryOf(m, *key, &dir) && !dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

// The accounts whose folders the run may resolve: the users of the shells of
// the tool's own session (it takes one of them) and the tool's own account
// (when it gets no token).
std::vector<std::wstring> Accounts(Machine& m) {
  std::vector<std::wstring> accounts = {m.Self().user};
  if (m.Self().sessionReadable) {
    for (const auto& p : m.processes) {
      if (p.alive && p.session == m.Self().session && Fold(p.exeName) == L"EXPLORER.EXE") accounts.push_back(p.user);
    }
  }
  std::sort(accounts.begin(), accounts.end());
  accounts.erase(std::unique(accounts.begin(), accounts.end()), accounts.end());
  return accounts;
}

// A shell folder as the look-up gives it with S_OK.
bool Folder(Machine& m, const std::wstring& account, int csidl, std::wstring* path) {
  const sim::FolderEntry* entry = nullptr;
  auto u = m.userFolders.find(account);
  if (u != m.userFolders.end()) {
    auto f = u->second.find(csidl);
    if (f != u->second.end()) entry = &f->second;
  }
  if (entry == nullptr) {
    auto f = m.commonFolders.find(csidl);
    if (f != m.commonFolders.end()) entry = &f->second;
  }
  if (entry == nullptr || entry->result != kSOk || entry->path.size() >= kMaxPath) return false;
  *path = entry->path;
  return true;
}

// The account's folder below its profile folder, cut at a separator.
bool Relative(Machine& m, const std::wstring& account, int csidl, std::wstring* rel) {
  std::wstring base, folder;
  if (!Folder(m, account, kCsidlProfile, &base) || !Folder(m, account, csidl, &folder)) return false;
  if (folder.compare(0, base.size(), base) != 0) return false;
  if (folder.size() > base.size() && folder[base.size()] != L'\\') return false;
  *rel = folder.substr(base.size());
  return true;
}

// The program-files folders the run may take: the 32-bit one, or the native
// one when that cannot be resolved, or when a look-up may fail by injection.
std::vector<std::wstring> ProgramFiles(Machine& m, const std::wstring& account) {
  std::vector<std::wstring> out;
  std::wstring path;
  const bool x86 = Folder(m, account, kCsidlProgramFilesX86, &path);
  if (x86) out.push_back(path);
  if ((!x86 || m.injections.count("SHGetFolderPathW")) && Folder(m, account, kCsidlProgramFiles, &path)) {
    out.push_back(path);
  }
  return out;
}

// Whether path, as Windows reads it, lies in (or is) the profile folder that
// directory names. Both are read the way the tool builds its paths: the
// directory followed by a relative part that begins with a backslash.
bool InsideProfile(Machine& m, const std::wstring& directory, const std::wstring& path) {
  const std::wstring root = Fold(m.CanonicalPath(directory + L"\\"));
  const std::wstring p = Fold(m.CanonicalPath(path));
  if (root.empty() || p.empty()) return false;
  if (p == root) return true;
  const std::wstring prefix = root.back() == L'\\' ? root : root + L"\\";
  return p.compare(0, prefix.size(), prefix) == 0;
}

void AddTree(Machine& m, const FsNode* node, std::set<std::wstring>* out) {
  out->insert(Fold(m.PathOf(node)));
  if (IsLink(node)) return;
  for (const auto& kv : node->children) AddTree(m, kv.second.get(), out);
}

// Reads one known output line at text[at], which ends in a line feed: the
// three diagnostics of the profile walk (with the name of a subkey of the
// profile list) or one of paths. Returns the length read, 0 when none fits.
std::size_t KnownLine(const std::wstring& text, std::size_t at, const std::vector<std::wstring>& subkeys,
                      const std::set<std::wstring>& paths) {
  auto fits = [&](const std::wstring& s) { return text.compare(at, s.size(), s) == 0; };
  for (const wchar_t* fixed : {L"Failed to query registry info\n", L"Failed to open reg key\n"}) {
    if (fits(fixed)) return std::wcslen(fixed);
  }
  for (const auto& path : paths) {
    if (fits(path + L"\n")) return path.size() + 1;
  }
  for (const auto& name : subkeys) {
    const std::wstring head =
        std::wstring(L"Failed to get value for sub key '") + kProfileList + L"\\" + name + L"', res: ";
    if (!fits(head)) continue;
    std::size_t i = at + head.size();
    if (i < text.size() && text[i] == L'-') ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
    if (i > digits && i < text.size() && text[i] == L'\n') return i + 1 - at;
  }
  return 0;
}

std::string Str(const std::wstring& s) { return Printable(s); }

}  // namespace

namespace {
// The children map is keyed by folded name, so the folded path of an entry
// is its folder's folded path, a backslash and its key.
void SnapshotBelow(const FsNode* n, std::wstring& path, std::map<std::wstring, EntryState>* out) {
  const std::size_t length = path.size();
  for (const auto& kv : n->children) {
    const FsNode* c = kv.second.get();
    path += L'\\';
    path += kv.first;
    EntryState& s = (*out)[path];
    s.name = c->name;
    s.attributes = c->attributes;
    s.linkTarget = c->linkTarget;
    s.content = c->content;
    s.isShortcut = c->isShortcut;
    s.shortcutTarget = c->shortcutTarget;
    s.shortcutDescription = c->shortcutDescription;
    if (c->linkTarget.empty()) SnapshotBelow(c, path, out);
    path.resize(length);
  }
}
}  // namespace

bool ProfileDirectoryOf(Machine& m, const sim::RegKeyNode& key, std::wstring* directory) {
  if (key.openResult != 0) return false;
  auto it = key.values.find(Fold(L"ProfileImagePath"));
  if (it == key.values.end() || it->second.queryResult != 0 || it->second.bytes.size() > 4096) return false;
  const auto& bytes = it->second.bytes;
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) {
    std::copy(bytes.begin(), bytes.begin() + text.size() * sizeof(wchar_t), reinterpret_cast<std::uint8_t*>(&text[0]));
  }
  text.resize(std::wcslen(text.c_str()));
  *directory = Expand(m, text);
  return true;
}

std::map<std::wstring, EntryState> Snapshot(Machine& m) {
  std::map<std::wstring, EntryState> out;
  for (const auto& drive : m.drives) {
    std::wstring path = Fold(drive.second->name);
    SnapshotBelow(drive.second.get(), path, &out);
  }
  return out;
}

SafetyCheck::SafetyCheck(Machine& m, std::vector<std::wstring> args) : args_(std::move(args)) {
  command_ = args_.size() >= 2 ? args_[1] : L"";
  before_ = Snapshot(m);
  startTime_ = m.now;
  terminationsBefore_ = m.terminations.size();
  postsBefore_ = m.posts.size();
  ownSessionKnown_ = m.Self().sessionReadable;
  ownSession_ = m.Self().session;

  if (sim::RegKeyNode* list = m.FindKey(kProfileList)) {
    for (const auto& key : list->subkeys) subkeys_.push_back(key->name);
  }
  const std::vector<std::wstring> accounts = Accounts(m);
  const std::vector<std::wstring> profiles = ProfileDirectories(m);

  if (command_ == L"--stop") {
    std::int64_t timeout = 10000;
    for (std::size_t i = 2; i < args_.size(); ++i) {
      if (args_[i] != L"-timeout") continue;
      if (i + 1 >= args_.size()) break;
      timeout = ReadTimeout(args_[++i]);
    }
    timeBound_ = timeout < 0 ? 0 : (static_cast<std::uint64_t>(timeout) / kSecond + 1) * kSecond;
  } else if (command_ == L"--force-stop") {
    std::uint64_t clients = 0;
    for (const auto& p : m.processes) clients += p.alive && IsClientName(p.exeName);
    timeBound_ = clients * kTerminationWaitMs + kSecond;
  } else if (command_ == L"--restart-explorer") {
    std::uint64_t shells = 0;
    for (const auto& p : m.processes) {
      shells += p.alive && p.session == ownSession_ && Fold(p.exeName) == L"EXPLORER.EXE";
    }
    timeBound_ = shells * kTerminationWaitMs + kShellReturnChecks * kSecond;
    for (const auto& a : accounts) {
      std::wstring windows;
      if (Folder(m, a, kCsidlWindows, &windows)) shellExecutables_.insert(Fold(windows + L"\\explorer.exe"));
    }
  } else if (command_ == L"--uninstall") {
    for (const auto& a : accounts) {
      std::wstring rel;
      if (!Relative(m, a, kCsidlStartup, &rel)) continue;
      for (const auto& p : profiles) {
        if (!InsideProfile(m, p, p + rel)) continue;
        AllowShortcuts(m, p + rel, kStartupNames);
        for (const auto& name : kStartupNames) {
          FsNode* n = m.FindNode(p + rel + L"\\" + name);
          if (n != nullptr && !n->isDirectory) startupShortcutPaths_.insert(Fold(m.PathOf(n)));
        }
      }
    }
    if (args_.size() >= 3) {
      for (const auto& p : profiles) AllowDataFolder(m, p, args_[2]);
    }
  } else if (command_ == L"--admin-remove-shortcuts") {
    for (const auto& a : accounts) {
      std::wstring programs, desktop;
      if (Relative(m, a, kCsidlPrograms, &programs) && Relative(m, a, kCsidlDesktopDirectory, &desktop)) {
        for (const auto& p : profiles) {
          if (InsideProfile(m, p, p + programs)) {
            AllowShortcuts(m, p + programs, StartMenuNames());
            AllowGroupFolder(m, p + programs + L"\\Vantorel");
          }
          if (InsideProfile(m, p, p + desktop)) AllowShortcuts(m, p + desktop, kDesktopNames);
        }
      }
      std::wstring commonPrograms, commonDesktop;
      if (Folder(m, a, kCsidlCommonPrograms, &commonPrograms) &&
          Folder(m, a, kCsidlCommonDesktopDirectory, &commonDesktop)) {
        AllowShortcuts(m, commonPrograms, kLegacyStartMenuNames);
        AllowGroupFolder(m, commonPrograms + L"\\Vantorel");
        AllowShortcuts(m, commonDesktop, kLegacyDesktopNames);
        for (const auto& name : kLegacyDesktopNames) stdoutPaths_.insert(commonDesktop + L"\\" + name);
      }
    }
  } else if (command_ == L"--portable-remove-shortcuts") {
    for (const auto& a : accounts) {
      std::wstring programs, desktop;
      if (!Folder(m, a, kCsidlPrograms, &programs) || !Folder(m, a, kCsidlDesktopDirectory, &desktop)) continue;
      AllowShortcuts(m, programs, StartMenuNames());
      AllowGroupFolder(m, programs + L"\\Vantorel");
      AllowShortcuts(m, desktop, kDesktopNames);
    }
  } else if (command_ == L"--admin-upgrade-startup-shortcut") {
    for (const auto& a : accounts) {
      std::wstring rel;
      const std::vector<std::wstring> programFiles = ProgramFiles(m, a);
      if (programFiles.empty() || !Relative(m, a, kCsidlStartup, &rel)) continue;
      for (const auto& folder : programFiles) launchers_.insert(folder + kLauncher);
      for (const auto& p : profiles) {
        if (InsideProfile(m, p, p + rel)) AllowStartupUpgrade(m, p + rel);
      }
    }
  } else if (command_ == L"--remove-all-users-empty-folders") {
    for (const auto& a : accounts) {
      std::wstring commonPrograms;
      if (Folder(m, a, kCsidlCommonPrograms, &commonPrograms)) AllowGroupFolder(m, commonPrograms + L"\\Vantorel");
      for (const auto& folder : ProgramFiles(m, a)) AllowGroupFolder(m, folder + L"\\Vantorel");
    }
  }
}

void SafetyCheck::AllowShortcuts(Machine& m, const std::wstring& folder, const std::vector<std::wstring>& names) {
  for (const auto& name : names) {
    // The entry DeleteFileW of that path would delete: a file or a link to
    // one; a folder of that name refuses the deletion.
    FsNode* n = m.FindNode(folder + L"\\" + name);
    if (n != nullptr && !n->isDirectory) mayDelete_.insert(Fold(m.PathOf(n)));
  }
}

// The folder goes only when RemoveDirectoryW takes it: an empty real folder,
// or a link to a folder standing in its place, which goes as the link (what it
// points at is checked like everything else: it must stay as it was).
void SafetyCheck::AllowGroupFolder(Machine& m, const std::wstring& folder) {
  FsNode* n = m.FindNode(folder);
  if (n != nullptr && n->isDirectory) mayRemoveEmpty_.insert(Fold(m.PathOf(n)));
}

void SafetyCheck::AllowDataFolder(Machine& m, const std::wstring& profile, const std::wstring& name) {
  if (name.empty()) return;
  for (const wchar_t* local : {L"\\AppData\\Local", L"\\Local Settings\\Application Data"}) {
    const std::wstring base = profile + local;
    const std::wstring data = base + L"\\" + name;
    // The name must add exactly its own components: nothing of it may be
    // trimmed, collapsed or climb out when Windows reads the path.
    const std::wstring canonicalBase = m.CanonicalPath(base);
    if (canonicalBase.empty() || Fold(m.CanonicalPath(data)) != Fold(canonicalBase + L"\\" + name)) continue;
    // Every folder from the profile down to the data folder must be real.
    std::vector<std::wstring> chain;
    std::wstring walked = profile;
    for (std::wstring rest = std::wstring(local) + L"\\" + name;;) {
      const std::size_t next = rest.find(L'\\', 1);
      if (next == std::wstring::npos) break;
      walked += rest.substr(0, next);
      rest = rest.substr(next);
      chain.push_back(walked);
    }
    bool real = true;
    for (const auto& folder : chain) {
      FsNode* n = m.FindNode(folder);
      if (n == nullptr || !n->isDirectory || IsLink(n)) real = false;
    }
    if (!real) continue;
    FsNode* node = m.FindNode(data);
    if (node == nullptr || (!node->isDirectory && !IsLink(node))) continue;
    std::set<std::wstring> tree;
    AddTree(m, node, &tree);
    mayDelete_.insert(tree.begin(), tree.end());
    dataPaths_.insert(tree.begin(), tree.end());
  }
}

void SafetyCheck::AllowStartupUpgrade(Machine& m, const std::wstring& folder) {
  sim::Dword error = 0;
  FsNode* dir = m.Resolve(folder, true, &error);
  if (dir == nullptr || !dir->isDirectory) return;
  std::vector<std::wstring> present;
  for (const auto& name : kStartupNames) {
    if (FsNode* n = m.FindNode(folder + L"\\" + name)) {
      present.push_back(m.PathOf(n));
      if (!n->isDirectory) mayDelete_.insert(Fold(m.PathOf(n)));
    }
  }
  // A folder without any start-up shortcut of the client gets none.
  if (!present.empty()) upgradeFolders_[Fold(m.PathOf(dir))] = present;
}

std::vector<std::string> SafetyCheck::Violations(Machine& m) const {
  std::vector<std::string> v;
  auto say = [&](const std::string& what, const std::wstring& path) { v.push_back(what + ": " + Str(path)); };

  // The upgrade's own writes: "Vantorel Drive.lnk" and its temporary files,
  // in a start-up folder that held a start-up shortcut before.
  auto upgradeWrite = [&](const std::wstring& folded) {
    const std::size_t slash = folded.rfind(L'\\');
    if (slash == std::wstring::npos || upgradeFolders_.count(folded.substr(0, slash)) == 0) return false;
    const std::wstring name = folded.substr(slash + 1);
    if (name == Fold(kShortcutName)) return true;
    if (name.compare(0, kTemporaryPrefix.size(), kTemporaryPrefix) != 0 || name.size() < kTemporaryPrefix.size() + 5) {
      return false;
    }
    if (name.compare(name.size() - 4, 4, L".TMP") != 0) return false;
    for (std::size_t i = kTemporaryPrefix.size(); i + 4 < name.size(); ++i) {
      if (name[i] < L'0' || name[i] > L'9') return false;
    }
    return true;
  };

  // Every change the file system journaled.
  std::size_t lastStartup = 0, firstData = SIZE_MAX;
  for (std::size_t i = 0; i < m.fsEvents.size(); ++i) {
    const auto& e = m.fsEvents[i];
    const std::wstring f = Fold(e.path);
    bool ok = false;
    switch (e.kind) {
      case sim::FsEventKind::kDeleted:
        ok = mayDelete_.count(f) || upgradeWrite(f);
        break;
      case sim::FsEventKind::kRemovedDirectory:
        ok = mayDelete_.count(f) || mayRemoveEmpty_.count(f);
        break;
      default:
        ok = upgradeWrite(f);
        break;
    }
    if (!ok) say("changed a path it may not touch (event " + std::to_string(static_cast<int>(e.kind)) + ")", e.path);
    // (A start-up shortcut that lies inside some data folder, of a profile
    // whose directory is someone's data folder, may go with either step.)
    if (startupShortcutPaths_.count(f) && !dataPaths_.count(f)) lastStartup = i + 1;
    if (dataPaths_.count(f) && firstData == SIZE_MAX) firstData = i + 1;
  }
  if (firstData != SIZE_MAX && lastStartup > firstData) {
    v.push_back("a data folder was touched before every start-up shortcut was deleted");
  }

  // The whole file system, before and after.
  const auto after = Snapshot(m);
  for (const auto& [path, state] : before_) {
    auto it = after.find(path);
    if (it == after.end()) {
      if (!mayDelete_.count(path) && !mayRemoveEmpty_.count(path) && !upgradeWrite(path)) say("gone", path);
    } else if (it->second != state && !upgradeWrite(path)) {
      say("changed", path);
    }
  }
  for (const auto& [path, state] : after) {
    if (!before_.count(path) && !upgradeWrite(path)) say("appeared", path);
  }

  // The upgrade: whatever it wrote is the current shortcut to the launcher,
  // a temporary file it leaves behind is hidden, and a user who started the
  // client at logon still does.
  for (const auto& [path, state] : after) {
    if (!upgradeWrite(path)) continue;
    auto old = before_.find(path);
    if (old != before_.end() && old->second == state) continue;
    const bool isLink = path.compare(path.size() - 4, 4, L".LNK") == 0;
    if (isLink && (!state.isShortcut || !launchers_.count(state.shortcutTarget) ||
                   state.shortcutDescription != kShortcutDescription)) {
      say("wrote a start-up shortcut that is not the current one to the launcher", path);
    }
    if (!isLink && !(state.attributes & kFileAttributeHidden)) say("left a visible temporary file", path);
  }
  for (const auto& [folder, present] : upgradeFolders_) {
    auto link = after.find(folder + L"\\" + Fold(kShortcutName));
    const bool current = link != after.end() && link->second.isShortcut &&
                         !(link->second.attributes & kFileAttributeHidden) &&
                         launchers_.count(link->second.shortcutTarget) != 0;
    if (current) continue;
    for (const auto& p : present) {
      if (!after.count(Fold(p))) say("lost start at logon: an old start-up shortcut went without a new one", p);
    }
  }

  // Processes.
  for (std::size_t i = terminationsBefore_; i < m.terminations.size(); ++i) {
    const auto& t = m.terminations[i];
    const sim::Process* p = m.FindProcess(t.pid);
    const std::wstring name = p ? p->exeName : L"?";
    bool ok = false;
    if (command_ == L"--force-stop") ok = p && IsClientName(name);
    if (command_ == L"--restart-explorer") {
      ok = p && ownSessionKnown_ && Fold(name) == L"EXPLORER.EXE" && p->session == ownSession_;
    }
    if (!ok) say("terminated pid " + std::to_string(t.pid), name);
    if (t.exitCode != 0) say("terminated with exit code " + std::to_string(t.exitCode), name);
  }
  for (std::size_t i = postsBefore_; i < m.posts.size(); ++i) {
    const auto& post = m.posts[i];
    const sim::Process* p = m.FindProcess(post.ownerPid);
    const bool ok = command_ == L"--stop" && p && IsClientName(p->exeName) && ownSessionKnown_ &&
                    p->session == ownSession_ && post.message == kWmEndSession && post.wParam == 1 &&
                    post.lParam == kEndSessionCloseApp;
    if (!ok) say("posted to a window of pid " + std::to_string(post.ownerPid), p ? p->exeName : L"?");
  }
  int started = 0;
  for (const auto& s : m.shellExecutes) {
    if (!shellExecutables_.count(Fold(s.file))) say("launched", s.file);
    started += s.succeeded;
  }
  for (const auto& s : m.createProcessWithToken) {
    if (!shellExecutables_.count(Fold(s.applicationName))) say("started as a user", s.applicationName);
    started += s.succeeded;
  }
  if (started > 1) v.push_back("started " + std::to_string(started) + " shells");

  // Time and waits.
  if (m.hung) v.push_back("waited without end on something that never ends");
  if (m.now - startTime_ > timeBound_) {
    v.push_back("took " + std::to_string(m.now - startTime_) + " ms of virtual time, bound " +
                std::to_string(timeBound_) + " ms");
  }

  // Resources.
  if (m.OpenHandleCount() != 0) v.push_back(std::to_string(m.OpenHandleCount()) + " handles left open");
  if (m.heapBlocks != 0) v.push_back(std::to_string(m.heapBlocks) + " heap blocks left");
  if (!m.localAllocations.empty()) v.push_back("argument vector not released");
  if (!m.environmentBlocks.empty()) v.push_back("environment block not destroyed");
  for (const auto& link : m.shellLinks) {
    if (!link.released || link.persistFileRefs != 0) v.push_back("shell link object not released");
  }

  // Output.
  for (std::size_t at = 0; at < m.stdoutText.size();) {
    const std::size_t n = KnownLine(m.stdoutText, at, subkeys_,
                                    command_ == L"--admin-remove-shortcuts" ? stdoutPaths_ : std::set<std::wstring>{});
    if (n == 0) {
      say("printed", m.stdoutText.substr(at));
      break;
    }
    at += n;
  }
  return v;
}

}  // namespace hostile
