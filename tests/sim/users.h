// The simulated machine's users: the sessions and who is signed in at each,
// the accounts' security identifiers, the tool's own privileges and job,
// Safer levels, environment blocks, and the processes started with a
// user's token. The calls are in users.cpp and start_as_user.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

using platform::Dword;

// WTS_CONNECTSTATE_CLASS values beside WTSActive.
constexpr int kWtsConnected = 1;
constexpr int kWtsDisconnected = 4;
constexpr int kWtsListen = 6;

// A session of the machine (WTSEnumerateSessionsW).
struct Session {
  Dword id = 0;
  int state = platform::kWtsActive;  // WTS_CONNECTSTATE_CLASS
  std::wstring user;                 // the user signed in at it; empty for none
  Dword tokenError = 0;              // non-zero: WTSQueryUserToken fails with it
  // A process started in it (CreateProcessAsUserW) ends by itself, exit
  // code 0, this long after its start; 0: it runs until it is ended.
  std::uint64_t startedRunMs = 1000;
  // The signed-in user's domain as WTSQuerySessionInformationW gives it
  // (the computer's name for a local account).
  std::wstring domain = L"WORKSTATION";
};

// The security identifier of an account as LookupAccountNameW and a token's
// TokenUser give it: the same for the same name whatever its letter case or
// domain ("DOMAIN\\user"); the well-known ones for SYSTEM, LOCAL SERVICE and
// NETWORK SERVICE, a machine account's (S-1-5-21-...) for any other name.
// (The profile list's subkeys are set up apart and need not match.)
std::vector<unsigned char> AccountSid(const std::wstring& account);

struct CreateProcessWithTokenRecord {
  std::wstring tokenUser;
  bool tokenPrimary;
  Dword logonFlags;
  std::wstring applicationName;
  std::wstring commandLine;
  Dword creationFlags;
  bool environmentPassed;
  std::wstring environmentUser;
  std::wstring currentDirectory;  // "(null)" when none was passed
  Dword startupFlags;
  std::uint16_t showWindow;
  bool succeeded;
  Dword pid;
  // The session the process runs in (CreateProcessAsUserW: the token's).
  Dword session = 0;
  // CreateProcessAsUserW only: the desktop asked for.
  std::wstring desktop;
  // The token's elevation and mandatory level.
  bool tokenElevated = false;
  Dword tokenIntegrity = 0;
};

struct Users {
  // ---- sessions (WTSEnumerateSessionsW order) ----
  std::vector<Session> sessions;
  std::set<void*> wtsAllocations;  // session lists and strings not yet freed with WTSFreeMemory

  // ---- logon sessions, as the LSA records them ----
  // A logon session is its user and session here; its identifier is given
  // out when a token's statistics are first read. false: the system keeps
  // no such record (Wine 8: LsaGetLogonSessionData answers every logon with
  // a record that names nobody).
  bool logonSessionsRecorded = true;
  struct Logon {
    std::wstring user;
    Dword session;
  };
  std::vector<Logon> logons;       // by identifier - 1
  std::set<void*> lsaAllocations;  // records not yet freed with LsaFreeReturnBuffer
  // Domains whose accounts LookupAccountNameW cannot turn into SIDs here
  // (AzureAD's, through a cloud plug-in that fails; an unreachable
  // domain's), folded.
  std::set<std::wstring> unresolvableDomains = {L"AZUREAD"};

  // ---- impersonation ----
  // The user whose token is on the tool's thread (ImpersonateLoggedOnUser);
  // empty: the tool's own. Opens then check FsNode::owner.
  std::wstring actingAs;

  // ---- privileges, the tool's job, Safer levels ----
  std::vector<std::wstring> enabledPrivileges;
  bool selfTokenOpenable = true;
  // The tool runs inside a job (a deployment agent's), which may let a
  // process started with CREATE_BREAKAWAY_FROM_JOB leave it.
  bool toolInJob = false;
  bool jobAllowsBreakaway = false;
  // Open Safer levels (not yet closed with SaferCloseLevel), by their level.
  std::map<platform::SaferLevel, Dword> saferLevels;
  std::uintptr_t nextSaferLevel = 0x5AFE0;

  // ---- starting a process as a user ----
  // The Secondary Logon service (seclogon), which CreateProcessWithTokenW
  // needs; hardened baselines disable it (its start type then says so).
  bool secondaryLogonRunning = true;
  // Open handles of the service control manager (an empty name) and of
  // services (their names).
  std::map<platform::ScHandle, std::wstring> serviceHandles;
  std::uintptr_t nextServiceHandle = 0x5C000;
  std::vector<CreateProcessWithTokenRecord> createProcessWithToken;
  std::vector<CreateProcessWithTokenRecord> createProcessAsUser;
  std::map<void*, std::wstring> environmentBlocks;  // live blocks from CreateEnvironmentBlock, by account
  std::vector<bool> environmentInherits;            // the inherit argument of every CreateEnvironmentBlock call
};

}  // namespace sim
