// "--stop" and "--force-stop".
#pragma once

// "--stop [-timeout T]": asks the client's windows in the tool's own session
// to close, once a second, until none is left or T milliseconds are spent.
void RunStopCommand(int argc, wchar_t** argv);

// "--force-stop": terminates the client's processes in every session, then
// gives the system a moment to settle.
void RunForceStopCommand();
