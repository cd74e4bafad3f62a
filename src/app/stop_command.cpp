#include "app/stop_command.h"

#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>
#include <vector>

#include "common/decimal_text.h"
#include "platform/handles.h"
#include "process/stop_client.h"
#include "process/user_session.h"
#include "profiles/shell_folders.h"

using namespace platform;

namespace {
constexpr const wchar_t* kTimeoutOption = L"-timeout";
constexpr int kFirstCommandArgument = 2;  // argv[0] is the program, argv[1] the command
constexpr Dword kLongestPath = 32768;

// Milliseconds of the machine's working time: a sleep of the machine
// during the wait for the copies does not use the wait up.
std::uint64_t WorkingMs() {
  std::uint64_t unbiased = 0;
  QueryUnbiasedInterruptTime(&unbiased);
  return unbiased / 10000;
}

// The full path of the tool's own executable; empty when it cannot be read whole.
std::wstring OwnExecutable() {
  std::wstring path(kLongestPath, L'\0');
  const Dword length = GetModuleFileNameW(&path[0], kLongestPath);
  if (length == 0 || length >= kLongestPath) return L"";
  path.resize(length);
  return path;
}

// Starts "<executable> --stop -timeout T" as the user signed in at session,
// on that session's interactive desktop, with no window, in the Windows
// folder (a folder every user may enter; nothing of the installer's is held
// open). False when the session has no user, its token is refused or the
// start fails.
bool StartStopInSession(Dword session, const std::wstring& executable, std::int32_t timeout,
                        const std::wstring& windowsFolder, UniqueHandle* process) {
  UniqueHandle token;
  if (!WTSQueryUserToken(session, token.put())) return false;
  // Without the user's own variables the copy inherits the tool's, which
  // change nothing it does.
  const UserProcessStart start{executable,      L" --stop -timeout " + DecimalText(timeout),
                               windowsFolder,   kUserDesktop,
                               kCreateNoWindow, /*userEnvironmentRequired=*/false};
  return StartProcessAsUser(token.get(), StartCall::kAsUser, start, process);
}

}  // namespace

void StopInUserSessions(const InteractiveUser& user, std::int32_t timeout) {
  const std::wstring executable = OwnExecutable();
  if (executable.empty()) return;
  std::wstring windowsFolder;
  if (!LookUpShellFolder(user, kCsidlWindows, &windowsFolder)) windowsFolder.clear();
  UniqueWtsMemory<WtsSessionInfo*> sessions;
  Dword count = 0;
  if (!WTSEnumerateSessionsW(sessions.put(), &count)) return;
  std::vector<UniqueHandle> started;
  for (Dword i = 0; i < count; ++i) {
    const WtsSessionInfo& session = sessions.get()[i];
    if (session.State != kWtsActive || session.SessionId == 0) continue;
    UniqueHandle process;
    if (StartStopInSession(session.SessionId, executable, timeout, windowsFolder, &process)) {
      started.push_back(std::move(process));
    }
  }
  sessions.reset();
  // All of them run at once; the wait for each takes what is left of one
  // deadline, so the whole wait is bounded however many there are.
  const std::uint64_t deadline = WorkingMs() + static_cast<std::uint64_t>(timeout) + kSessionStopMarginMs;
  for (const UniqueHandle& process : started) {
    const std::uint64_t now = WorkingMs();
    if (now >= deadline) break;
    WaitForSingleObject(process.get(), static_cast<Dword>(deadline - now));
  }
}

std::int32_t ParseTimeoutValue(const wchar_t* text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  const wchar_t* p = text;
  while (std::iswspace(static_cast<std::wint_t>(*p))) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = *p++ == L'-';
  // Accumulated as a magnitude in 64 bits and held just past the 32-bit
  // range, so no number of digits can overflow it.
  std::int64_t magnitude = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    magnitude = magnitude * 10 + (*p - L'0');
    if (magnitude > kMax + 1) magnitude = kMax + 1;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > kMax) return static_cast<std::int32_t>(kMax);
  if (value < kMin) return static_cast<std::int32_t>(kMin);
  return static_cast<std::int32_t>(value);
}

std::int32_t StopTimeoutFromArguments(int argc, wchar_t** argv) {
  std::int32_t timeout = kDefaultStopTimeoutMs;
  for (int i = kFirstCommandArgument; i < argc; ++i) {
    if (std::wcscmp(argv[i], kTimeoutOption) != 0) continue;
    if (i + 1 >= argc) break;                // no value: the time-out stays as it was
    timeout = ParseTimeoutValue(argv[++i]);  // the value is consumed, never read as an option
  }
  return timeout;
}

void RunStopCommand(const InteractiveUser& user, int argc, wchar_t** argv) {
  const std::int32_t timeout = StopTimeoutFromArguments(argc, argv);
  if (timeout < 0) return;
  // A window can be reached only from its own session's desktop: from
  // session 0 (a service's, an installer's custom action as SYSTEM) the stop
  // runs as a copy of the tool in every user's session.
  if (user.session == 0u) {
    StopInUserSessions(user, timeout);
    return;
  }
  // 64 bits: with the largest time-out the count passes 2^31 before the loop ends.
  std::int64_t elapsed = 0;
  for (;;) {
    if (CloseClientWindows(/*ownSessionOnly=*/true) == 0) return;
    Sleep(kStopAttemptIntervalMs);
    elapsed += kStopAttemptIntervalMs;
    if (elapsed > timeout) return;
  }
}

void RunForceStopCommand() {
  // With nothing ended there is nothing to settle.
  if (TerminateClientProcesses(/*ownSessionOnly=*/false) > 0) Sleep(kForceStopSettleMs);
}
