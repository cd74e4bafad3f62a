// What keeps an unattended run from ever showing a dialog: the way the run
// ends when the C++ runtime or the C runtime gives up.
#pragma once

// Makes an uncaught exception (an exhausted allocation is the only one the
// tool can meet), abort() and a structured exception nobody handles (an
// access violation, a stack overflow) end the process at once with exit
// code 0,
// without the C runtime's "Runtime Error" message box (which nobody sees in
// session 0, and which would keep an installation waiting for ever) or its
// exit code 3.
void InstallUnattendedEndings();
