#include "cleanup/uninstall.h"

// Not built yet.
void RunUninstallCommand(int, wchar_t**) {}
