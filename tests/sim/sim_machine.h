// A simulated Windows machine for the host build. The platform functions of
// platform.h run against it; tests set it up, run the tool's logic, and
// inspect the resulting state and the calls that were made.
//
// It models what the real calls do, as far as the tool can observe it:
// - a case-insensitive file system with attributes, junctions and symbolic
//   links, in which a non-empty folder refuses RemoveDirectoryW and a
//   read-only file refuses DeleteFileW;
// - processes in sessions with windows, tokens and termination behaviour;
// - a registry tree with typed values stored as raw bytes;
// - shell folders per account, environment variables, the OS version;
// - a virtual clock: Sleep and waits advance it, nothing really sleeps.
// Any call can be made to fail with a chosen result code (Inject).
#pragma once

#include <cstdint>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace sim {

using platform::Dword;

// Upper-cases ASCII letters, the way the simulated file system and registry
// compare names (both are case-insensitive on Windows).
std::wstring Fold(const std::wstring& s);

// ---------------- Failure injection ----------------
struct Injection {
  Dword code = 0;   // the result or last-error value the call reports
  int skip = 0;     // let this many calls through first
  int count = -1;   // then fail this many calls; -1 for every later call
};

// ---------------- Clock ----------------
struct ScheduledEvent {
  std::uint64_t at;
  std::uint64_t order;
  std::function<void()> action;
};

// ---------------- Processes and windows ----------------
enum class Termination {
  kEnds,        // TerminateProcess ends it at once
  kRefused,     // TerminateProcess fails with ERROR_ACCESS_DENIED
  kNeverEnds,   // TerminateProcess succeeds, but the process never ends (stuck in a driver)
  kEndsLater,   // TerminateProcess succeeds; the process ends terminationDelayMs later
};

struct Process {
  Dword pid = 0;
  Dword session = 1;
  std::wstring exeName;        // base name of the main module
  std::wstring user = L"user"; // the account its token belongs to
  bool alive = true;
  Dword exitCode = platform::kStillActive;
  Dword deniedAccess = 0;            // OpenProcess fails with 5 when any of these rights is asked
  Dword tokenDeniedAccess = 0;       // OpenProcessToken fails with 5 when any of these rights is asked
  bool sessionReadable = true;       // ProcessIdToSessionId fails with 5 when false
  bool nameReadable = true;          // QueryFullProcessImageNameW fails with 5 when false
  std::wstring imageFolder = L"C:\\Program Files\\App";  // where its executable lies
  platform::FileTime creationTime = 0;  // from the virtual clock, unique on the machine
  Dword parentPid = 0;
  bool exitsBeforeOpen = false;      // it exits between enumeration and OpenProcess
  // It exits between a snapshot and the next OpenProcess of its identifier,
  // and a process of this name takes the identifier over.
  std::wstring reusedBy;
  // When it is terminated, it first starts a process of this name in its
  // session (a daemon bringing its partner back; one of its own name does
  // the same again, for ever).
  std::wstring respawns;
  bool exitsOnEndSession = false;    // it ends soon after a WM_ENDSESSION is posted to one of its windows
  Termination termination = Termination::kEnds;
  Dword terminationDelayMs = 0;
  std::uint64_t endedAt = 0;
  bool terminatedByTool = false;
};

struct Window {
  std::uintptr_t id = 0;
  Dword ownerPid = 0;
  bool visible = true;
  bool postFails = false;  // PostMessageW fails with ERROR_ACCESS_DENIED (a higher-integrity window)
};

struct PostedMessage {
  std::uintptr_t window;
  Dword ownerPid;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::uint64_t at;
  bool succeeded;
};

// ---------------- Registry ----------------
struct RegValue {
  Dword type = platform::kRegSz;
  std::vector<std::uint8_t> bytes;
  Dword queryResult = 0;  // non-zero: RegQueryValueExW returns this
};

struct RegKeyNode {
  std::wstring name;
  std::vector<std::unique_ptr<RegKeyNode>> subkeys;  // enumeration order
  std::map<std::wstring, RegValue> values;           // by folded name
  Dword openResult = 0;       // non-zero: RegOpenKeyExW of this key returns it
  Dword queryInfoResult = 0;  // non-zero: RegQueryInfoKeyW returns it
  std::set<Dword> enumFailIndexes;  // RegEnumKeyExW returns ERROR_ACCESS_DENIED at these indexes

  RegKeyNode* Child(const std::wstring& name) const;

