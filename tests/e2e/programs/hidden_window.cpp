// hidden-window.exe [SECONDS]: creates one hidden top-level window and runs
// its message loop for SECONDS seconds (default 300), then ends.
//
// Wine ends its own explorer.exe (the desktop) once no GUI process uses the
// desktop any more; a test that needs a desktop shell keeps this running.
#include <windows.h>

#include <cwchar>

namespace {
constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kDefaultSeconds = 300;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kLifetimeTimer) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  UINT seconds = kDefaultSeconds;
  if (commandLine != nullptr && *commandLine != L'\0') {
    const long value = std::wcstol(commandLine, nullptr, 10);
    if (value > 0) seconds = static_cast<UINT>(value);
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"CmHiddenWindow";
  if (RegisterClassW(&windowClass) == 0) return 1;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"hidden", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  SetTimer(window, kLifetimeTimer, seconds * 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
