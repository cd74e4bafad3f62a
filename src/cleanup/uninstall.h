// "--uninstall NAME": per-user clean-up in every profile.
#pragma once

// Runs the command on the argument vector (element 2 is the data folder name).
void RunUninstallCommand(int argc, wchar_t** argv);
