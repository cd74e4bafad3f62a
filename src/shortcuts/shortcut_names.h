// Every shortcut file name the client has used, per kind of place. Each
// current list is its legacy list followed by the current names. Start-menu
// names are the names inside the program group folder (kProgramGroupFolder).
#pragma once

#include <string>
#include <vector>

#include "common/product_names.h"

using ShortcutNames = std::vector<std::wstring>;

// The client's folder inside a start-menu programs folder.
constexpr const wchar_t* kProgramGroupFolder = kMakerFolderName;

ShortcutNames LegacyDesktopShortcutNames();
ShortcutNames DesktopShortcutNames();
ShortcutNames LegacyStartMenuShortcutNames();
ShortcutNames StartMenuShortcutNames();
ShortcutNames LegacyStartupShortcutNames();
ShortcutNames StartupShortcutNames();
