#include "process/stop_client.h"

#include <unordered_map>
#include <utility>

#include "common/decimal_text.h"
#include "common/product_names.h"
#include "common/report.h"
#include "platform/handles.h"
#include "process/terminate_processes.h"
#include "process/user_session.h"

using namespace platform;

namespace {

// WM_ENDSESSION's wParam: TRUE, the session really is ending.
constexpr std::uintptr_t kSessionEnding = 1;

// What one EnumWindows pass carries to its callback.
struct WindowPass {
  const std::vector<std::wstring>* names;
  SessionFilter session;
  std::unordered_map<Dword, std::wstring> listed;  // the snapshot's names, by identifier
  std::unordered_map<Dword, bool> decided;         // each owner judged once per pass
  std::int32_t posted = 0;
};

// Whether the process pid owns client windows: in the filter's session (read
// before anything is opened), and named a client both in the snapshot (a
// process the snapshot names otherwise is not opened) and on a handle of its
// own. A process that started after the snapshot is asked on a handle only.
bool IsClientOwner(WindowPass& pass, Dword pid) {
  auto known = pass.decided.find(pid);
  if (known != pass.decided.end()) return known->second;
  bool client = false;
  Dword ownerSession = 0;
  if (!pass.session || (ProcessIdToSessionId(pid, &ownerSession) && ownerSession == *pass.session)) {
    auto listed = pass.listed.find(pid);
    client = (listed == pass.listed.end() || IsOneOfNames(listed->second, *pass.names)) &&
             OpenProcessNamed(pid, kProcessQueryLimitedInformation, *pass.names);
  }
  pass.decided.emplace(pid, client);
  return client;
}

bool PostEndSessionIfClient(Hwnd window, std::intptr_t parameter) {
  auto* pass = reinterpret_cast<WindowPass*>(parameter);
  constexpr bool kContinue = true;  // every window is visited; the pass never stops early
  Dword ownerPid = 0;
  if (GetWindowThreadProcessId(window, &ownerPid) == 0) return kContinue;  // the window is gone
  if (!IsClientOwner(*pass, ownerPid)) return kContinue;
  // Posted, not sent: the tool never waits on a window. A failed post (a
  // window of a higher integrity level) still counts, so "--stop" keeps
  // asking until its time-out rather than ending as if the client were gone.
  const bool posted = PostMessageW(window, kWmEndSession, kSessionEnding, kEndSessionCloseApp);
  ++pass->posted;
  if (report::On()) {
    report::Say(L"asked", L"process " + DecimalText(ownerPid),
                posted ? L"to close a window (WM_ENDSESSION)" : L"could not post to its window");
  }
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
  if (!OwnSessionId(&ownSession)) return false;
  *filter = ownSession;
  return true;
}

}  // namespace

std::int32_t CloseClientWindows(bool ownSessionOnly) {
  SessionFilter filter;
  // Without its own session the tool cannot tell its user's windows from
  // another user's: it asks none to close.
  if (!ClientSessionFilter(ownSessionOnly, &filter)) return 0;
  return PostEndSessionToClientWindows(ClientProcessNames(), filter);
}

std::int32_t PostEndSessionToClientWindows(const std::vector<std::wstring>& names, SessionFilter session) {
  WindowPass pass;
  pass.names = &names;
  pass.session = session;
  // Without a snapshot every owner is asked its name on a handle.
  std::vector<SnapshotProcess> processes;
  if (TakeProcessSnapshot(&processes)) {
    for (SnapshotProcess& p : processes) pass.listed.emplace(p.pid, std::move(p.name));
  }
  EnumWindows(PostEndSessionIfClient, reinterpret_cast<std::intptr_t>(&pass));
  return pass.posted;
}

int TerminateClientProcesses(bool ownSessionOnly) {
  SessionFilter filter;
  if (!ClientSessionFilter(ownSessionOnly, &filter)) return 0;
  return TerminateProcessesNamed(ClientProcessNames(), filter, kMaxTerminationSweeps);
}
