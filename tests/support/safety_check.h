// The promises the tool makes on any machine, checked around one run of the
// whole tool on the simulated machine:
// - every file or folder it deleted, removed, created, moved or wrote is one
//   the command may touch: a catalogue shortcut name in the folder it belongs
//   to, a program group or maker folder that was empty (or a link in its
//   place, which goes as a link), an entry of a profile's own data folder,
//   the start-up shortcut and the upgrade's own temporary file (in the
//   folder above a start-up folder, never in one); each of them
//   reached through real folders only (the folder a path starts from may be
//   reached through links, nothing below it); nothing else changed;
// - every terminated process had a client name ("--force-stop") or was a
//   shell of the tool's own session ("--restart-explorer"), as the process
//   it ended was named; every posted message went to a client window of the
//   own session ("--stop"); no process was opened to read its memory, and
//   none but client processes and shells for more than a look;
// - every process it started runs as the user signed in at its session,
//   not elevated, at medium integrity at most, without the tool's error
//   mode; folders were looked up with no user's token but that of the user
//   signed in at the tool's own session, and with none from session 0;
// - the run ended within its bound on the virtual clock and never waited
//   without end; no handle, heap block, argument block, environment block,
//   Safer level, stream or shell link object was left open;
// - standard output holds only the known diagnostic lines.
//
// The allowed set is worked out here from the machine as it is before the run
// and from the arguments, with rules of its own (it does not call the
// tool's code), and is generous only where the tool may legitimately differ
// (with or without the interactive-user token, with or without a readable
// Windows version). Entries are followed by identity, not by path, so the
// promises hold while an adversary (attacker.h) renames the user's folders
// and plants links during the run: whatever the adversary moved may have
// been acted on where it was, and a link the adversary put in an allowed
// place may go as a link; nothing else.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace hostile {

// One file-system entry as the checker compares it before and after: what
// it is and holds, and (for the report and the rules that look at places)
// where it is. Entries are compared by their id, so an entry that a test's
// adversary moved is still the same entry.
struct EntryState {
  std::wstring path;  // folded physical path
  std::uint64_t parent = 0;
  std::wstring name;  // folded
  sim::Dword attributes = 0;
  std::wstring linkTarget;
  std::string content;
  bool isShortcut = false;
  std::wstring shortcutTarget, shortcutDescription;
  bool SameContent(const EntryState& o) const {
    return attributes == o.attributes && linkTarget == o.linkTarget && content == o.content &&
           isShortcut == o.isShortcut && shortcutTarget == o.shortcutTarget &&
           shortcutDescription == o.shortcutDescription;
  }
};

// Every entry of every drive and share by id; links are listed, not
// followed. An entry whose deletion is pending counts as gone.
std::map<std::uint64_t, EntryState> Snapshot(sim::Machine& m);

// What the profile list's subkey key names as a profile directory: its
// "ProfileImagePath" as the registry returns it (at most 4096 bytes), read as
// wide text up to its first zero or its end, environment references expanded.
// False when the key or the value cannot be read.
bool ProfileDirectoryOf(sim::Machine& m, const sim::RegKeyNode& key, std::wstring* directory);

// The profile directories of the profile list, each as the tool reads it;
// with reachedOnly, only those before the first subkey that cannot be
// enumerated (where the walk ends).
std::vector<std::wstring> ProfileDirectories(sim::Machine& m, bool reachedOnly = false);
// The piece of work a path belongs to, as the README names them for a stuck
// call: for a command that walks the profiles, the profile directory the
// path lies in (the outermost, folded); otherwise, and for
// every path outside the profiles, the command's own work (empty).
std::wstring PieceOf(sim::Machine& m, const std::wstring& command, const std::wstring& path);
// The accounts whose folders a run may resolve: the tool's own, and the
// users of the shells of its own session.
std::vector<std::wstring> Accounts(sim::Machine& m);
// A shell folder of the account as the look-up gives it with S_OK; and the
// same relative to the account's profile folder ("\\Desktop"), when it lies
// inside it and is made of plain folder names.
bool Folder(sim::Machine& m, const std::wstring& account, int csidl, std::wstring* path);
bool Relative(sim::Machine& m, const std::wstring& account, int csidl, std::wstring* relative);
// The same, only for a folder a layout carries to every profile (programs,
// start-up, desktop) and only in a shape a real set-up gives it: the programs
// and start-up folders at their default places, the desktop anywhere in the
// profile outside "\AppData" and the start menu.
bool Carried(sim::Machine& m, const std::wstring& account, int csidl, std::wstring* relative);
// The entry name in folder (letter case ignored), null when there is none
// or its deletion is pending.
sim::FsNode* Child(const sim::FsNode* folder, const std::wstring& name);
// The folder that a folder path and a relative part of plain folder names
// ("" or "\\a\\b") lead to, checked the way the tool must check it: the
// path itself may be reached through links, but it and every folder below
// it must be a real folder or a cloud-files placeholder folder. Null when
// there is none.
sim::FsNode* RealChain(sim::Machine& m, const std::wstring& path, const std::wstring& relative);

