#include "shortcuts/shortcut_names.h"

ShortcutNames LegacyDesktopShortcutNames() {
  return {L"Zarek Tolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk"};
}

ShortcutNames DesktopShortcutNames() {
  ShortcutNames names = LegacyDesktopShortcutNames();
  names.emplace_back(kCurrentShortcutName);
  return names;
}

ShortcutNames LegacyStartMenuShortcutNames() {
  return {L"Vantorel Zarek Tolv Drive.lnk", L"Zarek Tolv.lnk", L"Vantorel Zarek Tolv.lnk",
          L"Uninstall Vantorel Zarek Tolv.lnk", L"Uninstall Vantorel Zarek Tolv Drive.lnk"};
}

ShortcutNames StartMenuShortcutNames() {
  ShortcutNames names = LegacyStartMenuShortcutNames();
  names.emplace_back(kCurrentShortcutName);
  names.emplace_back(L"Uninstall Vantorel Drive.lnk");
  return names;
}

// The first start-up name is one word, unlike the first desktop name.
ShortcutNames LegacyStartupShortcutNames() {
  return {L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk", L"Vantorel Zarek Tolv Drive.lnk"};
}

ShortcutNames StartupShortcutNames() {
  ShortcutNames names = LegacyStartupShortcutNames();
  names.emplace_back(kCurrentShortcutName);
  return names;
}
