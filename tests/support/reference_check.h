// The other half of the promise: what a command is there to do gets done.
// Written from the README's account of each command, not from the tool's
// code. It holds where nothing interferes: the caller applies it to runs
// that no adversary raced and in which no call was made to fail; an entry
// that Windows itself would keep (read-only, held open without delete
// sharing, its deletion denied, inside a folder that cannot be listed, a
// placeholder inside a data folder, a folder of a shortcut's name) is not
// asked for, nor is a new start-up shortcut where none can be written, nor
// anything in a piece of work (PieceOf) that a call cancelled after its
// bound gave up.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace hostile {

class ReferenceCheck {
 public:
  // Call before the run, on the machine as the run will find it. args is the
  // argument vector the tool will see, element 0 the program.
  ReferenceCheck(sim::Machine& m, const std::vector<std::wstring>& args);

  // Call after the run: one line per thing left undone, empty when none.
  std::vector<std::string> Missed(sim::Machine& m) const;
  // Call after the run: the entries the command was there for that are
  // still there, whether or not Windows let it remove them (by path): each
  // is for the decision log to give a reason for.
  std::vector<std::wstring> Stayed(sim::Machine& m) const;

  // What the command owes the machine under one account's folder layout.
  struct Duties {
    std::map<std::uint64_t, std::wstring> mustGo;  // entry id -> its path before the run
    // Start-up folder id -> its path: each ends with the current shortcut,
    // shown, to one of the launchers (folded paths).
    std::map<std::uint64_t, std::wstring> upgrades;
    std::set<std::wstring> launchers;
    // Every entry of those names and folders, whether Windows lets it go or
    // not: a shortcut name, a program group folder, a data folder.
    std::map<std::uint64_t, std::wstring> named;
  };
  // The duties of the layout the run resolved (Missed's choice).
  Duties Resolved(sim::Machine& m) const;

 private:
  std::wstring command_;
  std::size_t eventsBefore_ = 0, cancelledBefore_ = 0;
  // By the account whose folder layout the run resolved (the signed-in
  // user's, or the tool's own without her shell's token).
  std::map<std::wstring, Duties> byLayout_;
};

}  // namespace hostile