  // Folded name -> position in subkeys, so that a key of many subkeys (a
  // machine with thousands of profiles) is not searched from the front on
  // every open. Checked on every hit and brought up to date when subkeys has
  // changed size, so tests may still change subkeys directly.
  mutable std::unordered_map<std::wstring, std::size_t> childIndex;
  mutable std::size_t childIndexCount = 0;
};

// Raw value bytes of a string: the wchar_t units and, unless told otherwise,
// a terminating zero.
std::vector<std::uint8_t> StringBytes(const std::wstring& text, bool terminated = true);

// ---------------- File system ----------------
// A cloud-file placeholder's reparse tag (IO_REPARSE_TAG_CLOUD): a reparse
// point that is not a link; the file system hands its removal to a provider.
constexpr Dword kIoReparseTagCloud = 0x9000001A;

struct FsNode {
  std::uint64_t id = 0;  // unique on its machine, never reused: the same entry wherever it is moved
  std::wstring name;  // as created (case kept)
  bool isDirectory = false;
  Dword attributes = 0;        // FILE_ATTRIBUTE_* (directory and reparse bits kept in step with the fields)
  // Links (junctions, symbolic links): the absolute path they point at. A
  // target that begins with a single backslash is an object-manager
  // directory ("\RPC Control"): a path through the link continues with the
  // object-manager symbolic link of the next name (Machine::objectLinks).
  std::wstring linkTarget;
  Dword reparseTag = 0;        // also set, without a linkTarget, on a reparse point that is not a link
  std::string content;
  bool isShortcut = false;     // written through the shell link object
  std::wstring shortcutTarget, shortcutDescription;
  bool inUse = false;          // open elsewhere, sharing read only: delete, move and write fail with 32
  bool scannerOpen = false;    // open elsewhere, sharing everything (an indexer, a scanner): a delete
                               // without POSIX semantics stays pending while it is open
  bool deletePending = false;  // a delete disposition waits for the last handle to close
  bool denyDelete = false;     // an ACL refuses deletion: 5
  bool denyList = false;       // an ACL refuses listing a folder: 5
  bool denyWrite = false;      // an ACL refuses creating files in a folder: 5
  bool detached = false;       // no longer in the tree (deleted), kept alive by an open handle
  std::map<std::wstring, std::unique_ptr<FsNode>> children;  // by folded name, which is also NTFS order
  FsNode* parent = nullptr;
};

enum class FsEventKind {
  kDeleted,
  kRemovedDirectory,
  kCreated,
  kOverwritten,
  kMovedAway,
  kMovedHere,
  kWritten,
  kAttributesChanged
};
struct FsEvent {
  FsEventKind kind;
  std::wstring path;  // canonical absolute path at the time
  std::uint64_t node = 0;
  std::uint64_t parent = 0;  // the folder it was in (kMovedHere: the folder it went to)
  bool byTool = true;        // false for what a test's adversary did meanwhile
};

// The bytes the simulated shell link object writes for a shortcut, and
// their reading back (false for anything else, a cut-off save included).
std::string ShortcutBytes(const std::wstring& target, const std::wstring& description);
bool ParseShortcut(const std::string& bytes, std::wstring* target, std::wstring* description);

// A shell link object as the tool drove it.
struct ShellLinkState {
  std::wstring path;
  std::wstring description;
  bool released = false;
  int persistStreamRefs = 0;
};

// A memory stream (CreateStreamOnHGlobal).
struct StreamState {
  std::string bytes;
  std::uint64_t position = 0;
  bool released = false;
};

struct FolderEntry {
  platform::HResult result = platform::kSOk;
  std::wstring path;
};

struct FolderLookup {
  int csidl;
  std::wstring account;  // the account the token belongs to; empty for no token
  bool tokenPassed;
  Dword flags;
  bool ownerWindowNull;
};

struct ShellExecuteRecord {
  Dword cbSize, fMask;
  bool hwndNull;
  std::wstring verb, file;
  bool parametersNull, directoryNull;
  int nShow;
  bool succeeded;
  Dword pid;  // the process started, 0 if none
};

struct CreateProcessWithTokenRecord {
  std::wstring tokenUser;
  bool tokenPrimary;
  Dword logonFlags;
  std::wstring applicationName;
  std::wstring commandLine;
  Dword creationFlags;
  bool environmentPassed;
  std::wstring environmentUser;
  std::wstring currentDirectory;  // "(null)" when none was passed
  Dword startupFlags;
  std::uint16_t showWindow;
  bool succeeded;
  Dword pid;
  // CreateProcessAsUserW only: the token's session and the desktop asked for.
  Dword session = 0;
  std::wstring desktop;
};

// WTS_CONNECTSTATE_CLASS values beside WTSActive.
constexpr int kWtsConnected = 1;
constexpr int kWtsDisconnected = 4;
constexpr int kWtsListen = 6;

