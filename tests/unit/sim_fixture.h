// Shared set-up for the unit tests: a fresh simulated machine per test, and
// the whole tool run on it as the system runs it, cut short where a test
// says.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/app.h"
#include "sim/typical_machine.h"

namespace sim {

// The whole tool, as the system runs it: a run cut short (killed, the power
// lost, or ended by its bound) simply ends. Returns the exit code, 0 for a
// cut run (the watchdog's and the killer's; a machine without power has
// none).
inline int RunToolAsTheSystemDoes() {
  try {
    return RunClientMaintenance();
  } catch (const RunCut&) {
    Machine& m = machine();
    // The process is gone; the system closes what it left open; without
    // power, nothing is carried out.
    std::vector<platform::Handle> left;
    for (const auto& [value, entry] : m.handles) {
      if (entry.byTool) left.push_back(reinterpret_cast<platform::Handle>(value));
    }
    for (platform::Handle h : left) platform::CloseHandle(h);
    m.users.actingAs.clear();  // the thread is gone with its token
    if (m.cut == Cut::kPowerLost) m.files.PowerLoss();
    return 0;
  }
}

}  // namespace sim

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  sim::Machine& m() { return sim::machine(); }

  // Runs the whole tool with the given command line (program name included)
  // and checks that it returned 0 and that no call of it waited where the
  // tool could have kept it from waiting.
  void Run(const std::wstring& commandLine) {
    m().runtime.commandLine = commandLine;
    EXPECT_EQ(sim::RunToolAsTheSystemDoes(), 0);
    EXPECT_EQ(m().avoidableWait, "") << "ended by the run's bound";
  }

  // The same, cut short just before the run's call-th call into Windows
  // (killed, or the power lost). True when the run got that far; the
  // machine is ready for the next run either way.
  bool RunCutBefore(const std::wstring& commandLine, std::uint64_t call, sim::Cut how) {
    m().cutAtCall = call;
    m().cutKind = how;
    m().callsSinceArmed = 0;
    Run(commandLine);
    const bool reached = m().cut != sim::Cut::kNone;
    m().cut = sim::Cut::kNone;
    m().cutAtCall = 0;
    m().endedByBound = false;
    return reached;
  }
};

// A fresh typical machine: see sim::TypicalMachine.
class TypicalMachineTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::TypicalMachine::Build(m());
  }
};
