// pretend-client.exe: a stand-in for the Vantorel Drive client, installed by
// the example installers in examples/nsis and examples/msi. It is installed
// twice, and what it does depends on the name it runs under:
//
//   launcher.exe        what the shortcuts point at: starts zarek-drive-ui.exe
//                       from its own folder and ends at once.
//   any other name      the client itself (installed as zarek-drive-ui.exe,
//                       one of the names client-maintenance.exe stops): opens
//                       a window titled "Vantorel Drive", keeps its data in
//                       %LOCALAPPDATA%\VantorelDrive (a log, a settings file
//                       and a cache, as a sync client has) and runs until it
//                       is closed or receives WM_ENDSESSION.
//
// The log, %LOCALAPPDATA%\VantorelDrive\client.log, gets one line per event:
//   started pid=<process id>
//   closing on <WM_ENDSESSION|WM_CLOSE>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kLauncherName[] = L"launcher.exe";
constexpr wchar_t kClientName[] = L"zarek-drive-ui.exe";
constexpr wchar_t kDataFolderName[] = L"VantorelDrive";
constexpr wchar_t kWindowTitle[] = L"Vantorel Drive";

std::wstring g_dataFolder;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = L"";
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

void AppendUtf8(const std::wstring& file, const std::wstring& text) {
  char bytes[1024];
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes, sizeof(bytes),
                                    nullptr, nullptr);
  HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (n > 0) WriteFile(handle, bytes, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(handle);
}

void Log(const std::wstring& line) {
  if (!g_dataFolder.empty()) AppendUtf8(g_dataFolder + L"\\client.log", line + L"\r\n");
}

// The data a sync client keeps per user: settings and a small cache tree.
void MakeDataFolder() {
  wchar_t local[MAX_PATH] = L"";
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local) != S_OK) return;
  g_dataFolder = std::wstring(local) + L"\\" + kDataFolderName;
  CreateDirectoryW(g_dataFolder.c_str(), nullptr);
  CreateDirectoryW((g_dataFolder + L"\\cache").c_str(), nullptr);
  CreateDirectoryW((g_dataFolder + L"\\cache\\3f").c_str(), nullptr);
  AppendUtf8(g_dataFolder + L"\\settings.json", L"{\"startAtLogon\": true}\r\n");
  AppendUtf8(g_dataFolder + L"\\cache\\3f\\a9c1.blob", L"cached content\r\n");
}

// launcher.exe: start the client beside it, without waiting for it.
int Launch() {
  std::wstring folder = ModulePath();
  folder.erase(folder.find_last_of(L'\\') + 1);
  std::wstring commandLine = L"\"" + folder + kClientName + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ENDSESSION:
      // Sent by "client-maintenance.exe --stop": save and quit.
      if (wParam) {
        Log(L"closing on WM_ENDSESSION");
        DestroyWindow(window);
      }
      return 0;
    case WM_CLOSE:
      Log(L"closing on WM_CLOSE");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

int RunClient(HINSTANCE instance) {
  MakeDataFolder();
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"VantorelDrivePretendClient";
  if (RegisterClassW(&windowClass) == 0) return 1;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, kWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  Log(L"started pid=" + std::to_wstring(GetCurrentProcessId()));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::wstring path = ModulePath();
  const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  if (lstrcmpiW(name.c_str(), kLauncherName) == 0) return Launch();
  return RunClient(instance);
}