// A session of the machine (WTSEnumerateSessionsW).
struct Session {
  Dword id = 0;
  int state = platform::kWtsActive;  // WTS_CONNECTSTATE_CLASS
  std::wstring user;                 // the user signed in at it; empty for none
  Dword tokenError = 0;              // non-zero: WTSQueryUserToken fails with it
  // A process started in it (CreateProcessAsUserW) ends by itself, exit
  // code 0, this long after its start; 0: it runs until it is ended.
  std::uint64_t startedRunMs = 1000;
};

struct TerminateRecord {
  Dword pid;
  Dword exitCode;
  bool succeeded;
  std::wstring name;  // of the process the handle referred to, "?" when it had ended
};

enum class HandleKind { kProcess, kThread, kToken, kRegKey, kFile, kSnapshot };

struct HandleEntry {
  explicit HandleEntry(HandleKind k) : kind(k) {}
  HandleKind kind;
  Dword access = 0;
  Dword pid = 0;              // process and thread handles; the source process of a token
  platform::FileTime processCreationTime = 0;  // process handles: which process of that identifier
  std::wstring tokenUser;     // tokens
  Dword tokenSession = 0;     // tokens: the session a process started with it runs in
  bool primaryToken = false;  // tokens
  RegKeyNode* key = nullptr;  // registry keys
  std::wstring keyPath;
  // file handles: the entry, the sharing it allows, its open options, its
  // write position, and a folder listing's mask and remaining names
  FsNode* node = nullptr;
  Dword share = 0;
  Dword options = 0;
  std::uint64_t position = 0;
  bool listingStarted = false;
  std::wstring listingMask;
  std::vector<std::wstring> listingNames;  // folded, in listing order
  std::size_t listingNext = 0;
  bool byTool = true;  // false for the handles a test's adversary holds
  // process snapshots: the processes as they were, and the position
  std::vector<platform::ProcessEntry> snapshot;
  std::size_t snapshotNext = 0;
};

struct OpenProcessCall {
  Dword pid;
  Dword access;
  std::wstring name;  // the name the process had when the open was asked for, "" for none
};

class Machine {
 public:
  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- the tool's own process ----
  // It is processes[0] from the start: pid 4000, "client-maintenance.exe",
  // session 1, account "SYSTEM". Change it through Self().
  static constexpr Dword kSelfPid = 4000;
  Process& Self() { return *FindProcess(kSelfPid); }
  std::wstring commandLine = L"client-maintenance.exe";
  std::wstring modulePath = L"C:\\tools\\client-maintenance.exe";

  // ---- the process's own settings ----
  Dword errorMode = 0;              // SetErrorMode
  Dword defaultDllDirectories = 0;  // the last SetDefaultDllDirectories that succeeded
  // Message boxes the real system would have shown (a failed shell launch
  // without SEE_MASK_FLAG_NO_UI): nobody may be there to answer them.
  int dialogs = 0;

  // ---- clock ----
  std::uint64_t now = 0;
  std::vector<Dword> sleeps;  // every Sleep argument, in order
  void At(std::uint64_t time, std::function<void()> action);
  void Advance(std::uint64_t milliseconds);  // fires due events in time order
  bool hung = false;  // an unbounded wait on something that never ends (the real tool would hang)

  // ---- failure injection and call counts ----
  void Inject(const std::string& call, Dword code, int count = -1, int skip = 0);
  std::map<std::string, int> calls;
  std::map<std::string, std::function<void()>> afterCall;  // runs after the named call, e.g. to race it
  bool TakeInjection(const std::string& call, Dword* code);
  void Count(const std::string& call) { ++calls[call]; }

  // ---- processes ----
  std::deque<Process> processes;  // enumeration order; references stay valid as processes are added
  Process& AddProcess(const std::wstring& exeName, Dword session = 1, Dword pid = 0);
  Process* FindProcess(Dword pid);
  std::vector<Dword> RunningPids(const std::wstring& exeName) const;  // by folded name, alive only
  void EndProcess(Process& p, Dword exitCode);
  std::vector<TerminateRecord> terminations;
  std::vector<OpenProcessCall> openProcessCalls;
  std::uint64_t processesCreated = 0;  // for unique creation times

  // ---- sessions (WTSEnumerateSessionsW order) ----
  std::vector<Session> sessions;
  std::set<void*> wtsAllocations;  // session lists not yet freed with WTSFreeMemory

  // ---- privileges ----
  std::vector<std::wstring> enabledPrivileges;
  bool selfTokenOpenable = true;

