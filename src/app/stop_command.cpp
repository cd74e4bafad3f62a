#include "app/stop_command.h"

// Not built yet: both commands do nothing.
void RunStopCommand(int, wchar_t**) {}
void RunForceStopCommand() {}
