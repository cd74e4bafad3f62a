#include "safety_check.h"

#include "report_check.h"

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

// One more of the tool's fixed names (see known_names.h), written out again here:
// the checker must not take it from the code it checks.
const wchar_t* const kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const std::wstring kTemporaryPrefix = L"~VANTOREL DRIVE " + std::to_wstring(sim::Processes::kSelfPid) + L"-";

constexpr std::uint64_t kTerminationWaitMs = 30000;
constexpr std::uint64_t kSecond = 1000;
// How much longer than its time-out "--stop" from session 0 may wait for its copies.
constexpr std::uint64_t kSessionStopMarginMs = 5000;
constexpr std::uint64_t kShellReturnChecks = 10;

bool IsClientName(const std::wstring& name) {
  for (const auto& c : kClientNames) {
    if (Fold(c) == Fold(name)) return true;
  }
  return false;
}

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

}  // namespace

// %NAME% replaced from the machine's environment; unknown names stay.
std::wstring Expand(Machine& m, const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'%') {
      const std::size_t end = s.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = m.runtime.environment.find(Fold(s.substr(i + 1, end - i - 1)));
        out += it != m.runtime.environment.end() ? it->second : s.substr(i, end - i + 1);
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
std::vector<std::wstring> ProfileDirectories(Machine& m, bool reachedOnly) {
  std::vector<std::wstring> dirs;
  sim::RegKeyNode* list = m.registry.FindKey(kProfileList);
  if (list == nullptr || list->openResult != 0 || list->queryInfoResult != 0) return dirs;
  for (const auto& key : list->subkeys) {
    // The walk ends where the list cannot be enumerated.
    if (reachedOnly && list->enumFailIndexes.count(static_cast<sim::Dword>(&key - &list->subkeys[0])) != 0) break;
    std::wstring dir;
    if (ProfileDirectoryOf(m, *key, &dir) && !dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

std::wstring PieceOf(Machine& m, const std::wstring& command, const std::wstring& path) {
  if (command != L"--uninstall" && command != L"--admin-remove-shortcuts" &&
      command != L"--admin-upgrade-startup-shortcut") {
    return L"";
  }
  const std::wstring folded = Fold(m.files.CanonicalPath(path));
  std::wstring piece;
  for (const std::wstring& dir : ProfileDirectories(m)) {
    const std::wstring d = Fold(m.files.CanonicalPath(dir));
    // The outermost: a profile list may name a folder inside another
    // profile, whose entries the outer profile's walk reaches too.
    if ((piece.empty() || d.size() < piece.size()) && folded.size() > d.size() && folded.compare(0, d.size(), d) == 0 &&
        folded[d.size()] == L'\\') {
      piece = d;
    }
  }
  return piece;
}

// The accounts whose folders the run may resolve: the users of the shells of
// the tool's own session (it takes one of them) and the tool's own account
// (when it gets no token).
std::vector<std::wstring> Accounts(Machine& m) {
  std::vector<std::wstring> accounts = {m.processes.Self().user};
  if (m.processes.Self().sessionReadable) {
    for (const auto& p : m.processes.list) {
      if (p.alive && p.session == m.processes.Self().session && Fold(p.exeName) == L"EXPLORER.EXE")
        accounts.push_back(p.user);
    }
  }
  std::sort(accounts.begin(), accounts.end());
  accounts.erase(std::unique(accounts.begin(), accounts.end()), accounts.end());
  return accounts;
}

// A shell folder as the look-up gives it with S_OK.
bool Folder(Machine& m, const std::wstring& account, int csidl, std::wstring* path) {
  const sim::FolderEntry* entry = nullptr;
  auto u = m.shell.userFolders.find(account);
  if (u != m.shell.userFolders.end()) {
    auto f = u->second.find(csidl);
    if (f != u->second.end()) entry = &f->second;
  }
  if (entry == nullptr) {
    auto f = m.shell.commonFolders.find(csidl);
    if (f != m.shell.commonFolders.end()) entry = &f->second;
  }
  if (entry == nullptr || entry->result != kSOk || entry->path.size() >= kMaxPath) return false;
  *path = entry->path;
  return true;
}

// The account's folder below its profile folder, cut at a separator
// (letter case does not count).
bool Relative(Machine& m, const std::wstring& account, int csidl, std::wstring* rel) {
  std::wstring base, folder;
  if (!Folder(m, account, kCsidlProfile, &base) || !Folder(m, account, csidl, &folder)) return false;
  if (Fold(folder.substr(0, base.size())) != Fold(base)) return false;
  if (folder.size() > base.size() && folder[base.size()] != L'\\') return false;
  *rel = folder.substr(base.size());
  return true;
}

bool Carried(Machine& m, const std::wstring& account, int csidl, std::wstring* rel) {
  if (!Relative(m, account, csidl, rel)) return false;
  const std::wstring r = Fold(*rel);
  auto in = [&](const std::wstring& folder) {
    return r.compare(0, folder.size(), Fold(folder)) == 0 && (r.size() == folder.size() || r[folder.size()] == L'\\');
  };
  const std::wstring vista = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  const std::wstring xp = L"\\Start Menu\\Programs";
  if (csidl == kCsidlPrograms) return r == Fold(vista) || r == Fold(xp);
  if (csidl == kCsidlStartup) return r == Fold(vista + L"\\Startup") || r == Fold(xp + L"\\Startup");
  return !r.empty() && !in(L"\\AppData") && !in(L"\\Start Menu");
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

bool IsLinkNode(const FsNode* n) { return !n->linkTarget.empty(); }
bool IsReparse(const FsNode* n) { return !n->linkTarget.empty() || (n->attributes & kFileAttributeReparsePoint) != 0; }
bool IsRealFolder(const FsNode* n) { return n->isDirectory && !IsReparse(n); }
// A folder the tool works in: a real folder, or one a cloud-files provider
// manages (a placeholder: its reparse point names nothing else).
bool IsFolderToWorkIn(const FsNode* n) {
  return IsRealFolder(n) || (n->isDirectory && n->linkTarget.empty() && IsCloudFilesTag(n->reparseTag));
}
// A link that names another place (a junction, a symbolic link), which goes
// as the link; other reparse points are neither entered nor removed.
bool IsNameSurrogate(const FsNode* n) { return IsLinkNode(n) || (n->reparseTag & 0x20000000u) != 0; }

FsNode* Child(const FsNode* folder, const std::wstring& name) {
  auto it = folder->children.find(Fold(name));
  return it == folder->children.end() || it->second->deletePending ? nullptr : it->second.get();
}

// The verbatim form of a canonical path.
std::wstring Verbatim(const std::wstring& canonical) {
  return canonical.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + canonical.substr(2) : L"\\\\?\\" + canonical;
}

namespace {

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

// The user signed in at a session; "" for none.
std::wstring SignedInAt(const Machine& m, Dword session) {
  for (const auto& s : m.users.sessions) {
    if (s.id == session) return s.user;
  }
  return L"";
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

namespace {
void SnapshotBelow(const FsNode* n, std::wstring& path, std::map<std::uint64_t, EntryState>* out) {
  const std::size_t length = path.size();
  for (const auto& kv : n->children) {
    const FsNode* c = kv.second.get();
    if (c->deletePending) continue;  // gone as soon as the last handle elsewhere closes
    path += L'\\';
    path += kv.first;
    EntryState& s = (*out)[c->id];
    s.path = path;
    s.parent = n->id;
    s.name = kv.first;
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

std::map<std::uint64_t, EntryState> Snapshot(Machine& m) {
  std::map<std::uint64_t, EntryState> out;
  for (const auto& drive : m.files.drives) {
    std::wstring path = Fold(drive.second->name);
    SnapshotBelow(drive.second.get(), path, &out);
  }
  for (const auto& share : m.files.shares) {
    std::wstring path = share.first;
    SnapshotBelow(share.second.get(), path, &out);
  }
  return out;
}

SafetyCheck::SafetyCheck(Machine& m, std::vector<std::wstring> args) : args_(std::move(args)) {
  command_ = args_.size() >= 2 ? args_[1] : L"";
  RecordBefore(m);
  const std::vector<std::wstring> accounts = Accounts(m);
  const std::vector<std::wstring> profiles = ProfileDirectories(m);

  if (command_ == L"--stop") {
    PrepareStop(m);
  } else if (command_ == L"--force-stop") {
    PrepareForceStop(m);
  } else if (command_ == L"--restart-explorer") {
    PrepareRestartExplorer(m, accounts);
  } else if (command_ == L"--uninstall") {
    PrepareUninstall(m, accounts, profiles);
  } else if (command_ == L"--admin-remove-shortcuts") {
    PrepareAdminRemoveShortcuts(m, accounts, profiles);
  } else if (command_ == L"--portable-remove-shortcuts") {
    PreparePortableRemoveShortcuts(m, accounts);
  } else if (command_ == L"--admin-upgrade-startup-shortcut") {
    PrepareStartupUpgrade(m, accounts, profiles);
  } else if (command_ == L"--remove-all-users-empty-folders") {
    PrepareEmptyFolderRemoval(m, accounts);
  }
}

// Where the run starts from: the file system and its journal, the clock,
// the logs of ended processes, opens, posts, starts and folder look-ups,
// the tool's own session, and the profile list's subkeys (named in its
// diagnostics).
void SafetyCheck::RecordBefore(Machine& m) {
  before_ = Snapshot(m);
  eventsBefore_ = m.files.fsEvents.size();
  startTime_ = m.clock.now;
  terminationsBefore_ = m.processes.terminations.size();
  openProcessCallsBefore_ = m.processes.openProcessCalls.size();
  postsBefore_ = m.windows.posts.size();
  sessionStartsBefore_ = m.users.createProcessAsUser.size();
  lookupsBefore_ = m.shell.folderLookups.size();
  cancelledBefore_ = m.cancelledAt.size();
  ownSessionKnown_ = m.processes.Self().sessionReadable;
  ownSession_ = m.processes.Self().session;

  if (sim::RegKeyNode* list = m.registry.FindKey(kProfileList)) {
    for (const auto& key : list->subkeys) subkeys_.push_back(key->name);
  }
}

// "--stop": its time-out, rounded up to whole seconds; from session 0 the
// copy it starts in each user's session.
void SafetyCheck::PrepareStop(Machine& m) {
  std::int64_t timeout = 10000;
  for (std::size_t i = 2; i < args_.size(); ++i) {
    if (args_[i] != L"-timeout") continue;
    if (i + 1 >= args_.size()) break;
    timeout = ReadTimeout(args_[++i]);
  }
  timeBound_ = timeout < 0 ? 0 : (static_cast<std::uint64_t>(timeout) / kSecond + 1) * kSecond;
  // From session 0 a copy runs in each user's session, waited for up to
  // the time-out and a margin.
  if (ownSessionKnown_ && ownSession_ == 0 && timeout >= 0) {
    timeBound_ = static_cast<std::uint64_t>(timeout) + kSessionStopMarginMs;
    sessionStopLine_ = L"\"" + m.runtime.modulePath + L"\" --stop -timeout " + std::to_wstring(timeout);
  }
}

// "--force-stop": each client process is waited for once, the partners
// that client processes start as they go included.
void SafetyCheck::PrepareForceStop(Machine& m) {
  std::uint64_t clients = 0;
  for (const auto& p : m.processes.list) {
    clients += p.alive && IsClientName(p.exeName);
    clients += p.alive && IsClientName(p.exeName) && IsClientName(p.respawns);
  }
  timeBound_ = clients * kTerminationWaitMs + kSecond;
}

// "--restart-explorer": a wait for each shell of the own session and for
// the new one, and the shells it may start.
void SafetyCheck::PrepareRestartExplorer(Machine& m, const std::vector<std::wstring>& accounts) {
  std::uint64_t shells = 0;
  for (const auto& p : m.processes.list) {
    shells += p.alive && p.session == ownSession_ && Fold(p.exeName) == L"EXPLORER.EXE";
  }
  timeBound_ = shells * kTerminationWaitMs + kShellReturnChecks * kSecond;
  // Session 0 has no user's desktop: nothing is ended or started there.
  if (ownSessionKnown_ && ownSession_ == 0) timeBound_ = 0;
  for (const auto& a : accounts) {
    if (ownSessionKnown_ && ownSession_ == 0) break;
    std::wstring windows;
    if (Folder(m, a, kCsidlWindows, &windows)) shellExecutables_.insert(Fold(windows + L"\\explorer.exe"));
  }
}

// "--uninstall": the start-up shortcuts of every profile (which go before
// any data) and the named data folder of every profile.
void SafetyCheck::PrepareUninstall(Machine& m, const std::vector<std::wstring>& accounts,
                                   const std::vector<std::wstring>& profiles) {
  for (const auto& a : accounts) {
    std::wstring rel;
    if (!Carried(m, a, kCsidlStartup, &rel)) continue;
    for (const auto& p : profiles) {
      FsNode* startup = RealChain(m, p, rel);
      if (startup == nullptr) continue;
      AllowShortcuts(startup, kStartupNames);
      for (const auto& name : kStartupNames) {
        if (FsNode* n = Child(startup, name)) startupShortcuts_.insert(n->id);
      }
    }
  }
  if (args_.size() >= 3) {
    for (const auto& p : profiles) AllowDataFolder(m, p, args_[2]);
  }
}

// "--admin-remove-shortcuts": the group and desktop shortcuts of every
// profile, and the old names in the all-users folders.
void SafetyCheck::PrepareAdminRemoveShortcuts(Machine& m, const std::vector<std::wstring>& accounts,
                                              const std::vector<std::wstring>& profiles) {
  for (const auto& a : accounts) {
    std::wstring programs, desktop;
    if (Carried(m, a, kCsidlPrograms, &programs) && Carried(m, a, kCsidlDesktopDirectory, &desktop)) {
      for (const auto& p : profiles) {
        if (FsNode* folder = RealChain(m, p, programs)) {
          AllowGroupFolder(folder, L"Vantorel");
          if (FsNode* group = RealChain(m, p, programs + L"\\Vantorel")) AllowShortcuts(group, kGroupNames);
        }
        if (FsNode* folder = RealChain(m, p, desktop)) AllowShortcuts(folder, kDesktopNames);
      }
    }
    std::wstring commonPrograms, commonDesktop;
    if (Folder(m, a, kCsidlCommonPrograms, &commonPrograms) &&
        Folder(m, a, kCsidlCommonDesktopDirectory, &commonDesktop)) {
      if (FsNode* folder = RealChain(m, commonPrograms, L"")) AllowGroupFolder(folder, L"Vantorel");
      if (FsNode* group = RealChain(m, commonPrograms, L"\\Vantorel")) AllowShortcuts(group, kLegacyGroupNames);
      if (FsNode* folder = RealChain(m, commonDesktop, L"")) AllowShortcuts(folder, kLegacyDesktopNames);
      for (const auto& name : kLegacyDesktopNames) stdoutPaths_.insert(commonDesktop + L"\\" + name);
    }
  }
}

// "--portable-remove-shortcuts": the signed-in user's own group and
// desktop shortcuts.
void SafetyCheck::PreparePortableRemoveShortcuts(Machine& m, const std::vector<std::wstring>& accounts) {
  for (const auto& a : accounts) {
    std::wstring programs, desktop;
    if (!Folder(m, a, kCsidlPrograms, &programs) || !Folder(m, a, kCsidlDesktopDirectory, &desktop)) continue;
    if (FsNode* folder = UserFolderChain(m, a, programs, L"")) AllowGroupFolder(folder, L"Vantorel");
    if (FsNode* group = UserFolderChain(m, a, programs, L"\\Vantorel")) AllowShortcuts(group, kGroupNames);
    if (FsNode* folder = UserFolderChain(m, a, desktop, L"")) AllowShortcuts(folder, kDesktopNames);
  }
}

// "--admin-upgrade-startup-shortcut": the start-up folders of every profile
// that hold a start-up shortcut, and the launchers the new one may name.
void SafetyCheck::PrepareStartupUpgrade(Machine& m, const std::vector<std::wstring>& accounts,
                                        const std::vector<std::wstring>& profiles) {
  for (const auto& a : accounts) {
    std::wstring rel;
    const std::vector<std::wstring> programFiles = ProgramFiles(m, a);
    if (programFiles.empty() || !Carried(m, a, kCsidlStartup, &rel)) continue;
    for (const auto& folder : programFiles) launchers_.insert(folder + kLauncher);
    for (const auto& p : profiles) {
      // (Its temporary file is made in the folder above: without one, nothing.)
      FsNode* staging = rel.empty() ? nullptr : RealChain(m, p, rel.substr(0, rel.rfind(L'\\')));
      if (FsNode* startup = RealChain(m, p, rel); startup && staging) AllowStartupUpgrade(startup, staging);
    }
  }
}

// "--remove-all-users-empty-folders": the all-users group folder and the
// maker's program-files folders.
void SafetyCheck::PrepareEmptyFolderRemoval(Machine& m, const std::vector<std::wstring>& accounts) {
  for (const auto& a : accounts) {
    std::wstring commonPrograms;
    if (Folder(m, a, kCsidlCommonPrograms, &commonPrograms)) {
      if (FsNode* folder = RealChain(m, commonPrograms, L"")) AllowGroupFolder(folder, L"Vantorel");
    }
    for (const auto& programFiles : ProgramFiles(m, a)) {
      if (FsNode* folder = RealChain(m, programFiles, L"")) AllowGroupFolder(folder, L"Vantorel");
    }
  }
}

FsNode* RealChain(Machine& m, const std::wstring& path, const std::wstring& relative) {
  // The path as Windows reads it, with the relative part's first separator
  // (so that "C:" is the drive's root and "C:\x." is "C:\x").
  const std::wstring canonical = m.files.CanonicalPath(path + L"\\");
  if (canonical.empty()) return nullptr;
  sim::Dword error = 0;
  FsNode* node = m.files.Resolve(Verbatim(canonical), /*followFinal=*/false, &error);
  if (node == nullptr || !IsFolderToWorkIn(node) || node->deletePending) return nullptr;
  if (relative.empty()) return node;
  if (relative[0] != L'\\') return nullptr;
  std::size_t begin = 1;
  for (;;) {
    const std::size_t end = relative.find(L'\\', begin);
    const std::wstring part = relative.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    node = part.empty() ? nullptr : Child(node, part);
    if (node == nullptr || !IsFolderToWorkIn(node)) return nullptr;
    if (end == std::wstring::npos) return node;
    begin = end + 1;
  }
}

FsNode* UserFolderChain(Machine& m, const std::wstring& account, const std::wstring& folder,
                        const std::wstring& below) {
  // Inside the account's profile folder: every folder from there down is
  // the user's, and must be a real folder (or a cloud placeholder one).
  std::wstring profile;
  if (Folder(m, account, kCsidlProfile, &profile) && folder.compare(0, profile.size(), profile) == 0 &&
      (folder.size() == profile.size() || folder[profile.size()] == L'\\')) {
    const std::wstring relative = folder.substr(profile.size()) + below;
    bool plain = true;
    for (std::size_t i = 0; i + 1 < relative.size(); ++i)
      plain = plain && !(relative[i] == L'\\' && relative[i + 1] == L'.');
    if (plain) return RealChain(m, profile, relative);
  }
  return RealChain(m, folder, below);
}

void SafetyCheck::AllowShortcuts(FsNode* folder, const std::vector<std::wstring>& names) {
  for (const auto& name : names) {
    linkSlots_.insert({folder->id, Fold(name)});
    // A file (a placeholder of one included) or a link of that name; a
    // folder of that name stays.
    FsNode* n = Child(folder, name);
    if (n != nullptr && (!n->isDirectory || IsNameSurrogate(n))) mayDelete_.insert(n->id);
  }
}

// The folder goes only when it is empty; a link in its place goes as a
// link (what it points at is checked like everything else: it must stay).
void SafetyCheck::AllowGroupFolder(FsNode* folder, const std::wstring& name) {
  linkSlots_.insert({folder->id, Fold(name)});
  FsNode* n = Child(folder, name);
  if (n == nullptr) return;
  if (IsFolderToWorkIn(n)) mayRemoveEmpty_.insert(n->id);
  if (IsNameSurrogate(n)) mayDelete_.insert(n->id);
}

void SafetyCheck::AllowDataFolder(Machine& m, const std::wstring& profile, const std::wstring& name) {
  if (name.empty()) return;
  for (const wchar_t* local : {L"\\AppData\\Local", L"\\Local Settings\\Application Data"}) {
    // The name must be plain folder names: nothing Windows would trim,
    // collapse or climb out with.
    const std::wstring relative = std::wstring(local) + L"\\" + name;
    bool plain = true;
    for (std::size_t begin = 1;;) {
      const std::size_t end = relative.find(L'\\', begin);
      const std::wstring part = relative.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
      if (part.empty() || part.back() == L'.' || part.back() == L' ' ||
          part.find_first_of(L"/:*?\"<>|") != std::wstring::npos) {
        plain = false;
      }
      for (wchar_t c : part) plain = plain && c >= L' ';
      if (end == std::wstring::npos) break;
      begin = end + 1;
    }
    if (!plain) continue;
    const std::size_t last = relative.rfind(L'\\');
    FsNode* parent = RealChain(m, profile, relative.substr(0, last));
    if (parent == nullptr) continue;
    const std::wstring dataName = relative.substr(last + 1);
    linkSlots_.insert({parent->id, Fold(dataName)});
    FsNode* data = Child(parent, dataName);
    if (data == nullptr) continue;
    if (IsNameSurrogate(data)) {
      mayDelete_.insert(data->id);
      dataEntries_.insert(data->id);
      continue;
    }
    if (!IsRealFolder(data)) continue;  // a file of that name, or a placeholder folder, stays
    // The whole tree: real folders, files and links; what a link points at
    // and what lies in a placeholder folder are not part of it.
    std::function<void(FsNode*)> add = [&](FsNode* n) {
      if (IsReparse(n) && !IsNameSurrogate(n)) return;
      mayDelete_.insert(n->id);
      dataEntries_.insert(n->id);
      if (!IsRealFolder(n)) return;
      linkFolders_.insert(n->id);
      for (auto& kv : n->children) add(kv.second.get());
    };
    add(data);
  }
}

void SafetyCheck::AllowStartupUpgrade(FsNode* folder, FsNode* staging) {
  std::vector<std::uint64_t> present;
  for (const auto& name : kStartupNames) {
    linkSlots_.insert({folder->id, Fold(name)});
    if (FsNode* n = Child(folder, name)) {
      present.push_back(n->id);
      if (!n->isDirectory || IsNameSurrogate(n)) mayDelete_.insert(n->id);
    }
  }
  // A folder without any start-up shortcut of the client gets none.
  if (present.empty()) return;
  upgradeFolders_[folder->id] = present;
  stagingFolders_.insert(staging->id);
}

// "Vantorel Drive.lnk" in a start-up folder that held a start-up shortcut
// before; the upgrade's temporary files in the folder above one, never in
// a start-up folder.
bool SafetyCheck::UpgradeSlot(std::uint64_t parent, const std::wstring& name) const {
  if (upgradeFolders_.count(parent) != 0) return name == Fold(kShortcutName);
  if (stagingFolders_.count(parent) == 0) return false;
  if (name.compare(0, kTemporaryPrefix.size(), kTemporaryPrefix) != 0 || name.size() < kTemporaryPrefix.size() + 5) {
    return false;
  }
  if (name.compare(name.size() - 4, 4, L".TMP") != 0) return false;
  for (std::size_t i = kTemporaryPrefix.size(); i + 4 < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
  }
  return true;
}

namespace {

void Say(std::vector<std::string>* v, const std::string& what, const std::wstring& path) {
  v->push_back(what + ": " + Str(path));
}

std::wstring NameOf(const std::wstring& path) { return Fold(path.substr(path.rfind(L'\\') + 1)); }

}  // namespace

// What the tool created during the run (the upgrade's temporary file, and
// the same entry once renamed into place), and what the adversary did.
struct SafetyCheck::Journaled {
  std::set<std::uint64_t> created, adversaryCreated, adversaryMoved, adversaryChanged, adversaryMovedFrom;
};

std::vector<std::string> SafetyCheck::Violations(Machine& m) const {
  std::vector<std::string> v;
  const Journaled j = JournalOf(m);
  CheckChanges(m, j, &v);
  const auto after = Snapshot(m);
  CheckEntries(after, j, &v);
  CheckUpgrade(m, after, j, &v);
  CheckProcessesActedOn(m, &v);
  CheckStarts(m, &v);
  CheckFolderLookups(m, &v);
  CheckTime(m, &v);
  CheckUnattended(m, &v);
  CheckResources(m, &v);
  CheckOutput(m, &v);
  return v;
}

SafetyCheck::Journaled SafetyCheck::JournalOf(Machine& m) const {
  Journaled j;
  for (std::size_t i = eventsBefore_; i < m.files.fsEvents.size(); ++i) {
    const auto& e = m.files.fsEvents[i];
    if (e.kind == sim::FsEventKind::kCreated) (e.byTool ? j.created : j.adversaryCreated).insert(e.node);
    if (!e.byTool && e.kind == sim::FsEventKind::kMovedAway) j.adversaryMoved.insert(e.node);
    if (!e.byTool && e.kind == sim::FsEventKind::kAttributesChanged) j.adversaryChanged.insert(e.node);
    if (!e.byTool && e.kind == sim::FsEventKind::kMovedAway) j.adversaryMovedFrom.insert(e.parent);
  }
  return j;
}

// Every change the tool made, as the file system journaled it; and no data
// folder touched before every start-up shortcut is gone.
void SafetyCheck::CheckChanges(Machine& m, const Journaled& j, std::vector<std::string>* v) const {
  // The portable command, run as another account with her folders: only
  // what her own account may change.
  std::wstring hers;
  if (command_ == L"--portable-remove-shortcuts") {
    for (std::size_t i = lookupsBefore_; i < m.shell.folderLookups.size(); ++i) {
      const auto& lookup = m.shell.folderLookups[i];
      if (lookup.tokenPassed && Fold(lookup.account) != Fold(m.processes.Self().user)) hers = lookup.account;
    }
  }
  std::size_t lastStartup = 0, firstData = SIZE_MAX;
  for (std::size_t i = eventsBefore_; i < m.files.fsEvents.size(); ++i) {
    const auto& e = m.files.fsEvents[i];
    if (!e.byTool) continue;
    if (!hers.empty() && Fold(e.owner) != Fold(hers)) {
      Say(v, "changed what " + Printable(hers) + "'s own account may not", e.path);
    }
    const std::wstring name = NameOf(e.path);
    bool ok = false;
    switch (e.kind) {
      case sim::FsEventKind::kDeleted:
      case sim::FsEventKind::kRemovedDirectory:
        ok = mayDelete_.count(e.node) ||
             (e.kind == sim::FsEventKind::kRemovedDirectory && mayRemoveEmpty_.count(e.node)) ||
             (j.created.count(e.node) && UpgradeSlot(e.parent, name)) ||
             // a link the adversary put in a place where the tool may delete
             (j.adversaryCreated.count(e.node) && (linkSlots_.count({e.parent, name}) || linkFolders_.count(e.parent)));
        break;
      case sim::FsEventKind::kCreated:
        ok = UpgradeSlot(e.parent, name) && name != Fold(kShortcutName);
        break;
      case sim::FsEventKind::kOverwritten:
        ok = UpgradeSlot(e.parent, name) && name == Fold(kShortcutName);
        break;
      case sim::FsEventKind::kMovedAway:
        ok = j.created.count(e.node) != 0;
        break;
      case sim::FsEventKind::kMovedHere:
        ok = j.created.count(e.node) && UpgradeSlot(e.parent, name);
        break;
      case sim::FsEventKind::kWritten:  // (made whole before its rename: nothing in a start-up folder)
      case sim::FsEventKind::kAttributesChanged:
        ok = j.created.count(e.node) && UpgradeSlot(e.parent, name) && name != Fold(kShortcutName);
        break;
    }
    if (!ok) Say(v, "changed a path it may not touch (event " + std::to_string(static_cast<int>(e.kind)) + ")", e.path);
    // (A start-up shortcut that lies inside some data folder, of a profile
    // whose directory is someone's data folder, may go with either step.)
    if (startupShortcuts_.count(e.node) && !dataEntries_.count(e.node)) lastStartup = i + 1;
    if (dataEntries_.count(e.node) && firstData == SIZE_MAX) firstData = i + 1;
  }
  if (firstData != SIZE_MAX && lastStartup > firstData) {
    v->push_back("a data folder was touched before every start-up shortcut was deleted");
  }
}

// The whole file system, before and after, entry by entry.
void SafetyCheck::CheckEntries(const std::map<std::uint64_t, EntryState>& after, const Journaled& j,
                               std::vector<std::string>* v) const {
  for (const auto& [id, state] : before_) {
    auto it = after.find(id);
    if (it == after.end()) {
      if (!mayDelete_.count(id) && !mayRemoveEmpty_.count(id)) Say(v, "gone", state.path);
    } else if (!it->second.SameContent(state) && !j.adversaryChanged.count(id)) {
      Say(v, "changed", state.path);
    }
  }
  for (const auto& [id, state] : after) {
    // (What the tool wrote may have been moved on by the adversary.)
    if (!before_.count(id) && !j.adversaryCreated.count(id) &&
        !(j.created.count(id) && (UpgradeSlot(state.parent, state.name) || j.adversaryMoved.count(id)))) {
      Say(v, "appeared", state.path);
    }
  }
}

// The upgrade: whatever it put in a start-up folder is the current shortcut
// to the launcher, visible, and a user who started the client at logon
// still does.
void SafetyCheck::CheckUpgrade(Machine&, const std::map<std::uint64_t, EntryState>& after, const Journaled& j,
                               std::vector<std::string>* v) const {
  std::map<std::uint64_t, const EntryState*> currentShortcut;
  for (const auto& [id, state] : after) {
    if (!j.created.count(id) || !UpgradeSlot(state.parent, state.name) || state.name != Fold(kShortcutName)) continue;
    if (!state.isShortcut || !launchers_.count(state.shortcutTarget) ||
        state.shortcutDescription != kShortcutDescription) {
      Say(v, "wrote a start-up shortcut that is not the current one to the launcher", state.path);
    }
    if (state.attributes & kFileAttributeHidden) Say(v, "put a hidden start-up shortcut in place", state.path);
    currentShortcut[state.parent] = &state;
  }
  for (const auto& [folder, present] : upgradeFolders_) {
    // (A user who moves their own shortcuts away meanwhile has decided.)
    if (j.adversaryMovedFrom.count(folder)) continue;
    auto link = currentShortcut.find(folder);
    bool current = link != currentShortcut.end() && !(link->second->attributes & kFileAttributeHidden);
    // An old "Vantorel Drive.lnk" that stayed is as good, if it still is one.
    for (const auto id : present) {
      auto kept = after.find(id);
      if (kept != after.end() && kept->second.parent == folder && kept->second.name == Fold(kShortcutName) &&
          !(kept->second.attributes & kFileAttributeHidden)) {
        current = true;
      }
    }
    if (current) continue;
    // Without a shown current one, every old shortcut that Explorer started
    // (a visible one) must still be there.
    for (const auto id : present) {
      if (!after.count(id) && !j.adversaryMoved.count(id) && !(before_.at(id).attributes & kFileAttributeHidden)) {
        Say(v, "lost start at logon: an old start-up shortcut went without a new one", before_.at(id).path);
      }
    }
  }
}

// The processes ended, the windows posted to, the processes opened.
void SafetyCheck::CheckProcessesActedOn(Machine& m, std::vector<std::string>* v) const {
  for (std::size_t i = terminationsBefore_; i < m.processes.terminations.size(); ++i) {
    const auto& t = m.processes.terminations[i];
    const sim::Process* p = m.processes.FindProcess(t.pid);
    const std::wstring name = t.name;
    bool ok = false;
    if (command_ == L"--force-stop") ok = p && IsClientName(name);
    if (command_ == L"--restart-explorer") {
      ok = p && ownSessionKnown_ && Fold(name) == L"EXPLORER.EXE" && p->session == ownSession_ && ownSession_ != 0;
    }
    if (!ok) Say(v, "terminated pid " + std::to_string(t.pid), name);
    if (t.exitCode != 0) Say(v, "terminated with exit code " + std::to_string(t.exitCode), name);
  }
  for (std::size_t i = postsBefore_; i < m.windows.posts.size(); ++i) {
    const auto& post = m.windows.posts[i];
    const sim::Process* p = m.processes.FindProcess(post.ownerPid);
    const bool ok = command_ == L"--stop" && p && IsClientName(p->exeName) && ownSessionKnown_ &&
                    p->session == ownSession_ && post.message == kWmEndSession && post.wParam == 1 &&
                    post.lParam == kEndSessionCloseApp;
    if (!ok) Say(v, "posted to a window of pid " + std::to_string(post.ownerPid), p ? p->exeName : L"?");
  }
  // No process's memory is ever read, and only processes known by name to
  // be the client's or the shell are opened for more than a look.
  for (std::size_t i = openProcessCallsBefore_; i < m.processes.openProcessCalls.size(); ++i) {
    const auto& call = m.processes.openProcessCalls[i];
    if (call.access & kProcessVmRead) {
      Say(v, "opened for reading its memory, pid " + std::to_string(call.pid), call.name);
    }
    const bool look = (call.access & ~(kProcessQueryLimitedInformation | kSynchronize)) == 0;
    // (An open of a process that has gone opens nothing.)
    if (!look && !call.name.empty() && !IsClientName(call.name) && Fold(call.name) != L"EXPLORER.EXE") {
      Say(v, "opened for more than a look, pid " + std::to_string(call.pid), call.name);
    }
  }
}

// Every process the tool started runs as the user signed in at its
// session, not elevated, at medium integrity at most, and without the
// tool's error mode (which hides crash and critical-error boxes).
void SafetyCheck::CheckStarts(Machine& m, std::vector<std::string>* v) const {
  auto userLevel = [&](const sim::CreateProcessWithTokenRecord& s) {
    if (!s.succeeded) return;
    const std::string where = " in session " + std::to_string(s.session);
    const std::wstring user = SignedInAt(m, s.session);
    if (user.empty() || Fold(user) != Fold(s.tokenUser)) {
      Say(v, "started as " + Str(s.tokenUser) + where, s.commandLine);
    }
    if (s.tokenElevated) Say(v, "started elevated" + where, s.commandLine);
    if (s.tokenIntegrity > kSecurityMandatoryMediumRid) Say(v, "started above medium integrity" + where, s.commandLine);
    if ((s.creationFlags & kCreateDefaultErrorMode) == 0) {
      Say(v, "started with the tool's error mode" + where, s.commandLine);
    }
  };
  // Shells: in the tool's own session, one at most.
  int started = 0;
  auto shell = [&](const sim::CreateProcessWithTokenRecord& s) {
    if (s.session != ownSession_) Say(v, "started a shell in session " + std::to_string(s.session), s.applicationName);
    started += s.succeeded;
  };
  for (const auto& s : m.users.createProcessWithToken) {
    if (!shellExecutables_.count(Fold(s.applicationName))) Say(v, "started as a user", s.applicationName);
    shell(s);
    userLevel(s);
  }
  // Copies of the tool itself, hidden, as the user signed in at an active
  // session other than 0, and at most one started per session.
  std::set<Dword> sessionsStarted;
  for (std::size_t i = sessionStartsBefore_; i < m.users.createProcessAsUser.size(); ++i) {
    const auto& s = m.users.createProcessAsUser[i];
    userLevel(s);
    if (shellExecutables_.count(Fold(s.applicationName))) {
      shell(s);
      continue;
    }
    bool ok = !sessionStopLine_.empty() && s.applicationName == m.runtime.modulePath &&
              s.commandLine == sessionStopLine_ && s.desktop == L"winsta0\\default" &&
              (s.creationFlags & kCreateNoWindow) && s.session != 0 &&
              (!s.succeeded || sessionsStarted.insert(s.session).second);  // (a start a job refused is retried)
    bool signedIn = false;
    for (const auto& session : m.users.sessions) {
      signedIn |= session.id == s.session && session.state == kWtsActive && session.user == s.tokenUser;
    }
    if (!ok || !signedIn) Say(v, "started in session " + std::to_string(s.session), s.commandLine);
  }
  if (started > 1) v->push_back("started " + std::to_string(started) + " shells");
}

// Folder look-ups with a token: only that of the user signed in at the
// tool's own session, and none from session 0 (nobody's desktop).
void SafetyCheck::CheckFolderLookups(Machine& m, std::vector<std::string>* v) const {
  const std::wstring layoutUser = ownSessionKnown_ && ownSession_ != 0 ? SignedInAt(m, ownSession_) : L"";
  for (std::size_t i = lookupsBefore_; i < m.shell.folderLookups.size(); ++i) {
    const auto& lookup = m.shell.folderLookups[i];
    if (lookup.tokenPassed && (layoutUser.empty() || Fold(lookup.account) != Fold(layoutUser))) {
      Say(v,
          "looked up folders from session " + std::to_string(ownSession_) + ", where " +
              (layoutUser.empty() ? "no user's token may be" : Str(layoutUser) + " is signed in,") + " with that of",
          lookup.account);
      break;
    }
  }
}

// Time and waits.
void SafetyCheck::CheckTime(Machine& m, std::vector<std::string>* v) const {
  if (m.hung) v->push_back("waited without end on something that never ends");
  // A call that never returned (an opportunistic lock whose break nobody
  // acknowledges) ends the run kNoReturnBoundMs later: the run's bound.
  // A call cancelled after its own bound costs that bound, once per piece
  // of work: the rest of the piece is given up with it.
  std::map<std::wstring, int> cancelled;
  for (std::size_t i = cancelledBefore_; i < m.cancelledAt.size(); ++i) {
    if (++cancelled[PieceOf(m, command_, m.cancelledAt[i])] == 2) {
      Say(v, "waited out the bound of a second call in the same piece of work, at", m.cancelledAt[i]);
    }
  }
  // A log into a pipe that nobody drains costs one call's bound, once.
  const std::uint64_t stalledLog = m.runtime.stdoutStalls && AsksForLog(args_) ? platform::kFileCallBoundMs : 0;
  const std::uint64_t bound = timeBound_ + (m.cancelledAt.size() - cancelledBefore_) * platform::kFileCallBoundMs +
                              (m.endedByBound ? sim::kNoReturnBoundMs : 0) + stalledLog;
  if (m.clock.now - startTime_ > bound) {
    v->push_back("took " + std::to_string(m.clock.now - startTime_) + " ms of virtual time, bound " +
                 std::to_string(timeBound_) + " ms");
  }
}

// Nobody may be there to answer a dialog, and no DLL is taken from
// beside the tool.
void SafetyCheck::CheckUnattended(Machine& m, std::vector<std::string>* v) const {
  if (m.shell.dialogs != 0) v->push_back("showed a message box");
  // (A process that was cut short keeps no settings: nothing to check.)
  const bool ran = m.cut == sim::Cut::kNone;
  if (ran && m.runtime.osMajor >= 10 && m.runtime.osBuild >= 17134 &&
      m.files.placeholderMode != kPhcmExposePlaceholders) {
    v->push_back("cloud placeholders not asked to be shown as they are");
  }
  if (ran && (m.runtime.errorMode & (kSemFailCriticalErrors | kSemNoGpFaultErrorBox | kSemNoOpenFileErrorBox)) !=
                 (kSemFailCriticalErrors | kSemNoGpFaultErrorBox | kSemNoOpenFileErrorBox)) {
    v->push_back("left the system's error dialogs on");
  }
  if (ran && m.runtime.defaultDllDirectories != kLoadLibrarySearchSystem32 && m.runtime.osMajor >= 10) {
    v->push_back("left the DLL search beside the executable");
  }
}

// Resources.
void SafetyCheck::CheckResources(Machine& m, std::vector<std::string>* v) const {
  if (!m.users.wtsAllocations.empty()) v->push_back("session list or session string not freed");
  if (!m.users.saferLevels.empty()) v->push_back("Safer level not closed");
  if (!m.users.lsaAllocations.empty()) v->push_back("logon session record not freed");
  if (!m.users.actingAs.empty()) v->push_back("still acting as " + Printable(m.users.actingAs) + " at the end");
  if (!m.users.serviceHandles.empty()) v->push_back("service handle not closed");
  if (m.OpenHandleCount() != 0) v->push_back(std::to_string(m.OpenHandleCount()) + " handles left open");
  if (!m.runtime.localAllocations.empty()) v->push_back("argument vector not released");
  if (!m.users.environmentBlocks.empty()) v->push_back("environment block not destroyed");
  for (const auto& link : m.shell.shellLinks) {
    if (!link.released || link.persistStreamRefs != 0) {
      v->push_back("shell link object not released");
    }
  }
  for (const auto& stream : m.shell.streams) {
    if (!stream.released) v->push_back("stream not released");
  }
}

// Output.
void SafetyCheck::CheckOutput(Machine& m, std::vector<std::string>* v) const {
  for (std::size_t at = 0; at < m.runtime.stdoutText.size();) {
    const std::size_t n = KnownLine(m.runtime.stdoutText, at, subkeys_,
                                    command_ == L"--admin-remove-shortcuts" ? stdoutPaths_ : std::set<std::wstring>{});
    if (n == 0) {
      Say(v, "printed", m.runtime.stdoutText.substr(at));
      break;
    }
    at += n;
  }
}

}  // namespace hostile
