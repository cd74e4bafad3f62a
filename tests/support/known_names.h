// The tool's fixed names as the property test's generator and checker know
// them: written out here, independently of the code under test, so that a
// wrong name in the tool shows up as a difference instead of being copied.
#pragma once

#include <string>
#include <vector>

namespace hostile {

// The client's executable names.
inline const std::vector<std::wstring> kClientNames = {L"zarek.exe",
                                                       L"zarek-win.exe",
                                                       L"autoconn.exe",
                                                       L"zarek-ui.exe",
                                                       L"zarek-daemon.exe",
                                                       L"zarek-connect.exe",
                                                       L"auto-updater.exe",
                                                       L"zarek-drive-ui.exe",
                                                       L"zarek-drive-daemon.exe",
                                                       L"zarek-drive-auto-updater.exe",
                                                       L"zarek-drive-connect.exe",
                                                       L"command-handler.exe"};

// Start-up shortcut names, legacy ones first.
inline const std::vector<std::wstring> kStartupNames = {L"ZarekTolv.lnk", L"Vantorel Zarek Tolv.lnk",
                                                        L"Vantorel Zarek Tolv Drive.lnk", L"Vantorel Drive.lnk"};

// Desktop shortcut names, legacy ones first.
inline const std::vector<std::wstring> kDesktopNames = {L"Zarek Tolv.lnk", L"Vantorel Zarek Tolv.lnk",
                                                        L"Vantorel Zarek Tolv Drive.lnk", L"Vantorel Drive.lnk"};

// The start-menu names, as they lie in the program group folder "Vantorel",
// legacy ones (the first five) first.
inline const std::vector<std::wstring> kGroupNames = {L"Vantorel Zarek Tolv Drive.lnk",
                                                      L"Zarek Tolv.lnk",
                                                      L"Vantorel Zarek Tolv.lnk",
                                                      L"Uninstall Vantorel Zarek Tolv.lnk",
                                                      L"Uninstall Vantorel Zarek Tolv Drive.lnk",
                                                      L"Vantorel Drive.lnk",
                                                      L"Uninstall Vantorel Drive.lnk"};
constexpr std::size_t kLegacyGroupNameCount = 5;

// The old names alone, which also go from the all-users folders.
inline const std::vector<std::wstring> kLegacyDesktopNames(kDesktopNames.begin(), kDesktopNames.end() - 1);
inline const std::vector<std::wstring> kLegacyGroupNames(kGroupNames.begin(),
                                                         kGroupNames.begin() + kLegacyGroupNameCount);

// What the start-up upgrade leaves: one shortcut of this name, to the
// launcher below the program-files folder, with this description.
inline const std::wstring kShortcutName = L"Vantorel Drive.lnk";
inline const std::wstring kLauncher = L"\\Vantorel\\VantorelDrive\\bin\\launcher.exe";
inline const std::wstring kShortcutDescription = L"Vantorel Drive";

}  // namespace hostile
