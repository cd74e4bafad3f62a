// The tool's own session, the user signed in at a session, and starting a
// process as that user: the one place the tool starts programs in somebody
// else's name (the restarted desktop shell, and the copies of "--stop" that
// a run from session 0 starts in the users' sessions).
#pragma once

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/platform.h"

// The session the tool runs in. False when it cannot be read; callers then
// do nothing that depends on it.
bool OwnSessionId(platform::Dword* session);

// A security identifier, as its bytes.
using Sid = std::vector<unsigned char>;

// The names of the user signed in at session, as Windows records them for
// the session (WTSQuerySessionInformationW). False when nobody is signed in
// there or they cannot be read.
struct SessionUserNames {
  std::wstring user;
  std::wstring domain;  // the computer's name for a local account; may be empty
};
bool ReadSessionUserNames(platform::Dword session, SessionUserNames* names);
// "domain\user", or the user's name alone when there is no domain.
std::wstring FullName(const SessionUserNames& names);
// A SID in its text form ("S-1-5-18"), for a log: no look-up.
std::wstring SidText(const Sid& sid);

// Whether a token is of the logon of the user signed in at a session.
enum class LogonMatch {
  kSessionUser,   // its logon session is hers
  kSomebodyElse,  // another logon, or its record cannot be read
  kNotRecorded,   // the system keeps no record of logon sessions, or one without names (Wine)
};
// The token (opened with TOKEN_QUERY) against the names of the user signed
// in at a session: its logon session (TokenStatistics) as the LSA records it
// (LsaGetLogonSessionData) must be in those names (letter case aside; the
// user's name alone when the session gives no domain). No account name is looked up: the record comes from the logon
// itself, so an AzureAD account, or a domain account whose controller
// cannot be reached, is known all the same. An administrator who elevated
// over her shoulder logged on apart, in his own names.
LogonMatch MatchSessionLogon(platform::Handle token, const SessionUserNames& names);

// The account SID of a token's user (TOKEN_QUERY). False when it cannot
// be read; sid is then as it was.
bool TokenUserSid(platform::Handle token, Sid* sid);

// The account named so, turned into its SID by LookupAccountNameW (a look-up
// that may need a domain controller or the cloud): only where the system
// keeps no record of logon sessions. False when it fails; sid is then as it
// was.
bool LookUpAccountSid(const SessionUserNames& names, Sid* sid);

// Whether the token (opened with TOKEN_QUERY) belongs to the account sid.
bool TokenBelongsTo(platform::Handle token, const Sid& sid);

// Whether the token is elevated (TokenElevation). A token that cannot be
// read counts as elevated: the answer only ever makes the tool give less.
bool TokenIsElevated(platform::Handle token);

// A primary token for a process started from the tool's own token at the
// normal user's level: SaferComputeTokenFromLevel with
// SAFER_LEVELID_NORMALUSER (the administrators group deny-only, every
// privilege but change-notify removed), then medium integrity. A restricted
// version of the tool's own token, so CreateProcessAsUserW takes it without
// SeAssignPrimaryTokenPrivilege. False when any step fails.
bool NormalUserTokenFromOwn(platform::UniqueHandle* token);

// The tool's thread acting with the rights of a user: the user's token on
// it (ImpersonateLoggedOnUser) from construction, reverted (RevertToSelf)
// at the end. acting() says whether the token was taken; when it was not,
// the tool must do nothing it meant to do as her.
class ActingAsUser {
 public:
  explicit ActingAsUser(platform::Handle token) : acting_(platform::ImpersonateLoggedOnUser(token)) {}
  ActingAsUser(const ActingAsUser&) = delete;
  ActingAsUser& operator=(const ActingAsUser&) = delete;
  ~ActingAsUser() {
    if (acting_) platform::RevertToSelf();
  }
  bool acting() const { return acting_; }

 private:
  bool acting_;
};

// Which Windows call starts the process.
enum class StartCall {
  // CreateProcessWithTokenW with LOGON_WITH_PROFILE (the user's registry
  // hive loaded for the new process), in the token's logon session, on the
  // tool's own desktop, which the call opens to the user. Needs the
  // Secondary Logon service and SeImpersonatePrivilege.
  kWithToken,
  // CreateProcessAsUserW, in the token's session, on the desktop asked for.
  // Needs SeAssignPrimaryTokenPrivilege (SYSTEM holds it) unless the token
  // is a restricted version of the tool's own.
  kAsUser,
};

// The interactive window station's default desktop: the one the signed-in
// user sees.
constexpr const wchar_t* kUserDesktop = L"winsta0\\default";

// What to start and how. The command line is the executable's path in
// quotes, so that a folder with blanks in its path cannot be read as a
// shorter program name, followed by arguments.
struct UserProcessStart {
  std::wstring executable;
  std::wstring arguments;         // empty, or beginning with a blank
  std::wstring currentFolder;     // empty: the tool's own
  const wchar_t* desktop;         // null: the call's default
  platform::Dword creationFlags;  // CREATE_UNICODE_ENVIRONMENT is added when the user's variables are passed
  bool userEnvironmentRequired;   // without the user's own variables, start nothing
};

// Starts the process as the owner of primaryToken (a primary token), window
// hidden, with no handle inherited, with Windows' default error mode (not
// the tool's, which turns off the crash and critical-error dialogs), with
// the user's own variables (CreateEnvironmentBlock without the tool's);
// without them it starts with the tool's unless
// start.userEnvironmentRequired. A CreateProcessAsUserW start that the
// tool's job refuses (a job's processes share one session) is tried once
// more breaking away from the job. True when it was created; process then
// owns its handle (the thread's is closed).
bool StartProcessAsUser(platform::Handle primaryToken, StartCall call, const UserProcessStart& start,
                        platform::UniqueHandle* process);
