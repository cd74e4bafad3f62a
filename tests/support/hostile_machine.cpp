#include "hostile_machine.h"

#include <algorithm>
#include <cwctype>
#include <functional>

#include "known_names.h"

namespace hostile {

using namespace platform;
using sim::Fold;
using sim::Machine;

std::uint64_t Random::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const std::wstring kStartupBelowProfile = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring kLegacyStartupBelowProfile = L"\\Start Menu\\Programs\\Startup";
const std::wstring kCommonPrograms = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::wstring kCommonDesktop = L"C:\\Users\\Public\\Desktop";
// OneDrive sync roots below a profile: an organisation's (folder backup as
// a company enforces it), another organisation's, a personal one.
const std::vector<std::wstring> kSyncRoots = {L"\\OneDrive - Vantor Corp", L"\\OneDrive - Elsewhere Ltd",
                                              L"\\OneDrive"};
// A dehydrated placeholder's attributes: its data is only in the cloud.
constexpr Dword kFileAttributeOffline = 0x00001000;
constexpr Dword kFileAttributeRecallOnDataAccess = 0x00400000;

const std::vector<std::wstring> kLookAlikes = {
    L"xzarek.exe",       L"zarek.com", L"zarek.exe ",      L"zarek.ex",    L"zarek-drive-ui.exe.bak",
    L"explorer.exe.exe", L"explorer",  L"command-handler", L"svchost.exe", L"client-maintenance.exe"};
// Names beside the client's that only resemble them.
const std::vector<std::wstring> kShortcutLookAlikes = {
    L"Vantorel Drive (2).lnk", L"Other.lnk",      L"Vantorel Drive.lnk.bak", L"Vantorel Drive.lnk ",
    L"Zarek Tolv.lnk",         L"ZarekTolv.lnk.", L"Vantorel Drive",         L"desktop.ini"};
const std::vector<std::wstring> kValidDataNames = {L"VantorelDrive", L"Vantorel\\Drive", L"Zarek Tolv",    L".git",
                                                   L"...a",          L" lead",           L"\u00e9t\u00e9", L"AppData",
                                                   L"a\\b\\c"};
const std::vector<std::wstring> kEntryNames = {L"settings.json",
                                               L"sync.log",
                                               L"...",
                                               L"trailing dot.",
                                               L".git",
                                               L" lead",
                                               L"a b",
                                               L"\u00e9t\u00e9",
                                               L"x",
                                               L"Vantorel Drive.lnk",
                                               L"desktop.ini",
                                               L"CON1",
                                               L"~tmp",
                                               std::wstring(120, L'n')};

std::wstring Verbatim(const std::wstring& path) { return L"\\\\?\\" + path; }

std::wstring RandomCase(Random& r, std::wstring s) {
  for (auto& c : s) {
    if (r.Chance(30)) c = static_cast<wchar_t>(std::towupper(c));
  }
  return s;
}

struct Profile {
  std::wstring sid, user, dir;  // dir: the real folder, canonical, or empty when there is none
  bool legacy = false;
};

class Generator {
 public:
  Generator(std::uint64_t seed, Machine& m, const Options& options)
      : r_(seed),
        locks_(seed * 0x9E3779B97F4A7C15ull + 5),
        layouts_(seed * 0xD1B54A32D192ED03ull + 7),
        accounts_(seed * 0xA24BAED4963EE407ull + 11),
        logs_(seed * 0x9FB21C651E98DF25ull + 13),
        m_(m),
        options_(options) {}
  Plan Build();

 private:
  void BaseSystem();
  void Processes();
  void ProfileEntries();
  void ServiceProfiles();
  void InteractiveUserProfile(const std::wstring& base);
  Profile OtherProfile(const std::wstring& base, const std::wstring& user, int rid);
  void OddSubkeysAndOrder();
  void ProfileValue(const std::wstring& sid, const std::wstring& text, Dword type = kRegExpandSz);
  void Populate(const Profile& p);
  void ShortcutFolder(const std::wstring& folder, const std::vector<std::wstring>& names);
  void ProgramGroup(const std::wstring& programs, const std::vector<std::wstring>& names);
  void DataFolder(const Profile& p);
  void SyncRoot(const std::wstring& root);
  void ObjectManagerTrap(const Profile& p, const std::wstring& startup, const std::wstring& programs);
  void Tree(const std::wstring& dir, int depth, int* budget);
  std::wstring LinkTarget(const std::wstring& near);
  void MakerFolder(const std::wstring& programFiles);
  void ShellFolders();
  void Owners();
  void UserFolders(const std::wstring& user, const std::wstring& dir, bool legacy, bool hostile);
  void Injections();
  void Runs();
  void Logs();
  void Rights();

  // Creation that never builds below a link or a file, nor turns an
  // existing entry into another kind: a path that cannot be made as asked is
  // skipped, and the node returned is then a scratch one.
  bool CanCreate(const std::wstring& path, bool directory);
  sim::FsNode* File(const std::wstring& path, Dword attributes = 0, const std::string& content = "x");
  sim::FsNode* Dir(const std::wstring& path, Dword attributes = 0);
  sim::FsNode* DirLink(const std::wstring& path, const std::wstring& target, bool junction);
  sim::FsNode* FileLink(const std::wstring& path, const std::wstring& target);
  sim::FsNode scratch_;

