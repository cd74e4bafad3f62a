#include "shell/restart_shell.h"

// Not built yet.
void RestartShell() {}
