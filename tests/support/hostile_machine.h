// Random hostile machines for the property test and the fuzzers: profiles
// with readable, unreadable, missing and odd directories and registry values;
// shell folders that resolve, fail or are redirected; trees with hidden,
// system and read-only files and with links pointing anywhere; client and
// other processes in several sessions, some that cannot be ended.
//
// Generation is deterministic: the same seed builds the same machine, so a
// failing seed can be run again on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace hostile {

// A small deterministic generator (splitmix64): the same numbers on every
// platform and standard library, unlike the standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // A number in [0, n); 0 when n is 0.
  std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(Next() % n); }
  bool Chance(int percent) { return Below(100) < static_cast<std::uint32_t>(percent); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<std::uint32_t>(items.size()))];
  }

 private:
  std::uint64_t state_;
};

// What one generated machine is for: the commands to run on it, each as the
// argument vector the tool should see (element 0 the program).
struct Plan {
  std::wstring dataName;  // the data folder planted in the profiles, a plain name
  std::vector<std::vector<std::wstring>> runs;
};

struct Options {
  // Every process that owns a client window ends within a minute of virtual
  // time, so that "--stop" with any time-out ends (the fuzzers pick the
  // time-out after the machine is built).
  bool clientsEndWithinAMinute = false;
};

// Builds a hostile machine from seed into m, which must be fresh
// (sim::Reset()), and returns what to run on it. The runs cover every
// command, "--stop" with ordinary and hostile "-timeout" values, "--uninstall"
// with the planted name and with invalid and hostile names, the two
// recognised no-ops and unknown commands.
Plan Generate(std::uint64_t seed, sim::Machine& m, const Options& options = {});

// The argument vector as one command line that CommandLineToArgvW splits back
// into the same arguments.
std::wstring CommandLineOf(const std::vector<std::wstring>& args);

// A readable description of the machine: registry profile list (with raw
// value bytes where they are not plain text), environment, shell folders,
// processes and windows, injected failures and the whole file system.
std::string Describe(sim::Machine& m);

// Printable ASCII form of a wide string (\u{...} for anything else).
std::string Printable(const std::wstring& s);

// Names of "--uninstall" arguments that must never remove anything outside a
// data folder; shared with the fuzzers' corpus.
const std::vector<std::wstring>& HostileFolderNames();

}  // namespace hostile
