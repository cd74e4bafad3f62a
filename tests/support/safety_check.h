// The promises the tool makes on any machine, checked around one run of the
// whole tool on the simulated machine:
// - every file or folder it deleted, removed, created or changed is one the
//   command may touch: a catalogue shortcut name in the folder it belongs to,
//   a program group or maker folder that was empty (or a link in its place,
//   which goes as a link), an entry of
//   a profile's own data folder reached without crossing a link, the start-up
//   shortcut and the upgrade's own temporary file; nothing else changed;
// - every terminated process had a client name ("--force-stop") or was a
//   shell of the tool's own session ("--restart-explorer"); every posted
//   message went to a client window of the own session ("--stop");
// - the run ended within its bound on the virtual clock and never waited
//   without end; no handle, heap block, argument block, environment block or
//   shell link object was left open;
// - standard output holds only the known diagnostic lines.
//
// The allowed set is worked out here from the machine as it is before the run
// and from the arguments, with rules of its own (it does not call the
// tool's code), and is generous only where the tool may legitimately differ
// (with or without the interactive-user token, with or without a readable
// Windows version).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace hostile {

// One file-system entry as the checker compares it before and after.
struct EntryState {
  std::wstring name;
  sim::Dword attributes = 0;
  std::wstring linkTarget;
  std::string content;
  bool isShortcut = false;
  std::wstring shortcutTarget, shortcutDescription;
  bool operator==(const EntryState& o) const {
    return name == o.name && attributes == o.attributes && linkTarget == o.linkTarget && content == o.content &&
           isShortcut == o.isShortcut && shortcutTarget == o.shortcutTarget &&
           shortcutDescription == o.shortcutDescription;
  }
  bool operator!=(const EntryState& o) const { return !(*this == o); }
};

// Every entry of every drive, by folded physical path; links are listed,
// not followed.
std::map<std::wstring, EntryState> Snapshot(sim::Machine& m);

// What the profile list's subkey key names as a profile directory: its
// "ProfileImagePath" as the registry returns it (at most 4096 bytes), read as
// wide text up to its first zero or its end, environment references expanded.
// False when the key or the value cannot be read.
bool ProfileDirectoryOf(sim::Machine& m, const sim::RegKeyNode& key, std::wstring* directory);

class SafetyCheck {
 public:
  // Call before the run, on the machine as the run will find it. args is the
  // argument vector the tool will see, element 0 the program.
  SafetyCheck(sim::Machine& m, std::vector<std::wstring> args);

  // Call after the run: one line per broken promise, empty when none.
  std::vector<std::string> Violations(sim::Machine& m) const;

 private:
  void AllowShortcuts(sim::Machine& m, const std::wstring& folder, const std::vector<std::wstring>& names);
  void AllowGroupFolder(sim::Machine& m, const std::wstring& folder);
  void AllowDataFolder(sim::Machine& m, const std::wstring& profile, const std::wstring& name);
  void AllowStartupUpgrade(sim::Machine& m, const std::wstring& folder);

  std::vector<std::wstring> args_;
  std::wstring command_;
  std::map<std::wstring, EntryState> before_;
  // Folded physical paths.
  std::set<std::wstring> mayDelete_;             // files, links and the folders of data trees
  std::set<std::wstring> mayRemoveEmpty_;        // real folders that may go once empty
  std::set<std::wstring> startupShortcutPaths_;  // start-up shortcuts of the data-removing run, for the order
  std::set<std::wstring> dataPaths_;
  // Start-up folders the upgrade may write in: folded physical folder path ->
  // the physical paths of the start-up shortcuts present before the run.
  std::map<std::wstring, std::vector<std::wstring>> upgradeFolders_;
  std::set<std::wstring> launchers_;         // acceptable shortcut targets of the upgrade
  std::set<std::wstring> shellExecutables_;  // acceptable shells for the restart
  std::set<std::wstring> stdoutPaths_;       // paths "--admin-remove-shortcuts" may print
  std::vector<std::wstring> subkeys_;        // of the profile list, for its diagnostics
  std::uint64_t timeBound_ = 0;
  std::uint64_t startTime_ = 0;
  sim::Dword ownSession_ = 0;
  bool ownSessionKnown_ = false;
  std::size_t terminationsBefore_ = 0, postsBefore_ = 0;
};

}  // namespace hostile