  Random r_;
  // The Read-Handle oplocks draw from a stream of their own, so that the
  // rest of every machine is what it was without them.
  Random locks_;
  // So do the layouts that no set-up gives but a user can set for herself.
  Random layouts_;
  // And the kinds of account: an AzureAD one, whose name the look-up
  // cannot turn into a SID; a system that keeps no record of logons.
  Random accounts_;
  // And whether a run asks for the decision log, and where it goes.
  Random logs_;
  Machine& m_;
  const Options& options_;
  Plan plan_;
  std::vector<Profile> profiles_;
  std::wstring alice_;  // the interactive user's real profile folder
  // OneDrive's folder backup (Known Folder Move): the sync root below the
  // signed-in user's profile that holds her desktop; empty when hers is
  // the plain one.
  std::wstring aliceSyncRoot_;
  bool legacyLayout_ = false;
  bool hasD_ = false;
  std::vector<std::vector<std::wstring>> stopArgs_;
  bool longStop_ = false;
};

bool Generator::CanCreate(const std::wstring& path, bool directory) {
  const std::wstring canonical = m_.files.CanonicalPath(path);
  if (canonical.size() < 3) return false;
  std::size_t begin = 0;
  const sim::FsNode* node = m_.files.RootOf(canonical, &begin);
  if (node == nullptr) return true;
  while (begin <= canonical.size()) {
    std::size_t end = canonical.find(L'\\', begin);
    if (end == std::wstring::npos) end = canonical.size();
    auto it = node->children.find(Fold(canonical.substr(begin, end - begin)));
    if (it == node->children.end()) return true;
    node = it->second.get();
    const bool last = end == canonical.size();
    if (last) return directory && node->isDirectory && node->linkTarget.empty();
    if (!node->isDirectory || !node->linkTarget.empty()) return false;
    begin = end + 1;
  }
  return true;
}

sim::FsNode* Generator::File(const std::wstring& path, Dword attributes, const std::string& content) {
  return CanCreate(path, false) ? m_.files.AddFile(path, attributes, content) : &scratch_;
}
sim::FsNode* Generator::Dir(const std::wstring& path, Dword attributes) {
  return CanCreate(path, true) ? m_.files.AddDirectory(path, attributes) : &scratch_;
}
sim::FsNode* Generator::DirLink(const std::wstring& path, const std::wstring& target, bool junction) {
  return CanCreate(path, false) ? m_.files.AddDirectoryLink(path, target, junction) : &scratch_;
}
sim::FsNode* Generator::FileLink(const std::wstring& path, const std::wstring& target) {
  return CanCreate(path, false) ? m_.files.AddFileLink(path, target) : &scratch_;
}

// ---------------- base system ----------------

void Generator::BaseSystem() {
  const std::uint32_t os = r_.Below(10);
  m_.runtime.osMajor = os < 8 ? 10 : os == 8 ? 6 : 5;
  // Windows 10 before 1709 has no POSIX deletes; Windows 11 has the
  // redirection trust policy.
  if (m_.runtime.osMajor == 10) m_.runtime.osBuild = r_.Chance(15) ? 15063 : r_.Chance(30) ? 22621 : 19045;
  legacyLayout_ = m_.runtime.osMajor == 5 && r_.Chance(80);
  hasD_ = r_.Chance(50);
  // A FAT or exFAT drive: no POSIX deletes or renames there.
  if (hasD_ && r_.Chance(30)) m_.files.volumesWithoutPosix.insert(L'D');

  File(L"C:\\Windows\\explorer.exe");
  File(L"C:\\Windows\\win.ini");
  File(L"C:\\Windows\\system32\\kernel32.dll", kFileAttributeSystem);
  File(L"C:\\Windows\\system32\\drivers\\etc\\hosts");
  File(L"C:\\Windows\\Vantorel Drive.lnk");  // a catalogue name where none may go
  File(L"C:\\Program Files\\Common Files\\shared.dll");
  if (r_.Chance(85)) Dir(L"C:\\Program Files (x86)");
  Dir(kCommonPrograms + L"\\Accessories");
  File(kCommonPrograms + L"\\StartUp\\Vantorel Drive.lnk");  // the machine's own start-up entry
  File(kCommonDesktop + L"\\Other.lnk");
  File(L"C:\\sentinel.txt");
  File(L"C:\\AppData\\Local\\VantorelDrive\\not-a-profile");  // where an empty profile path would lead
  File(L"C:\\Users\\sentinel.txt");
  if (hasD_) {
    File(L"D:\\Data\\important.doc");
    File(L"D:\\Redirected\\Desktop\\Vantorel Drive.lnk");
    File(L"D:\\Redirected\\Programs\\Vantorel\\Vantorel Drive.lnk");
  }

  m_.runtime.SetEnv(L"SystemDrive", L"C:");
  m_.runtime.SetEnv(L"SystemRoot", L"C:\\Windows");
  m_.runtime.SetEnv(L"windir", L"C:\\Windows");
  m_.runtime.SetEnv(L"ProgramData", L"C:\\ProgramData");
  m_.runtime.SetEnv(L"PUBLIC", L"C:\\Users\\Public");
  if (r_.Chance(30)) m_.runtime.SetEnv(L"EVIL", r_.Chance(50) ? L"C:\\Windows" : L"..\\..");

  // Machine-wide folders: usually resolved, sometimes not.
  auto common = [&](int csidl, const std::wstring& path, int okPercent) {
    const std::uint32_t k = r_.Below(100);
    if (k < static_cast<std::uint32_t>(okPercent)) {
      m_.shell.SetFolder(L"", csidl, path);
    } else if (k < static_cast<std::uint32_t>(okPercent) + (100 - okPercent) / 2) {
      m_.shell.SetFolder(L"", csidl, path, kSFalse);
    } else if (r_.Chance(50)) {
      m_.shell.SetFolder(L"", csidl, path, kEFail);
    }
  };
  common(kCsidlCommonPrograms, kCommonPrograms, 85);
  common(kCsidlCommonDesktopDirectory, kCommonDesktop, 85);
  common(kCsidlWindows, r_.Chance(95) ? L"C:\\Windows" : L"C:\\NoWindows", 90);
  common(kCsidlProgramFiles, L"C:\\Program Files", 90);
  common(kCsidlProgramFilesX86, r_.Chance(90) ? L"C:\\Program Files (x86)" : L"C:\\Program Files", 75);

  MakerFolder(L"C:\\Program Files (x86)");
  MakerFolder(L"C:\\Program Files");
  ProgramGroup(kCommonPrograms, kGroupNames);
  ShortcutFolder(kCommonDesktop, kDesktopNames);
}

void Generator::MakerFolder(const std::wstring& programFiles) {
  const std::wstring maker = programFiles + L"\\Vantorel";
  switch (r_.Below(10)) {
    case 0:
    case 1:
    case 2:
      break;  // absent
    case 3:
    case 4:
      Dir(maker);
      break;
    case 5:
      File(maker + L"\\VantorelDrive\\bin\\launcher.exe");
      break;
    case 6:
      File(maker + L"\\desktop.ini", kFileAttributeHidden | kFileAttributeSystem);
      break;
    case 7:
      Dir(maker + L"\\VantorelDrive");
      break;
    case 8:
      DirLink(maker, r_.Chance(50) ? L"C:\\Windows\\system32" : L"C:\\Nowhere", r_.Chance(50));
      break;
    default:
      Dir(maker, kFileAttributeReadonly);
      break;
  }
}

void Generator::ShortcutFolder(const std::wstring& folder, const std::vector<std::wstring>& names) {
  Dir(folder);
  for (const auto& name : names) {
    if (!r_.Chance(45)) continue;
    const std::wstring path = folder + L"\\" + (r_.Chance(10) ? RandomCase(r_, name) : name);
    switch (r_.Below(20)) {
      case 0:
        File(path, kFileAttributeReadonly);
        break;
      case 1:
        File(path, kFileAttributeHidden);
        break;
      case 2:
        File(path, kFileAttributeSystem | kFileAttributeHidden);
        break;
      case 3:
        File(path)->inUse = true;
        break;
      case 4:
        File(path)->denyDelete = true;
        break;
      case 5:
        File(path + L"\\inside");  // a folder of that name
        break;
      case 6:
        FileLink(path, L"C:\\Windows\\win.ini");
        break;
      case 7:
        DirLink(path, L"C:\\Windows", true);
        break;
      case 8:
        if (CanCreate(path, false)) m_.files.AddPlaceholder(path, /*directory=*/r_.Chance(30));
        break;
      default:
        File(path, kFileAttributeArchive, "old shortcut")->isShortcut = true;
        break;
    }
  }
  for (int i = 0, n = static_cast<int>(r_.Below(3)); i < n; ++i) {
    File(Verbatim(folder + L"\\" + r_.Pick(kShortcutLookAlikes)));
  }
}

void Generator::ProgramGroup(const std::wstring& programs, const std::vector<std::wstring>& names) {
  Dir(programs);
  const std::wstring group = programs + L"\\Vantorel";
  switch (r_.Below(12)) {
    case 0:
    case 1:
    case 2:
      return;  // no group folder
    case 3:
      Dir(group);
      return;
    case 4:
      DirLink(group, r_.Chance(50) ? kCommonPrograms + L"\\Vantorel" : L"C:\\Windows\\system32", r_.Chance(50));
      return;
    case 5:
      Dir(group, kFileAttributeReadonly);
      return;
    default:
      break;
  }
  ShortcutFolder(group, names);
  if (r_.Chance(20)) File(group + L"\\Help.url");
  if (r_.Chance(10)) Dir(group + L"\\Tools");
}

// ---------------- processes ----------------

void Generator::Processes() {
  Machine& m = m_;
  sim::Process& idle = m.processes.AddProcess(L"[System Process]", 0, 0);
  idle.pid = 0;
  idle.deniedAccess = 0xFFFFFFFF;
  sim::Process& system = m.processes.AddProcess(L"System", 0, 4);
  system.nameReadable = false;

  const std::uint32_t s = r_.Below(20);
  const Dword own = s < 16 ? 1 : s < 18 ? 2 : 0;
  m.processes.Self().session = own;
  m.processes.Self().user = r_.Chance(85) ? L"SYSTEM" : L"admin";
  m.processes.Self().sessionReadable = r_.Chance(95);

  auto shell = [&](Dword session, const std::wstring& user) -> sim::Process& {
    sim::Process& p =
        m.processes.AddProcess(r_.Chance(80) ? L"explorer.exe" : RandomCase(r_, L"explorer.exe"), session);
    p.user = user;
    if (r_.Chance(5)) p.deniedAccess = kProcessQueryInformation;
    if (r_.Chance(5)) p.tokenDeniedAccess = kTokenQuery;
    if (r_.Chance(5)) p.tokenDeniedAccess = kTokenDuplicate;
    if (r_.Chance(3)) p.reusedBy = L"svchost.exe";
    const std::uint32_t t = r_.Below(10);
    p.termination = t < 6   ? sim::Termination::kEnds
                    : t < 7 ? sim::Termination::kRefused
                    : t < 8 ? sim::Termination::kNeverEnds
                            : sim::Termination::kEndsLater;
    p.terminationDelayMs = r_.Below(45000);
    if (r_.Chance(50)) m.windows.AddWindow(p.pid, r_.Chance(50));
    return p;
  };
  const std::uint32_t shells = r_.Below(20);
  if (shells >= 3) shell(own, L"alice");
  if (shells >= 18) shell(own, r_.Chance(50) ? L"bob" : L"alice");
  for (int i = 0, n = static_cast<int>(r_.Below(3)); i < n; ++i) shell(own + 1 + i, i == 0 ? L"bob" : L"carol");
  if (r_.Chance(40)) {
    // Windows starts the shell again by itself, sooner or later.
    Machine* pm = &m;
    const std::wstring user = r_.Chance(80) ? L"alice" : L"bob";
    m.clock.At(r_.Below(15000), [pm, own, user] { pm->processes.AddProcess(L"explorer.exe", own).user = user; });
  }

  for (int i = 0, n = static_cast<int>(r_.Below(7)); i < n; ++i) {
    const Dword session = r_.Chance(50) ? own : r_.Below(4);
    sim::Process& p = m.processes.AddProcess(RandomCase(r_, r_.Pick(kClientNames)), session);
    p.user = r_.Chance(70) ? L"alice" : L"bob";
    const std::uint32_t t = r_.Below(10);
    p.termination = t < 6   ? sim::Termination::kEnds
                    : t < 7 ? sim::Termination::kRefused
                    : t < 8 ? sim::Termination::kNeverEnds
                            : sim::Termination::kEndsLater;
    p.terminationDelayMs = r_.Below(60000);
    if (r_.Chance(10)) p.deniedAccess = kProcessTerminate;
    if (r_.Chance(5)) p.deniedAccess = kProcessQueryInformation;
    p.nameReadable = r_.Chance(95);
    p.sessionReadable = r_.Chance(95);
    p.exitsBeforeOpen = r_.Chance(5);
    p.exitsOnEndSession = r_.Chance(40);
    // A daemon that brings a partner (or itself) back as it goes; an
    // identifier that another program has taken over by the time it is opened.
    if (r_.Chance(15)) p.respawns = r_.Pick(kClientNames);
    if (r_.Chance(5)) p.reusedBy = r_.Chance(50) ? L"notepad.exe" : L"explorer.exe";
    const int windows = static_cast<int>(r_.Below(4));
    for (int w = 0; w < windows; ++w) m.windows.AddWindow(p.pid, r_.Chance(50)).postFails = r_.Chance(10);
    const Dword pid = p.pid;
    Machine* pm = &m;
    auto end = [pm, pid] {
      if (sim::Process* q = pm->processes.FindProcess(pid)) pm->EndProcess(*q, 0);
    };
    if (windows > 0 && (options_.clientsEndWithinAMinute || longStop_)) {
      m.clock.At(r_.Below(60000), end);
    } else if (r_.Chance(30)) {
      m.clock.At(r_.Below(20000), end);
    }
  }
  for (int i = 0, n = static_cast<int>(r_.Below(5)); i < n; ++i) {
    sim::Process& p = m.processes.AddProcess(r_.Pick(kLookAlikes), r_.Below(4));
    if (r_.Chance(50)) m.windows.AddWindow(p.pid);
  }

  // The sessions: the services' and every one a process runs in, most with
  // a user signed in; a copy of the tool started there may never end.
  std::set<Dword> ids = {0, own};
  for (const auto& p : m.processes.list) ids.insert(p.session);
  for (const Dword id : ids) {
    sim::Session session{id, id == 0 ? sim::kWtsDisconnected : kWtsActive, L""};
    for (const auto& p : m.processes.list) {
      if (id != 0 && p.session == id && session.user.empty() && p.user != L"SYSTEM") session.user = p.user;
    }
    if (id != 0 && session.user.empty() && r_.Chance(80)) session.user = L"alice";
    if (id != 0 && r_.Chance(10)) session.state = r_.Chance(70) ? sim::kWtsDisconnected : sim::kWtsConnected;
    if (r_.Chance(5)) session.tokenError = kErrorAccessDenied;
    session.startedRunMs = r_.Chance(10) ? 0 : 1 + r_.Below(15000);
    m.users.sessions.push_back(session);
  }
  if (r_.Chance(95)) m.files.AddFile(m.runtime.modulePath);
}

// ---------------- profiles ----------------

void Generator::ProfileValue(const std::wstring& sid, const std::wstring& text, Dword type) {
  m_.registry.SetString(kProfileList + L"\\" + sid, L"ProfileImagePath", text, type);
}

void Generator::ProfileEntries() {
  m_.registry.Key(kProfileList);
  const std::wstring base = legacyLayout_ ? L"C:\\Documents and Settings\\" : L"C:\\Users\\";
  ServiceProfiles();
  InteractiveUserProfile(base);
  static const std::vector<std::wstring> users = {L"bob", L"carol", L"dave", L"erin", L"frank", L"alice2"};
  const int others = 1 + static_cast<int>(r_.Below(5));
  for (int i = 0; i < others; ++i) {
    profiles_.push_back(OtherProfile(base, users[static_cast<std::size_t>(i)], 1002 + i));
  }
  OddSubkeysAndOrder();
}

// The system's own profiles: SYSTEM's, and sometimes LOCAL SERVICE's.
void Generator::ServiceProfiles() {
  const std::wstring systemDir = L"C:\\Windows\\system32\\config\\systemprofile";
  profiles_.push_back({L"S-1-5-18", L"SYSTEM", systemDir, legacyLayout_});
  ProfileValue(L"S-1-5-18", L"%systemroot%\\system32\\config\\systemprofile");
  if (r_.Chance(50)) {
    profiles_.push_back({L"S-1-5-19", L"LOCAL SERVICE", L"C:\\Windows\\ServiceProfiles\\LocalService", legacyLayout_});
    ProfileValue(L"S-1-5-19", L"%SystemRoot%\\ServiceProfiles\\LocalService");
  }
}

// The interactive user's: a real folder, named in one of the ways Windows
// accepts, or (rarely) no entry at all.
void Generator::InteractiveUserProfile(const std::wstring& base) {
  alice_ = base + L"alice";
  if (r_.Chance(92)) {
    static const std::vector<std::wstring> forms = {L"%SystemDrive%\\Users\\alice", L"C:\\Users\\alice\\",
                                                    L"C:\\Users\\x\\..\\alice", L"c:\\users\\ALICE"};
    const std::wstring text =
        legacyLayout_ ? L"%SystemDrive%\\Documents and Settings\\alice" : (r_.Chance(80) ? forms[0] : r_.Pick(forms));
    ProfileValue(L"S-1-5-21-7-7-7-1001", text, r_.Chance(80) ? kRegExpandSz : kRegSz);
  }
  profiles_.push_back({L"S-1-5-21-7-7-7-1001", L"alice", alice_, legacyLayout_});
}

// Another user's entry, with relative identifier rid: a roaming profile on
// a share, a plain one, or one of the many ways an entry can be broken or
// lead somewhere else.
Profile Generator::OtherProfile(const std::wstring& base, const std::wstring& user, int rid) {
  const std::wstring sid = L"S-1-5-21-7-7-7-" + std::to_wstring(rid);
  const std::wstring key = kProfileList + L"\\" + sid;
  const std::wstring onC = base + user;
  const std::wstring onD = L"D:\\Profiles\\" + user;
  Profile p{sid, user, L"", legacyLayout_};
  if (r_.Chance(6)) {
    // A roaming profile's folder on a share.
    const std::wstring share = L"\\\\server\\profiles\\" + user;
    ProfileValue(sid, share, kRegSz);
    p.dir = share;
    return p;
  }
  switch (r_.Below(26)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      ProfileValue(sid, onC, r_.Chance(50) ? kRegSz : kRegExpandSz);
      p.dir = onC;
      break;
    case 6:
      if (hasD_) {
        ProfileValue(sid, onD, kRegSz);
        p.dir = onD;
      } else {
        ProfileValue(sid, onD);  // a drive that is not there
      }
      break;
    case 7:
      ProfileValue(sid, onC + L"-missing");  // a folder that does not exist
      break;
    case 8:
      ProfileValue(sid, onC);
      m_.files.AddFile(onC, 0, "a file where the profile should be");
      break;
    case 9: {
      // The profile folder is itself a link: to another profile, the
      // Windows folder, the drive root, or itself.
      // (Not static: it holds this profile's own name.)
      const std::vector<std::wstring> targets = {L"C:\\Users\\alice", L"C:\\Windows", L"C:\\", L"C:\\Users\\" + user,
                                                 L"D:\\Data"};
      ProfileValue(sid, onC);
      m_.files.AddDirectoryLink(onC, r_.Pick(targets), r_.Chance(50));
      break;
    }
    case 10:
      ProfileValue(sid, r_.Pick(std::vector<std::wstring>{L"", L"\\", L"C:", L"C:\\", L"Users\\" + user,
                                                          L"%UNKNOWN%\\" + user, L"\\\\server\\profiles\\" + user,
                                                          L"%EVIL%", L"%SystemDrive%", L"..\\..\\.."}));
      break;
    case 11:
      ProfileValue(sid, onC + L"\\..\\alice");  // names another user's folder
      break;
    case 12:
      ProfileValue(sid, onC + L".");
      p.dir = onC;
      break;
    case 13:
      m_.registry.Key(key);  // no ProfileImagePath at all
      break;
    case 14:
      m_.registry.SetValueBytes(key, L"ProfileImagePath", kRegDword, {1, 0, 0, 0});
      break;
    case 15: {
      std::vector<std::uint8_t> bytes(r_.Below(64));
      for (auto& b : bytes) b = static_cast<std::uint8_t>(r_.Chance(70) ? 'C' + r_.Below(24) : r_.Below(256));
      m_.registry.SetValueBytes(key, L"ProfileImagePath", kRegBinary, bytes);
      break;
    }
    case 16: {
      auto bytes = sim::StringBytes(onC, /*terminated=*/false);  // no terminating zero
      m_.registry.SetValueBytes(key, L"ProfileImagePath", kRegSz, bytes);
      p.dir = onC;
      break;
    }
    case 17: {
      auto bytes = sim::StringBytes(onC);
      bytes.resize(bytes.size() - 1 - r_.Below(3));  // an odd byte count
      m_.registry.SetValueBytes(key, L"ProfileImagePath", kRegSz, bytes);
      break;
    }
    case 18: {
      // Longer than the 4096 bytes the tool reads: ERROR_MORE_DATA.
      std::wstring longPath = onC;
      while (longPath.size() * sizeof(wchar_t) <= 4096) longPath += L"\\deeper";
      ProfileValue(sid, longPath);
      break;
    }
    case 19:
      m_.registry.SetValueBytes(key, L"ProfileImagePath", kRegSz, sim::StringBytes(onC + L'\0' + L"C:\\Windows"));
      p.dir = onC;
      break;
    case 20:
      ProfileValue(sid, onC);
      m_.registry.Key(key).values[Fold(L"ProfileImagePath")].queryResult = kErrorAccessDenied;
      p.dir = onC;
      break;
    case 21:
      ProfileValue(sid, onC);
      m_.registry.Key(key).openResult = kErrorAccessDenied;
      p.dir = onC;
      break;
    case 22: {
      // A real profile on a long path, past MAX_PATH.
      std::wstring deep = onC;
      while (deep.size() < 280) deep += L"\\level";
      ProfileValue(sid, deep);
      p.dir = deep;
      break;
    }
    case 23:
      ProfileValue(sid, L"C:\\Users\\alice\\AppData\\Local\\" + plan_.dataName);  // a folder inside another's data
      break;
    default:
      ProfileValue(sid, r_.Chance(50) ? L"%SystemDrive%\\Users\\" + user : onC);
      p.dir = onC;
      p.legacy = !legacyLayout_ && r_.Chance(30);
      break;
  }
  return p;
}

// Odd subkeys that are not profiles at all, and odd orders.
void Generator::OddSubkeysAndOrder() {
  if (r_.Chance(20)) m_.registry.Key(kProfileList + L"\\{odd key}");
  if (r_.Chance(10)) m_.registry.Key(kProfileList + L"\\" + std::wstring(200, L'k'));
  sim::RegKeyNode& list = m_.registry.Key(kProfileList);
  for (std::size_t i = list.subkeys.size(); i > 1; --i) std::swap(list.subkeys[i - 1], list.subkeys[r_.Below(i)]);
  list.childIndexCount = static_cast<std::size_t>(-1);  // the order changed: index again on the next look-up
  if (r_.Chance(5)) list.enumFailIndexes.insert(r_.Below(4));
  if (r_.Chance(2)) list.openResult = kErrorAccessDenied;
  if (r_.Chance(2)) list.queryInfoResult = kErrorAccessDenied;
}

std::wstring Generator::LinkTarget(const std::wstring& near) {
  std::vector<std::wstring> targets = {L"C:\\Windows",
                                       L"C:\\Windows\\system32",
                                       L"C:\\",
                                       L"C:\\Nowhere",
                                       kCommonPrograms,
                                       L"C:\\Program Files (x86)\\Vantorel",
                                       near};
  const std::size_t slash = near.rfind(L'\\');
  if (slash != std::wstring::npos && slash > 2) targets.push_back(near.substr(0, slash));
  for (const auto& p : profiles_) {
    if (p.dir.empty()) continue;
    targets.push_back(p.dir);
    targets.push_back(p.dir + L"\\AppData\\Local");
    targets.push_back(p.dir + L"\\AppData\\Local\\" + plan_.dataName);
  }
  if (hasD_) targets.push_back(L"D:\\Data");
  return r_.Pick(targets);
}

void Generator::Tree(const std::wstring& dir, int depth, int* budget) {
  const int entries = static_cast<int>(r_.Below(6));
  for (int i = 0; i<entries&& * budget> 0; ++i, --*budget) {
    const std::wstring path = dir + L"\\" + r_.Pick(kEntryNames) + (r_.Chance(50) ? std::to_wstring(i) : L"");
    const std::uint32_t kind = r_.Below(20);
    if (kind < 9) {
      Dword attributes = 0;
      if (r_.Chance(15)) attributes |= kFileAttributeHidden;
      if (r_.Chance(10)) attributes |= kFileAttributeSystem;
      if (r_.Chance(6)) attributes |= kFileAttributeReadonly;
      sim::FsNode* f = r_.Chance(4) && CanCreate(Verbatim(path), false)
                           ? m_.files.AddPlaceholder(Verbatim(path), /*directory=*/false)
                           : File(Verbatim(path), attributes);
      f->inUse = r_.Chance(4);
      f->denyDelete = r_.Chance(3);
      f->scannerOpen = r_.Chance(6);  // an indexer holds it, sharing everything
    } else if (kind < 15) {
      if (r_.Chance(5)) {
        // A cloud placeholder folder, with what its provider shows in it.
        if (CanCreate(Verbatim(path), true)) m_.files.AddPlaceholder(Verbatim(path), /*directory=*/true);
        File(Verbatim(path + L"\\in the cloud"));
        continue;
      }
      sim::FsNode* d = Dir(Verbatim(path), r_.Chance(10) ? kFileAttributeHidden : 0);
      d->denyList = r_.Chance(4);
      if (depth < 4) Tree(path, depth + 1, budget);
    } else if (kind < 19) {
      DirLink(Verbatim(path), LinkTarget(dir), r_.Chance(50))->denyDelete = r_.Chance(5);
    } else {
      FileLink(Verbatim(path), r_.Chance(50) ? L"C:\\Windows\\win.ini" : L"C:\\Windows\\system32\\kernel32.dll");
    }
  }
}

void Generator::DataFolder(const Profile& p) {
  const std::wstring local = p.dir + (p.legacy ? L"\\Local Settings\\Application Data" : L"\\AppData\\Local");
  const std::wstring data = local + L"\\" + plan_.dataName;
  // Neighbours that must stay.
  File(local + L"\\Other\\keep");
  File(Verbatim(data + L"2\\keep"));
  File(Verbatim(data + L".txt"));
  if (r_.Chance(4)) {
    // A folder on the way down is a link.
    const std::wstring on = r_.Chance(50) ? p.dir + L"\\AppData" : local;
    if (CanCreate(on, true)) m_.files.AddDirectoryLink(on, LinkTarget(on), r_.Chance(50));  // replaces the real folder
    return;
  }
  const std::size_t inner = plan_.dataName.rfind(L'\\');
  if (inner != std::wstring::npos && r_.Chance(8)) {
    DirLink(Verbatim(local + L"\\" + plan_.dataName.substr(0, inner)), LinkTarget(local), r_.Chance(50));
    return;
  }
  switch (r_.Below(20)) {
    case 0:
    case 1:
    case 2:
    case 3:
      return;  // no data folder
    case 4:
      DirLink(Verbatim(data), LinkTarget(data), r_.Chance(50));
      return;
    case 5:
      File(Verbatim(data), 0, "a file of that name");
      return;
    case 6:
      FileLink(Verbatim(data), L"C:\\Windows\\win.ini");
      return;
    default: {
      sim::FsNode* d = Dir(Verbatim(data), r_.Chance(10) ? kFileAttributeHidden : 0);
      d->denyList = r_.Chance(3);
      d->inUse = r_.Chance(2);
      int budget = 4 + static_cast<int>(r_.Below(40));
      Tree(data, 1, &budget);
      return;
    }
  }
}

void Generator::Populate(const Profile& p) {
  const std::wstring startup = p.dir + (p.legacy ? kLegacyStartupBelowProfile : kStartupBelowProfile);
  const std::size_t cut = startup.rfind(L'\\');
  const std::wstring programs = startup.substr(0, cut);
  if (r_.Chance(93)) {
    ShortcutFolder(startup, kStartupNames);
    if (sim::FsNode* folder = m_.files.FindNode(startup)) folder->denyWrite = r_.Chance(5);
    if (r_.Chance(5)) File(startup + L"\\~Vantorel Drive 4000-0.tmp");  // someone else's file
  } else if (r_.Chance(50)) {
    DirLink(startup, kCommonPrograms + L"\\StartUp", r_.Chance(50));
  }
  ProgramGroup(programs, kGroupNames);
  ShortcutFolder(p.dir + L"\\Desktop", kDesktopNames);
  // Opportunistic locks the user holds and never lets go of: on a start-up
  // shortcut, a desktop shortcut, the desktop itself.
  if (r_.Chance(10)) {
    const std::wstring at =
        r_.Pick(std::vector<std::wstring>{startup + L"\\Vantorel Drive.lnk", startup + L"\\ZarekTolv.lnk",
                                          p.dir + L"\\Desktop\\Zarek Tolv.lnk", p.dir + L"\\Desktop"});
    if (sim::FsNode* n = m_.files.FindNode(at)) n->userOplock = true;
  }
  // Desktops backed up to OneDrive: the signed-in user's, and some other
  // profiles' in the same organisation's sync root, another one's, or a
  // personal one.
  if (p.user == L"alice" && !aliceSyncRoot_.empty()) {
    SyncRoot(p.dir + aliceSyncRoot_);
  } else if (r_.Chance(aliceSyncRoot_.empty() ? 15 : 60)) {
    SyncRoot(p.dir + r_.Pick(std::vector<std::wstring>{aliceSyncRoot_.empty() ? kSyncRoots[0] : aliceSyncRoot_,
                                                       kSyncRoots[1], kSyncRoots[2]}));
  }
  File(p.dir + L"\\Documents\\thesis.docx");
  DataFolder(p);
  // Read-Handle oplocks, taken through a handle that shares everything: the
  // tool's opens break nothing, its delete or rename waits. Now and then two
  // in one profile.
  if (locks_.Chance(8)) {
    std::vector<sim::FsNode*> mine;
    for (const std::wstring& at : {startup + L"\\Vantorel Drive.lnk", startup + L"\\ZarekTolv.lnk",
                                   p.dir + L"\\Desktop\\Zarek Tolv.lnk", programs + L"\\Vantorel"}) {
      if (sim::FsNode* n = m_.files.FindNode(at)) mine.push_back(n);
    }
    const std::wstring local = p.dir + (p.legacy ? L"\\Local Settings\\Application Data" : L"\\AppData\\Local");
    for (sim::FsNode* n = m_.files.FindNode(local + L"\\" + plan_.dataName);
         n != nullptr && n->isDirectory && n->linkTarget.empty() && !n->children.empty();
         n = n->children.begin()->second.get()) {
      if (!n->children.begin()->second->isDirectory) mine.push_back(n->children.begin()->second.get());
    }
    for (int k = locks_.Chance(30) ? 2 : 1; k > 0 && !mine.empty(); --k) locks_.Pick(mine)->readHandleOplock = true;
  }
  if (r_.Chance(5)) ObjectManagerTrap(p, startup, programs);
}

// A OneDrive sync root with a backed-up desktop, as Windows shows it to a
// process in the default placeholder mode: the root and every folder and
// file inside carry a cloud-files reparse tag (one of its variants); some
// files are dehydrated (their data only in the cloud). Links stay links.
void Generator::SyncRoot(const std::wstring& root) {
  ShortcutFolder(root + L"\\Desktop", kDesktopNames);
  File(root + L"\\Documents\\notes.docx");
  sim::FsNode* top = m_.files.FindNode(root);
  if (top == nullptr || !top->isDirectory || top->attributes & kFileAttributeReparsePoint) return;
  std::function<void(sim::FsNode*)> cloud = [&](sim::FsNode* n) {
    if (!n->linkTarget.empty() || (n->reparseTag & kReparseTagNameSurrogateBit) != 0) return;
    n->attributes |= kFileAttributeReparsePoint;
    n->reparseTag = kIoReparseTagCloud | (r_.Below(16) << 12);
    if (!n->isDirectory && r_.Chance(40)) {
      n->attributes |= kFileAttributeOffline | kFileAttributeRecallOnDataAccess;
      n->content.clear();
    }
    for (auto& kv : n->children) cloud(kv.second.get());
  };
  cloud(top);
}

// No race needed: one of the user's folders on the tool's way is a junction
// to the object manager, where symbolic links named like what the tool looks
// for point at files of the machine's.
void Generator::ObjectManagerTrap(const Profile& p, const std::wstring& startup, const std::wstring& programs) {
  const std::wstring local = p.dir + (p.legacy ? L"\\Local Settings\\Application Data" : L"\\AppData\\Local");
  const std::wstring at = r_.Pick(std::vector<std::wstring>{p.dir + L"\\Desktop", startup, programs,
                                                            programs + L"\\Vantorel", local, p.dir + L"\\AppData"});
  if (!CanCreate(at, /*directory=*/true)) return;
  m_.files.AddObjectDirectoryJunction(at, L"\\RPC Control");
  std::vector<std::wstring> names = kDesktopNames;
  names.insert(names.end(), kStartupNames.begin(), kStartupNames.end());
  names.insert(names.end(), kGroupNames.begin(), kGroupNames.end());
  const std::vector<std::wstring> files = {L"C:\\sentinel.txt", L"C:\\Windows\\win.ini",
                                           kCommonPrograms + L"\\StartUp\\Vantorel Drive.lnk"};
  for (const auto& name : names) m_.files.AddObjectLink(L"\\RPC Control\\" + name, r_.Pick(files));
  const std::size_t inner = plan_.dataName.find(L'\\');
  m_.files.AddObjectLink(L"\\RPC Control\\" + plan_.dataName.substr(0, inner),
                         r_.Chance(50) ? L"C:\\Windows" : L"C:\\Users");
  for (const wchar_t* folder : {L"Vantorel", L"Local", L"Roaming", L"Application Data"}) {
    m_.files.AddObjectLink(std::wstring(L"\\RPC Control\\") + folder,
                           r_.Chance(50) ? L"C:\\Windows" : L"C:\\Program Files");
  }
}

// ---------------- shell folders ----------------

void Generator::UserFolders(const std::wstring& user, const std::wstring& dir, bool legacy, bool hostile) {
  const std::wstring programs =
      dir + (legacy ? L"\\Start Menu\\Programs" : L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
  struct Slot {
    int csidl;
    std::wstring normal;
    std::wstring redirected;
  };
  const std::vector<Slot> slots = {{kCsidlPrograms, programs, L"D:\\Redirected\\Programs"},
                                   {kCsidlStartup, programs + L"\\Startup", L"D:\\Redirected\\Startup"},
                                   {kCsidlDesktopDirectory, dir + L"\\Desktop", L"D:\\Redirected\\Desktop"}};
  if (!hostile || r_.Chance(85)) {
    m_.shell.SetFolder(user, kCsidlProfile, dir);
  } else {
    static const std::vector<HResult> results = {kSFalse, kEFail, kSOk};
    const HResult result = r_.Pick(results);
    m_.shell.SetFolder(user, kCsidlProfile, result == kSOk ? dir + L"\\" : dir, result);
  }
  for (const auto& slot : slots) {
    if (!hostile || r_.Chance(70)) {
      m_.shell.SetFolder(user, slot.csidl, slot.normal);
      continue;
    }
    const std::wstring below = slot.normal.substr(dir.size());
    switch (r_.Below(10)) {
      case 0:
        m_.shell.SetFolder(user, slot.csidl, slot.redirected);
        break;
      case 1:
        m_.shell.SetFolder(user, slot.csidl, L"\\\\server\\share\\" + user + below);
        break;
      case 2:
        m_.shell.SetFolder(user, slot.csidl, dir + L"2" + below);  // a sibling sharing the profile's first characters
        break;
      case 3:
        // Inside by its first characters, outside once Windows reads it.
        m_.shell.SetFolder(user, slot.csidl,
                           r_.Pick(std::vector<std::wstring>{dir + L"\\..\\bob" + below, dir + L"\\..\\..\\Windows",
                                                             dir + L"\\.\\..\\alice2" + below, dir + L"\\...\\x",
                                                             dir + L"\\Desktop\\..\\..\\..\\ProgramData\\Microsoft\\"
                                                                   L"Windows\\Start Menu\\Programs\\StartUp"}));
        break;
      case 4:
        m_.shell.SetFolder(user, slot.csidl, dir);  // the profile folder itself
        break;
      case 5:
        m_.shell.SetFolder(user, slot.csidl, Fold(slot.normal));  // another letter case
        break;
      case 6:
        m_.shell.SetFolder(user, slot.csidl, slot.normal, kSFalse);
        break;
      case 7:
        m_.shell.SetFolder(user, slot.csidl, slot.normal, kEFail);
        break;
      case 8:
        m_.shell.SetFolder(user, slot.csidl, dir + L"\\OneDrive" + below);  // redirected, but inside
        break;
      default:
        break;  // no entry: the look-up fails
    }
  }
  if (hostile && r_.Chance(10)) m_.shell.SetFolder(user, kCsidlWindows, L"C:\\Windows", kSFalse);
  // Her shell folders need no rights to set: one of them on another, or
  // inside another, the way no set-up leaves them.
  if (hostile && layouts_.Chance(12)) {
    const std::wstring startup = programs + L"\\Startup", desktop = dir + L"\\Desktop";
    const std::vector<std::pair<int, std::wstring>> swaps = {{kCsidlDesktopDirectory, startup},
                                                             {kCsidlDesktopDirectory, programs},
                                                             {kCsidlStartup, desktop},
                                                             {kCsidlDesktopDirectory, dir + L"\\AppData\\Roaming"},
                                                             {kCsidlPrograms, desktop + L"\\Programs"},
                                                             {kCsidlStartup, Fold(startup)},
                                                             {kCsidlDesktopDirectory, L"C:\\Users\\Public\\Desktop"}};
    const auto& swap = layouts_.Pick(swaps);
    m_.shell.SetFolder(user, swap.first, swap.second);
  }
}

void Generator::ShellFolders() {
  UserFolders(L"alice", alice_, legacyLayout_, /*hostile=*/true);
  if (!aliceSyncRoot_.empty() && r_.Chance(90)) {
    m_.shell.SetFolder(L"alice", kCsidlDesktopDirectory, alice_ + aliceSyncRoot_ + L"\\Desktop");
  }
  for (const auto& p : profiles_) {
    if (p.user == L"alice" || p.dir.empty()) continue;
    UserFolders(p.user, p.dir, p.legacy, /*hostile=*/r_.Chance(30));
  }
  if (m_.processes.Self().user == L"admin") UserFolders(L"admin", L"C:\\Users\\admin", legacyLayout_, r_.Chance(30));
  // Decoys for the hostile relative folders above.
  File(L"C:\\Users\\alice2\\Desktop\\Vantorel Drive.lnk");
  File(alice_ + L"2\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\ZarekTolv.lnk");
  File(L"C:\\Windows\\Zarek Tolv.lnk");
}

// ---------------- failures ----------------

void Generator::Injections() {
  if (!r_.Chance(30)) return;
  struct Kind {
    const char* call;
    Dword code;
  };
  static const std::vector<Kind> kinds = {{"CreateFileW", kErrorAccessDenied},
                                          {"NtCreateFile", static_cast<Dword>(kStatusAccessDenied)},
                                          {"NtCreateFile", static_cast<Dword>(kStatusSharingViolation)},
                                          {"NtQueryDirectoryFile", static_cast<Dword>(kStatusAccessDenied)},
                                          {"GetFileInformationByHandleEx", kErrorAccessDenied},
                                          {"SetFileInformationByHandle", kErrorSharingViolation},
                                          {"SetFileInformationByHandle", kErrorInvalidParameter},
                                          {"NtSetInformationFile", static_cast<Dword>(kStatusAccessDenied)},
                                          {"WriteFile", 112 /*disk full*/},
                                          {"PersistStreamSave", static_cast<Dword>(kEFail)},
                                          {"CreateStreamOnHGlobal", static_cast<Dword>(kEOutOfMemory)},
                                          {"CreateShellLink", static_cast<Dword>(kRegdbEClassNotReg)},
                                          {"SetProcessMitigationPolicy", kErrorInvalidParameter},
                                          {"RegQueryValueExW", kErrorAccessDenied},
                                          {"RegEnumKeyExW", kErrorAccessDenied},
                                          {"RegOpenKeyExW", kErrorAccessDenied},
                                          {"ExpandEnvironmentStringsW", kErrorNotEnoughMemory},
                                          {"SHGetFolderPathW", static_cast<Dword>(kEFail)},
                                          {"CreateToolhelp32Snapshot", kErrorAccessDenied},
                                          {"OpenProcess", kErrorAccessDenied},
                                          {"WaitForSingleObject", kErrorAccessDenied},
                                          {"TerminateProcess", kErrorAccessDenied},
                                          {"PostMessageW", kErrorAccessDenied},
                                          {"EnumWindows", kErrorAccessDenied},
                                          {"GetVersionExW", kErrorInvalidParameter},
                                          {"ProcessIdToSessionId", kErrorAccessDenied},
                                          {"CreateProcessWithTokenW", kErrorAccessDenied},
                                          {"WTSQuerySessionInformationW", kErrorNotEnoughMemory},
                                          {"CreateEnvironmentBlock", kErrorAccessDenied},
                                          {"DuplicateTokenEx", kErrorAccessDenied},
                                          {"CommandLineToArgvW", kErrorNotEnoughMemory},
                                          {"OpenProcessToken", kErrorAccessDenied},
                                          {"WTSEnumerateSessionsW", kErrorAccessDenied},
                                          {"WTSQueryUserToken", kErrorNoToken},
                                          {"CreateProcessAsUserW", kErrorAccessDenied},
                                          {"GetModuleFileNameW", kErrorInsufficientBuffer}};
  for (int i = 0, n = 1 + static_cast<int>(r_.Below(2)); i < n; ++i) {
    const Kind& k = r_.Pick(kinds);
    m_.Inject(k.call, k.code, r_.Chance(70) ? 1 : -1, static_cast<int>(r_.Below(12)));
  }
}

// ---------------- the runs ----------------

// The decision log: asked for by some runs ("-verbose" after the command's
// own arguments), written to a file or a pipe (now and then one nobody
// drains), or to no standard output at all.
void Generator::Logs() {
  m_.runtime.stdoutType = logs_.Chance(85) ? (logs_.Chance(50) ? platform::kFileTypeDisk : platform::kFileTypePipe) : 0;
  m_.runtime.stdoutStalls = m_.runtime.stdoutType == platform::kFileTypePipe && logs_.Chance(10);
  for (auto& args : plan_.runs) {
    if (!logs_.Chance(40)) continue;
    if (args[1] == L"--stop") {
      args.insert(args.begin() + 2, L"-verbose");
    } else if (args[1] != L"--uninstall" || args.size() >= 3) {
      args.insert(args.begin() + (args[1] == L"--uninstall" ? 3 : 2), L"-verbose");
    }
  }
}

void Generator::Runs() {
  const std::wstring exe =
      r_.Chance(80) ? L"client-maintenance.exe" : L"C:\\Program Files\\Tools\\client-maintenance.exe";
  auto run = [&](std::vector<std::wstring> args) {
    args.insert(args.begin(), exe);
    plan_.runs.push_back(std::move(args));
  };
  for (const auto& stop : stopArgs_) {
    std::vector<std::wstring> args = {L"--stop"};
    args.insert(args.end(), stop.begin(), stop.end());
    run(args);
  }
  run({L"--force-stop"});
  run(r_.Chance(80) ? std::vector<std::wstring>{L"--uninstall", plan_.dataName}
                    : std::vector<std::wstring>{L"--uninstall", plan_.dataName, L"extra"});
  run({L"--uninstall", r_.Pick(HostileFolderNames())});
  if (r_.Chance(50)) {
    // A name made of the characters that matter.
    static const std::wstring alphabet = L"\\/.: *?\"<>|%aA~\t";
    std::wstring name;
    for (int i = 0, n = 1 + static_cast<int>(r_.Below(10)); i < n; ++i) name += alphabet[r_.Below(alphabet.size())];
    run({L"--uninstall", name});
  } else {
    run({L"--uninstall", r_.Pick(HostileFolderNames())});
  }
  if (r_.Chance(30)) run({L"--uninstall"});
  run({L"--admin-remove-shortcuts"});
  run({L"--portable-remove-shortcuts"});
  run({L"--admin-upgrade-startup-shortcut"});
  run({L"--restart-explorer"});
  run({L"--remove-all-users-empty-folders"});
  Logs();
  static const std::vector<std::vector<std::wstring>> others = {{L"--admin-remove-syncroots"},
                                                                {L"--portable-remove-syncroots"},
                                                                {L"--Stop"},
                                                                {L"--uninstall "},
                                                                {L"--stop=5"},
                                                                {L""},
                                                                {L"-stop"},
                                                                {L"--UNINSTALL", L"VantorelDrive"},
                                                                {},
                                                                {L"--force-stop", L"--uninstall", L"VantorelDrive"}};
  run(r_.Pick(others));
}

// Who runs the tool with which rights, drawn after everything else: a seed
// still builds the rest of the machine it built before.
void Generator::Rights() {
  sim::Process& self = m_.processes.Self();
  // SYSTEM (elevated, system level); an administrator who elevated over the
  // shoulder of the signed-in user (high); the signed-in user herself,
  // elevated (high) or not (medium).
  if (self.user == L"SYSTEM" && r_.Chance(25)) self.user = L"alice";
  self.elevated = self.user != L"alice" || r_.Chance(70);
  self.integrity = self.user == L"SYSTEM" ? kSecurityMandatorySystemRid
                   : self.elevated        ? kSecurityMandatoryHighRid
                                          : kSecurityMandatoryMediumRid;
  std::wstring signedIn;  // at the tool's session
  for (auto& session : m_.users.sessions) {
    if (session.id != 0 && session.id == self.session && r_.Chance(85)) session.user = L"alice";
    if (r_.Chance(10)) session.domain = r_.Chance(50) ? L"VANTOR" : L"";
    if (accounts_.Chance(20)) session.domain = L"AzureAD";
    if (session.id == self.session) signedIn = session.user;
  }
  // Hardened machines disable the Secondary Logon service; a deployment
  // agent may run the tool inside a job.
  m_.users.secondaryLogonRunning = !r_.Chance(25);
  m_.users.logonSessionsRecorded = !accounts_.Chance(5);
  m_.users.toolInJob = r_.Chance(20);
  m_.users.jobAllowsBreakaway = r_.Chance(50);
  // A program of the shell's name that someone signed in over SSH started
  // (in session 0); another account's in the tool's session, listed first
  // (an administrator's, elevated: the signed-in user's own run at medium).
  if (r_.Chance(20)) m_.processes.AddProcess(L"explorer.exe", 0).user = r_.Chance(50) ? L"bob" : L"alice";
  if (r_.Chance(15)) {
    sim::Process& other = m_.processes.AddProcess(L"explorer.exe", self.session);
    other.user = r_.Chance(50) ? L"admin" : L"bob";
    other.elevated = other.user == L"admin" && signedIn != L"admin";
    other.integrity = other.elevated ? kSecurityMandatoryHighRid : kSecurityMandatoryMediumRid;
    std::rotate(m_.processes.list.begin() + 1, m_.processes.list.end() - 1, m_.processes.list.end());
  }
  static const std::vector<const char*> failing = {"LookupAccountNameW", "GetTokenInformation", "SetTokenInformation",
                                                   "SaferComputeTokenFromLevel", "IsProcessInJob"};
  if (r_.Chance(10)) m_.Inject(r_.Pick(failing), kErrorAccessDenied, 1, static_cast<int>(r_.Below(4)));
}

Plan Generator::Build() {
  plan_.dataName = r_.Pick(kValidDataNames);
  static const std::vector<std::vector<std::wstring>> stops = {{},
                                                               {L"-timeout", L"0"},
                                                               {L"-timeout", L"999"},
                                                               {L"-timeout", L"1000"},
                                                               {L"-timeout", L"-1"},
                                                               {L"-timeout"},
                                                               {L"-timeout", L"abc"},
                                                               {L"-timeout", L"  +3000ms"},
                                                               {L"-timeout", L"2147483647"},
                                                               {L"-timeout", L"99999999999999999999"},
                                                               {L"-timeout", L"-2147483649"},
                                                               {L"-timeout", L"5000", L"-timeout", L"2000"},
                                                               {L"-timeout", L"-timeout", L"3000"},
                                                               {L"x", L"-timeout", L"1500"},
                                                               {L"-TIMEOUT", L"1"},
                                                               {L"-timeout", L"\u0661\u0662"}};
  stopArgs_ = {r_.Pick(stops), r_.Pick(stops)};
  for (const auto& s : stopArgs_) {
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
      if (s[i] == L"-timeout" &&
          (s[i + 1].find(L"2147483647") != std::wstring::npos || s[i + 1].find(L"9999") != std::wstring::npos)) {
        longStop_ = true;  // the clients must end by themselves, or the run would last days
      }
    }
  }
  BaseSystem();
  Processes();
  ProfileEntries();
  if (r_.Chance(30)) aliceSyncRoot_ = r_.Pick(kSyncRoots);
  std::vector<std::wstring> populated;
  for (const auto& p : profiles_) {
    if (p.dir.empty() || std::find(populated.begin(), populated.end(), Fold(p.dir)) != populated.end()) continue;
    populated.push_back(Fold(p.dir));
    Populate(p);
  }
  ShellFolders();
  Owners();
  Injections();
  Runs();
  Rights();
  return plan_;
}

// Who owns what: a profile folder is its user's (a folder of that path
// listed twice keeps its first user), her redirected folders are hers;
// everything else is the administrators'.
void Generator::Owners() {
  for (const auto& p : profiles_) {
    sim::FsNode* node = p.dir.empty() ? nullptr : m_.files.FindNode(p.dir);
    if (node != nullptr && node->owner.empty() && node->isDirectory && node->linkTarget.empty()) node->owner = p.user;
  }
  for (const wchar_t* hers : {L"D:\\Redirected", L"\\\\server\\share\\alice"}) {
    if (sim::FsNode* node = m_.files.FindNode(hers)) node->owner = L"alice";
  }
}

}  // namespace

