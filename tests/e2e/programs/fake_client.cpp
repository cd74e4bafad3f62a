// A stand-in for a client process in the end-to-end tests. Copied under a
// client's executable name, it owns three top-level windows ("fake-1" and
// "fake-2" visible, "fake-hidden" hidden) and appends one line per event to
// the log file named on its command line:
//   ready pid=<process id>
//   endsession <window title> wParam=<wParam> lParam=<lParam> t=<ms since start>ms
//   exit code=<exit code>
//
// Usage: fake_client.exe LOG [--exit-on-endsession] [--lifetime MS]
//   --exit-on-endsession  quit (exit code 2) 200 ms after the first
//                         WM_ENDSESSION, time enough to log the messages
//                         posted to its other windows in the same pass;
//                         otherwise the message is logged and ignored.
//   --lifetime MS         quit by itself (exit code 7) after MS milliseconds,
//                         default 120000, so that no test leaves it running.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr int kExitOnEndSession = 2;
constexpr int kExitOnLifetime = 7;
constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT_PTR kEndSessionTimer = 2;
constexpr UINT kEndSessionExitDelayMs = 200;

const wchar_t* g_log = nullptr;
bool g_exitOnEndSession = false;
DWORD g_start = 0;

void Log(const wchar_t* format, ...) {
  wchar_t line[512];
  va_list args;
  va_start(args, format);
  const int n = std::vswprintf(line, sizeof(line) / sizeof(line[0]), format, args);
  va_end(args);
  if (n <= 0) return;
  char utf8[1024];
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, n, utf8, sizeof(utf8), nullptr, nullptr);
  HANDLE file = CreateFileW(g_log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8, static_cast<DWORD>(bytes), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ENDSESSION: {
      wchar_t title[64] = L"";
      GetWindowTextW(window, title, 64);
      Log(L"endsession %ls wParam=%llu lParam=%lld t=%lums\n", title, static_cast<unsigned long long>(wParam),
          static_cast<long long>(lParam), GetTickCount() - g_start);
      if (g_exitOnEndSession) SetTimer(window, kEndSessionTimer, kEndSessionExitDelayMs, nullptr);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kLifetimeTimer) PostQuitMessage(kExitOnLifetime);
      if (wParam == kEndSessionTimer) PostQuitMessage(kExitOnEndSession);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  g_start = GetTickCount();
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 1;
  g_log = argv[1];
  UINT lifetime = 120000;
  for (int i = 2; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--exit-on-endsession") == 0) g_exitOnEndSession = true;
    if (std::wcscmp(argv[i], L"--lifetime") == 0 && i + 1 < argc) lifetime = std::wcstoul(argv[++i], nullptr, 10);
  }

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"FakeClientWindow";
  if (RegisterClassW(&windowClass) == 0) return 1;
  const struct {
    const wchar_t* title;
    DWORD style;
  } windows[] = {{L"fake-1", WS_OVERLAPPEDWINDOW | WS_VISIBLE},
                 {L"fake-2", WS_OVERLAPPEDWINDOW | WS_VISIBLE},
                 {L"fake-hidden", WS_OVERLAPPEDWINDOW}};
  HWND first = nullptr;
  for (const auto& w : windows) {
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, w.title, w.style, 0, 0, 200, 100, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) return 1;
    if (first == nullptr) first = window;
  }
  SetTimer(first, kLifetimeTimer, lifetime, nullptr);
  Log(L"ready pid=%lu\n", GetCurrentProcessId());

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  const int code = static_cast<int>(message.wParam);
  Log(L"exit code=%d\n", code);
  LocalFree(argv);
  return code;
}
