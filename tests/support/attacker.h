// The property test's adversary: a local user without any rights who owns
// the folders of the profiles (everything below each profile directory) and
// races the tool. Between any two of the tool's platform calls it may
// rename a folder or file it owns and put a link in its place (a junction or
// symbolic link to another profile, the Windows folder, the program-files
// folder, or to the object-manager directory "\RPC Control", whose symbolic
// links, named like the entries the tool looks for, point at any file), or
// turn an empty folder it owns into such a junction where it stands. It
// goes through the simulated machine's sharing rules like anyone else: what
// the tool holds without FILE_SHARE_DELETE it cannot rename. (Turning a
// folder into a junction needs only the right to write its attributes,
// which no sharing mode withholds, so that it may do to a folder the tool
// holds.)
//
// It targets what the tool reached last, so that a check made by name and
// then used by name is raced where it hurts. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "hostile_machine.h"
#include "sim/machine.h"

namespace hostile {

class Attacker {
 public:
  // Arms the adversary on m for one run (some seeds leave it idle).
  Attacker(sim::Machine& m, std::uint64_t seed);
  ~Attacker();  // disarms
  Attacker(const Attacker&) = delete;
  Attacker& operator=(const Attacker&) = delete;

  // What it did, one line per attack, for a report.
  const std::vector<std::string>& log() const { return log_; }

 private:
  void AfterCall();
  bool Owned(const sim::FsNode* node) const;
  bool CanRename(const sim::FsNode* node) const;
  // Puts a link named name in folder: to a victim folder (or the object
  // manager) for a folder, to a victim file for a file.
  // Returns the link's id.
  std::uint64_t PlantLink(sim::FsNode* folder, const std::wstring& name, bool directory,
                          const std::vector<std::wstring>& inside);
  std::wstring PickVictimFolder();
  std::wstring PickVictimFile();

  sim::Machine& m_;
  Random r_;
  Random lockKind_;  // of its own: the other draws are what they were without it
  int budget_ = 0;
  int percent_ = 0;
  int renames_ = 0;
  std::set<std::uint64_t> profileRoots_;
  std::set<std::uint64_t> own_;  // what it planted, moved or turned into a link
  std::vector<std::wstring> victimFiles_, victimFolders_;
  std::vector<std::string> log_;
};

}  // namespace hostile
