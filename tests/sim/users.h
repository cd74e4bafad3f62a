// The simulated machine's users: the sessions and who is signed in at each,
// the tool's own privileges, environment blocks, and the processes started
// with a user's token. The calls are in users.cpp.
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
};

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
  // CreateProcessAsUserW only: the token's session and the desktop asked for.
  Dword session = 0;
  std::wstring desktop;
};

struct Users {
  // ---- sessions (WTSEnumerateSessionsW order) ----
  std::vector<Session> sessions;
  std::set<void*> wtsAllocations;  // session lists not yet freed with WTSFreeMemory

  // ---- privileges ----
  std::vector<std::wstring> enabledPrivileges;
  bool selfTokenOpenable = true;

  // ---- starting a process as a user ----
  std::vector<CreateProcessWithTokenRecord> createProcessWithToken;
  std::vector<CreateProcessWithTokenRecord> createProcessAsUser;
  std::map<void*, std::wstring> environmentBlocks;  // live blocks from CreateEnvironmentBlock, by account
  std::vector<bool> environmentInherits;  // the inherit argument of every CreateEnvironmentBlock call
};

}  // namespace sim
