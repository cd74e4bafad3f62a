// "--stop" and "--force-stop".
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "process/interactive_user.h"

// The time-out of "--stop" when no "-timeout" is given.
constexpr std::int32_t kDefaultStopTimeoutMs = 10000;
// The pause after each "--stop" attempt that still found client windows.
constexpr platform::Dword kStopAttemptIntervalMs = 1000;
// The pause after "--force-stop" has terminated the client: a moment for the
// system to release what the ended processes held before the installer goes on.
constexpr platform::Dword kForceStopSettleMs = 1000;

// How much longer than its time-out "--stop" in session 0 waits for the
// copies it started in the users' sessions: their start-up and the pause
// after their last attempt.
constexpr platform::Dword kSessionStopMarginMs = 5000;

// "--stop [-timeout T]": asks the client's windows in the tool's own session
// to close, at once and then once a second, until an attempt finds none or T
// milliseconds are spent: at most T/1000 + 1 attempts, each attempt that
// still found windows followed by a 1000 ms pause. A negative T makes no
// attempt. argv[0] is the program, argv[1] the command. In session 0 it
// calls StopInUserSessions instead.
void RunStopCommand(const InteractiveUser& user, int argc, wchar_t** argv);

// "--stop" from session 0, whose desktop reaches no user's window: starts the
// tool's own executable with "--stop -timeout T" in every active session but
// 0, as the user signed in there (WTSQueryUserToken, which only SYSTEM is
// given; CreateProcessAsUserW on "winsta0\default", no window), then waits
// for them all, at most T + kSessionStopMarginMs in total. A session whose
// token or start fails is passed over.
void StopInUserSessions(const InteractiveUser& user, std::int32_t timeout);

// "--force-stop": terminates the client's processes in every session, then,
// when it ended any, gives the system a moment to release what they held.
void RunForceStopCommand();

// The time-out the arguments from argv[2] on ask for: kDefaultStopTimeoutMs,
// or the value after the last argument that is exactly "-timeout". A value
// is never itself read as an option; a "-timeout" with no value after it
// leaves the time-out as it was.
std::int32_t StopTimeoutFromArguments(int argc, wchar_t** argv);

// A decimal number the way the standard wide string-to-integer conversion
// reads it: leading white space and one optional sign, then digits up to the
// first character that is not a digit. No digits gives 0; a value outside
// the signed 32-bit range gives the nearest limit.
std::int32_t ParseTimeoutValue(const wchar_t* text);