// A folder of the signed-in user's (a resolved shell folder, and a relative
// part below it): reached from the account's profile folder down when it
// lies inside it, otherwise as RealChain from the folder itself.
sim::FsNode* UserFolderChain(sim::Machine& m, const std::wstring& account, const std::wstring& folder,
                             const std::wstring& below);

class SafetyCheck {
 public:
  // Call before the run, on the machine as the run will find it. args is the
  // argument vector the tool will see, element 0 the program.
  SafetyCheck(sim::Machine& m, std::vector<std::wstring> args);

  // Call after the run: one line per broken promise, empty when none.
  std::vector<std::string> Violations(sim::Machine& m) const;

 private:
  // Before the run, what it starts from and, for the command, what it may do.
  void RecordBefore(sim::Machine& m);
  void PrepareStop(sim::Machine& m);
  void PrepareForceStop(sim::Machine& m);
  void PrepareRestartExplorer(sim::Machine& m, const std::vector<std::wstring>& accounts);
  void PrepareUninstall(sim::Machine& m, const std::vector<std::wstring>& accounts,
                        const std::vector<std::wstring>& profiles);
  void PrepareAdminRemoveShortcuts(sim::Machine& m, const std::vector<std::wstring>& accounts,
                                   const std::vector<std::wstring>& profiles);
  void PreparePortableRemoveShortcuts(sim::Machine& m, const std::vector<std::wstring>& accounts);
  void PrepareStartupUpgrade(sim::Machine& m, const std::vector<std::wstring>& accounts,
                             const std::vector<std::wstring>& profiles);
  void PrepareEmptyFolderRemoval(sim::Machine& m, const std::vector<std::wstring>& accounts);
  void AllowShortcuts(sim::FsNode* folder, const std::vector<std::wstring>& names);
  void AllowGroupFolder(sim::FsNode* folder, const std::wstring& name);
  void AllowDataFolder(sim::Machine& m, const std::wstring& profile, const std::wstring& name);
  void AllowStartupUpgrade(sim::FsNode* folder, sim::FsNode* staging);
  bool UpgradeSlot(std::uint64_t parent, const std::wstring& foldedName) const;

  // After the run, one promise each, appending what broke it.
  struct Journaled;  // what the journal says the tool created and the adversary did
  Journaled JournalOf(sim::Machine& m) const;
  void CheckChanges(sim::Machine& m, const Journaled& j, std::vector<std::string>* v) const;
  void CheckEntries(const std::map<std::uint64_t, EntryState>& after, const Journaled& j,
                    std::vector<std::string>* v) const;
  void CheckUpgrade(sim::Machine& m, const std::map<std::uint64_t, EntryState>& after, const Journaled& j,
                    std::vector<std::string>* v) const;
  void CheckProcessesActedOn(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckStarts(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckFolderLookups(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckTime(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckUnattended(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckResources(sim::Machine& m, std::vector<std::string>* v) const;
  void CheckOutput(sim::Machine& m, std::vector<std::string>* v) const;

  std::vector<std::wstring> args_;
  std::wstring command_;
  std::map<std::uint64_t, EntryState> before_;
  std::size_t eventsBefore_ = 0;
  std::set<std::uint64_t> mayDelete_;       // files, links and the entries of data trees
  std::set<std::uint64_t> mayRemoveEmpty_;  // real folders that may go once empty
  // Places where an entry may go whatever it is, as long as it is a link
  // that a test's adversary put there during the run: (folder id, folded
  // name) of catalogue names and group folders, and whole data folders.
  std::set<std::pair<std::uint64_t, std::wstring>> linkSlots_;
  std::set<std::uint64_t> linkFolders_;
  std::set<std::uint64_t> startupShortcuts_;  // of the data-removing run, for the order
  std::set<std::uint64_t> dataEntries_;
  // Start-up folders the upgrade may write in -> the start-up shortcuts
  // present there before the run.
  std::map<std::uint64_t, std::vector<std::uint64_t>> upgradeFolders_;
  std::set<std::uint64_t> stagingFolders_;   // the folders above them, where it makes its temporary files
  std::set<std::wstring> launchers_;         // acceptable shortcut targets of the upgrade
  std::set<std::wstring> shellExecutables_;  // acceptable shells for the restart
  std::set<std::wstring> stdoutPaths_;       // paths "--admin-remove-shortcuts" may print
  std::vector<std::wstring> subkeys_;        // of the profile list, for its diagnostics
  std::uint64_t timeBound_ = 0;
  std::uint64_t startTime_ = 0;
  sim::Dword ownSession_ = 0;
  bool ownSessionKnown_ = false;
  std::size_t terminationsBefore_ = 0, postsBefore_ = 0, openProcessCallsBefore_ = 0;
  std::size_t sessionStartsBefore_ = 0, lookupsBefore_ = 0, cancelledBefore_ = 0;
  std::wstring sessionStopLine_;  // what "--stop" from session 0 may start in each user's session
};

}  // namespace hostile