  // ---- windows ----
  std::vector<Window> windows;  // z-order
  Window& AddWindow(Dword ownerPid, bool visible = true);
  std::vector<PostedMessage> posts;
  int PostsTo(Dword pid, std::uint32_t message) const;

  // ---- registry (HKEY_LOCAL_MACHINE) ----
  RegKeyNode hklm;
  RegKeyNode& Key(const std::wstring& path);  // creates missing keys
  RegKeyNode* FindKey(const std::wstring& path);
  void SetString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value,
                 Dword type = platform::kRegSz);
  void SetValueBytes(const std::wstring& keyPath, const std::wstring& name, Dword type,
                     std::vector<std::uint8_t> bytes);
  std::vector<std::pair<std::wstring, Dword>> regOpens;  // (path, access) of every RegOpenKeyExW

  // ---- environment and version ----
  std::map<std::wstring, std::wstring> environment;  // by folded name
  void SetEnv(const std::wstring& name, const std::wstring& value) { environment[Fold(name)] = value; }
  Dword osMajor = 10, osMinor = 0, osBuild = 19045;

  // ---- shell folders ----
  // Per account and CSIDL. An account without an entry falls back to
  // commonFolders (machine-wide folders), then to ERROR_FILE_NOT_FOUND.
  std::map<std::wstring, std::map<int, FolderEntry>> userFolders;
  std::map<int, FolderEntry> commonFolders;
  void SetFolder(const std::wstring& account, int csidl, const std::wstring& path,
                 platform::HResult result = platform::kSOk);
  std::vector<FolderLookup> folderLookups;

  // ---- file system ----
  wchar_t currentDrive = L'C';
  std::wstring currentDirectory = L"C:\\Windows\\system32";
  FsNode* AddDirectory(const std::wstring& path, Dword attributes = 0);
  FsNode* AddFile(const std::wstring& path, Dword attributes = 0, const std::string& content = "x");
  // A junction (tag mount point) or directory symbolic link to target.
  FsNode* AddDirectoryLink(const std::wstring& path, const std::wstring& target, bool junction = true);
  FsNode* AddFileLink(const std::wstring& path, const std::wstring& target);
  // A junction to an object-manager directory ("\RPC Control"), and an
  // object-manager symbolic link in it: what a user without rights can make.
  FsNode* AddObjectDirectoryJunction(const std::wstring& path, const std::wstring& objectDirectory);
  void AddObjectLink(const std::wstring& objectPath, const std::wstring& target);
  // A reparse point that is not a link (a cloud placeholder, by default).
  FsNode* AddPlaceholder(const std::wstring& path, bool directory, Dword tag = kIoReparseTagCloud);
  FsNode* FindNode(const std::wstring& path);  // does not follow a final link; null if absent
  bool Exists(const std::wstring& path) { return FindNode(path) != nullptr; }
  // Every path below root (root excluded), canonical, sorted; links are listed, not followed.
  std::vector<std::wstring> ListTree(const std::wstring& root);
  std::vector<FsEvent> fsEvents;
  void Journal(FsEventKind kind, const FsNode* node);
  // Absolute, '\' separated, . and .. resolved: "C:\x" or "\\server\share\x".
  std::wstring CanonicalPath(const std::wstring& path);
  // Object-manager symbolic links by folded path ("\RPC CONTROL\NAME") -> the path they name.
  std::map<std::wstring, std::wstring> objectLinks;
  // Windows 10 1709 (build 16299) and later delete with POSIX semantics on request.
  bool PosixDeleteSupported() const { return osMajor >= 10 && osBuild >= 16299; }

  // Sharing: whether an open asking access (generic rights mapped) with
  // sharing share would be granted next to every open of node, the tool's
  // handles and the opens elsewhere that inUse and scannerOpen stand for.
  bool ShareAllows(const FsNode* node, Dword access, Dword share) const;
  bool HasOpenHandles(const FsNode* node) const;
  // Removes node from the tree with a journal entry; a node that a handle
  // still refers to is kept alive, detached, until that handle closes.
  void RemoveNode(FsNode* node);
  // Renames node within its folder or moves it to folder, with journal
  // entries; no checks (the callers make them).
  void MoveNode(FsNode* node, FsNode* folder, const std::wstring& name);
  // A new entry made directly in folder, with a journal entry (a test's
  // adversary planting its links).
  FsNode* AddChild(FsNode* folder, const std::wstring& name, bool directory);
  // What a test's adversary does is journaled as not done by the tool.
  bool adversaryActing = false;
  // Called after every platform call the tool makes (a test's adversary).
  std::function<void(const std::string& call)> afterEveryCall;
  // The entries the latest file-system calls reached, for an adversary to race.
  std::vector<std::uint64_t> recentNodes;
  void Touch(const FsNode* node);
  FsNode* NodeById(std::uint64_t id);

  // ---- shell link objects and memory streams ----
  std::vector<ShellLinkState> shellLinks;
  std::vector<StreamState> streams;
  int comInitializeCalls = 0;

  // ---- process mitigation policies the tool asked for: (policy, flags) ----
  std::vector<std::pair<int, Dword>> mitigationPolicies;

  // ---- launches ----
  std::vector<ShellExecuteRecord> shellExecutes;
  std::vector<CreateProcessWithTokenRecord> createProcessWithToken;
  std::vector<CreateProcessWithTokenRecord> createProcessAsUser;
  std::map<void*, std::wstring> environmentBlocks;  // live blocks from CreateEnvironmentBlock, by account
  std::vector<bool> environmentInherits;  // the inherit argument of every CreateEnvironmentBlock call

  // ---- standard output ----
  std::wstring stdoutText;

  // ---- command line memory ----
  std::set<void*> localAllocations;

  // ---- handles ----
  std::map<std::uintptr_t, HandleEntry> handles;
  std::size_t OpenHandleCount() const { return handles.size(); }
  platform::Handle NewHandle(HandleEntry entry);
  HandleEntry* Lookup(platform::Handle h);

  // Window by id: its position in windows, or null.
  Window* FindWindow(std::uintptr_t id);

  // ---- internals shared by the platform functions ----
  Dword lastError = 0;
  std::uint64_t eventOrder = 0;
  std::vector<ScheduledEvent> events;
  std::map<std::string, std::vector<Injection>> injections;
  std::map<wchar_t, std::unique_ptr<FsNode>> drives;
  // Network shares by folded "\\SERVER\SHARE"; their root node is named "\\server\share".
  std::map<std::wstring, std::unique_ptr<FsNode>> shares;
  // The root node (drive or share) of a canonical path, and where its
  // components begin; null when there is none (and create is false).
  FsNode* RootOf(const std::wstring& canonical, std::size_t* rest, bool create = false);
  std::vector<std::unique_ptr<FsNode>> detachedNodes;  // deleted while a handle was open
  std::uint64_t nextNodeId = 1;
  Dword nextPid = 1000;
  std::uintptr_t nextWindow = 0x10010;
  std::uintptr_t nextHandle = 0x100;
  // pid -> position in processes and window id -> position in windows, so
  // that a look-up does not scan every process or window (a machine with
  // thousands of them). An entry is trusted only when the element at its
  // position still has that id; anything else rebuilds the index, so tests
  // may still change both lists directly.
  std::unordered_map<Dword, std::size_t> processIndex;
  std::unordered_map<std::uintptr_t, std::size_t> windowIndex;
  std::size_t processIndexCount = 0, windowIndexCount = 0;  // list sizes the indexes were built for

  // Path resolution. Resolve returns the node for a path; when followFinal is
  // false a final reparse point is returned itself rather than its target.
  // error receives 2 (final missing), 3 (a folder on the way missing), etc.
  FsNode* Resolve(const std::wstring& path, bool followFinal, Dword* error, FsNode** parentOut = nullptr,
                  std::wstring* finalName = nullptr);
  // The same from a folder, for names relative to an open handle: parts are
  // taken as they are (no normalisation); links on the way are followed.
  FsNode* ResolveBelow(FsNode* start, const std::vector<std::wstring>& parts, bool followFinal, Dword* error,
                       FsNode** parentOut = nullptr, std::wstring* finalName = nullptr);
  FsNode* ResolveFrom(FsNode* start, const std::vector<std::wstring>* parts, const std::wstring& path,
                      bool followFinal, Dword* error, FsNode** parentOut, std::wstring* finalName);
  FsNode* MakeNode(const std::wstring& path, bool directory);
  std::wstring PathOf(const FsNode* node) const;
};

// The machine the platform functions run against. Reset() gives a fresh one.
Machine& machine();
void Reset();

// Sets up a typical machine: C:\Windows, C:\Program Files (x86), the
// interactive user "alice" at the desktop in session 1 with explorer.exe,
// her shell folders, ProfileList with her profile, the sessions 0 and 1,
// the tool's own executable. Tests build on it.
struct TypicalMachine {
  static constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  static void Build(Machine& m);
  // Adds a profile: registry entry and the profile folder with its shell-folder layout.
  static void AddProfile(Machine& m, const std::wstring& sid, const std::wstring& user,
                         const std::wstring& profileDir, Dword type = platform::kRegExpandSz);
};

}  // namespace sim
