#include "shortcuts/remove_shortcuts.h"

// Not built yet.
void RemoveShortcutsForAllProfiles() {}
void RemoveAllUsersShortcuts() {}
void RemoveCurrentUserShortcuts() {}
