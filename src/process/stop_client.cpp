#include "process/stop_client.h"

#include "platform/handles.h"

using namespace platform;

namespace {

// WM_ENDSESSION's wParam: TRUE, the session really is ending.
constexpr std::uintptr_t kSessionEnding = 1;

// What one EnumWindows pass carries to its callback.
struct WindowPassContext {
  std::wstring name;
  SessionFilter session;
  std::int32_t posted;
};

bool PostEndSessionIfOwnedByName(Hwnd window, std::intptr_t parameter) {
  auto* context = reinterpret_cast<WindowPassContext*>(parameter);
  constexpr bool kContinue = true;  // every window is visited; the pass never stops early
  Dword ownerPid = 0;
  if (GetWindowThreadProcessId(window, &ownerPid) == 0) return kContinue;  // the window is gone
  if (context->session) {
    Dword ownerSession = 0;
    if (!ProcessIdToSessionId(ownerPid, &ownerSession) || ownerSession != *context->session) return kContinue;
  }
  std::wstring ownerName;
  if (!GetProcessBaseName(ownerPid, &ownerName)) return kContinue;
  if (!NamesEqualIgnoreCase(ownerName, context->name)) return kContinue;
  // Posted, not sent: the tool never waits on a window. A failed post (a
  // window of a higher integrity level) still counts, so "--stop" keeps
  // asking until its time-out rather than ending as if the client were gone.
  PostMessageW(window, kWmEndSession, kSessionEnding, kEndSessionCloseApp);
  ++context->posted;
  return kContinue;
}

// The session filter for ownSessionOnly: the tool's own session, or every
// session. False when the own session is asked for and cannot be read.
bool ClientSessionFilter(bool ownSessionOnly, SessionFilter* filter) {
  if (!ownSessionOnly) {
    *filter = std::nullopt;
    return true;
  }
  Dword ownSession = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &ownSession)) return false;
  *filter = ownSession;
  return true;
}

}  // namespace

std::vector<std::wstring> ClientProcessNames() {
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

std::int32_t CloseClientWindows(bool ownSessionOnly) {
  SessionFilter filter;
  // Without its own session the tool cannot tell its user's windows from
  // another user's: it asks none to close.
  if (!ClientSessionFilter(ownSessionOnly, &filter)) return 0;
  std::int32_t total = 0;
  for (const std::wstring& name : ClientProcessNames()) total += PostEndSessionToWindowsOf(name, filter);
  return total;
}

std::int32_t PostEndSessionToWindowsOf(const std::wstring& name, SessionFilter session) {
  WindowPassContext context{name, session, 0};
  EnumWindows(PostEndSessionIfOwnedByName, reinterpret_cast<std::intptr_t>(&context));
  return context.posted;
}

void TerminateClientProcesses(bool ownSessionOnly) {
  SessionFilter filter;
  if (!ClientSessionFilter(ownSessionOnly, &filter)) return;
  for (const std::wstring& name : ClientProcessNames()) TerminateProcessesByName(name, filter);
}

void TerminateProcessesByName(const std::wstring& name, SessionFilter session) {
  for (const Dword pid : FindProcessesByName(name, session)) {
    UniqueHandle process(OpenProcess(kProcessTerminate | kSynchronize, /*inheritHandle=*/false, pid));
    if (!process) continue;  // gone already, or not ours to end
    // The result is not examined: a process that is already ending refuses
    // the request (access denied) and is still worth waiting for.
    TerminateProcess(process.get(), /*exitCode=*/0);
    WaitForSingleObject(process.get(), kTerminationWaitLimitMs);
  }
}
