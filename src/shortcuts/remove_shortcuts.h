// "--admin-remove-shortcuts" and "--portable-remove-shortcuts".
#pragma once

// Removes the client's start-menu and desktop shortcuts from every profile.
void RemoveShortcutsForAllProfiles();
// Removes the legacy shortcuts from the all-users start menu and desktop.
void RemoveAllUsersShortcuts();
// Removes the client's shortcuts of the interactive user alone.
void RemoveCurrentUserShortcuts();
