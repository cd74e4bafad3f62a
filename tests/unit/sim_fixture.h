// Shared set-up for the unit tests: a fresh simulated machine per test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "files/held_folder.h"
#include "sim/typical_machine.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
  }
  sim::Machine& m() { return sim::machine(); }

  // Runs the whole tool with the given command line (program name included)
  // and checks that it returned 0.
  void Run(const std::wstring& commandLine) {
    m().runtime.commandLine = commandLine;
    EXPECT_EQ(RunClientMaintenance(), 0);
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
