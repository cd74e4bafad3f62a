// The decision log of a run with "-verbose" (standard output, UTF-8),
// checked against what the simulated machine saw the run do: every entry
// it removed is reported once, alone or inside a tree's counts; every
// start-up shortcut it put in place is reported as written; as many
// processes ended and shells started as it reports; nothing reported that
// did not happen; what it was there to remove and left is named with a
// reason; the log begins with its "run" line and ends with "done".
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace hostile {

// The log's lines, decoded from UTF-8.
std::vector<std::wstring> LogLines(const std::string& bytes);

// Whether the tool writes a decision log for these arguments: "-verbose"
// after the command's own arguments (after NAME for "--uninstall"; for
// "--stop" anywhere that is not the value of a "-timeout").
bool AsksForLog(const std::vector<std::wstring>& args);

class ReportCheck {
 public:
  ReportCheck(sim::Machine& m, const std::vector<std::wstring>& args);
  // stayed: what the command was there to remove and did not (the
  // reference check's), each of which the log must give a reason for, on a
  // "left" or "skipped" line naming it or a folder above it.
  std::vector<std::string> Violations(sim::Machine& m, const std::vector<std::wstring>& stayed = {}) const;

 private:
  std::vector<std::wstring> args_;
  std::size_t eventsBefore_, terminationsBefore_, withTokenBefore_, asUserBefore_, bytesBefore_;
  std::set<std::uint64_t> pendingBefore_;  // entries whose deletion was pending before the run
};

}  // namespace hostile
