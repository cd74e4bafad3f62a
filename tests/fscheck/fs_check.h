// The file-system check: one sequence of the file calls the tool's handle-based
// file work relies on, run once over the simulated machine and once over
// Windows (Wine in the tests), printing one line per step so that the two
// outputs can be compared line by line.
#pragma once

#include <string>

// Runs every step in the folder root (see main_sim.cpp and
// tests/e2e/test_fs_check.sh for the tree it expects) and prints one
// "step: result" line per step to standard output. Returns 0.
int RunFsCheck(const std::wstring& root);

// Prints the known Wine gaps, one "step<TAB>Windows result<TAB>Wine result"
// line each: for these steps the Wine line differs from the simulator's.
void PrintWineGaps();