const std::vector<std::wstring>& HostileFolderNames() {
  static const std::vector<std::wstring> names = {
      L"",
      L"\\",
      L"..",
      L"..\\..",
      L"..\\..\\Windows",
      L"C:\\Windows",
      L"C:",
      L"C:Windows",
      L"\\Windows",
      L"\\\\server\\share",
      L"\\\\?\\C:\\Windows",
      L"\\\\?\\C:\\",
      L"\\\\.\\C:",
      L"VantorelDrive\\..\\..",
      L"Vantorel\\.\\Drive",
      L".",
      L"...",
      L". ",
      L".. ",
      L"VantorelDrive.",
      L"VantorelDrive ",
      L"VantorelDrive\\",
      L"\\VantorelDrive",
      L"Vantorel\\\\Drive",
      L"Vantorel.\\Drive",
      L"a/../..",
      L"VantorelDrive/x",
      L"/",
      L"*",
      L"Vantorel?",
      L"%USERPROFILE%",
      L"%SystemRoot%",
      L"VantorelDrive::$INDEX_ALLOCATION",
      L"..\\Local\\VantorelDrive",
      L"Other\\..\\..\\..",
      std::wstring(300, L'v'),
      L"\t",
      L"a\nb",
      L"\u00e9t\u00e9\\..",
  };
  return names;
}

Plan Generate(std::uint64_t seed, Machine& m, const Options& options) {
  Generator g(seed, m, options);
  return g.Build();
}

std::wstring CommandLineOf(const std::vector<std::wstring>& args) {
  std::wstring line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    if (i == 0) {
      // The program name takes no escapes: quoted when it holds a blank.
      line += a.find_first_of(L" \t") == std::wstring::npos && !a.empty() ? a : L"\"" + a + L"\"";
      continue;
    }
    line += L' ';
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) {
      line += a;
      continue;
    }
    // Quoted: backslashes double only before a quote or the closing quote.
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : a) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      if (c == L'"') {
        line.append(backslashes * 2 + 1, L'\\');
      } else {
        line.append(backslashes, L'\\');
      }
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
  }
  return line;
}

}  // namespace hostile
