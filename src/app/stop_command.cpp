#include "app/stop_command.h"

#include <cwchar>
#include <cwctype>
#include <limits>

#include "process/stop_client.h"

using namespace platform;

namespace {
constexpr const wchar_t* kTimeoutOption = L"-timeout";
constexpr int kFirstCommandArgument = 2;  // argv[0] is the program, argv[1] the command
}  // namespace

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

void RunStopCommand(int argc, wchar_t** argv) {
  const std::int32_t timeout = StopTimeoutFromArguments(argc, argv);
  if (timeout < 0) return;
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
