#include "shortcuts/startup_shortcut.h"

// Not built yet.
void UpgradeStartupShortcut() {}
