// "--admin-upgrade-startup-shortcut".
#pragma once

// Brings the start-up shortcut of every profile that has one up to date.
void UpgradeStartupShortcut();
