// The client's and its maker's names, as the tool writes them into the
// machine or looks for them there, each spelled once. The lists of shortcut
// names the client has used over the years are a catalogue of their own
// (shortcuts/shortcut_names).
#pragma once

#include <string>
#include <vector>

#define CM_MAKER_NAME L"Vantorel"
#define CM_PRODUCT_NAME CM_MAKER_NAME L" Drive"

// The maker's folder: the program group in a start menu, and the
// machine-wide folders of its programs and data.
constexpr const wchar_t* kMakerFolderName = CM_MAKER_NAME;
// The client's name: the start-up shortcut's description.
constexpr const wchar_t* kProductName = CM_PRODUCT_NAME;
// The current name of the desktop and start-up shortcut.
constexpr const wchar_t* kCurrentShortcutName = CM_PRODUCT_NAME L".lnk";
// The launcher, below the program-files folder.
constexpr const wchar_t* kLauncherRelativePath = L"\\" CM_MAKER_NAME L"\\" CM_MAKER_NAME L"Drive\\bin\\launcher.exe";
// The start of the name of the temporary file a new start-up shortcut is
// written to before it is renamed into place.
constexpr const wchar_t* kTemporaryShortcutPrefix = L"~" CM_PRODUCT_NAME L" ";

// The executable names of every version of the client. Compared without
// regard to letter case.
inline std::vector<std::wstring> ClientProcessNames() {
  return {
      L"zarek.exe",
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
      L"command-handler.exe",
  };
}

#undef CM_PRODUCT_NAME
#undef CM_MAKER_NAME
