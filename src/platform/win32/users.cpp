// The Win32 side of the seam's users section: tokens and privileges,
// environment blocks and starting a process as a user (advapi32, userenv),
// the sessions of this machine (wtsapi32). userenv and wtsapi32 are not
// KnownDLLs: they are loaded from the system folder when first needed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <wtsapi32.h>
#include <ntsecapi.h>
#include <winsafer.h>
// clang-format on

#include <cstddef>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/same_layout.h"
#include "platform/win32/system_library.h"
#include "platform/win32/windows_types.h"

namespace platform {

using win32::H;
using win32::P;
using win32::SystemFunction;

bool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
  const ::win32::CallWatch watch;
  HANDLE t = nullptr;
  if (!::OpenProcessToken(H(process), desiredAccess, &t)) return false;
  *token = P(t);
  return true;
}
bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, Luid* luid) {
  const ::win32::CallWatch watch;
  LUID l{};
  if (!::LookupPrivilegeValueW(systemName, name, &l)) return false;
  luid->lowPart = l.LowPart;
  luid->highPart = l.HighPart;
  return true;
}
bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges, const TokenPrivilege& newState) {
  const ::win32::CallWatch watch;
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid.LowPart = newState.luid.lowPart;
  tp.Privileges[0].Luid.HighPart = newState.luid.highPart;
  tp.Privileges[0].Attributes = newState.attributes;
  return ::AdjustTokenPrivileges(H(token), disableAllPrivileges ? TRUE : FALSE, &tp, 0, nullptr, nullptr) != FALSE;
}
bool DuplicateTokenEx(Handle existingToken, Dword desiredAccess, int impersonationLevel, int tokenType,
                      Handle* newToken) {
  const ::win32::CallWatch watch;
  HANDLE t = nullptr;
  if (!::DuplicateTokenEx(H(existingToken), desiredAccess, nullptr,
                          static_cast<SECURITY_IMPERSONATION_LEVEL>(impersonationLevel),
                          static_cast<TOKEN_TYPE>(tokenType), &t)) {
    return false;
  }
  *newToken = P(t);
  return true;
}
namespace {
STARTUPINFOW StartupInfoOf(const StartupInfo& startupInfo) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = startupInfo.dwFlags;
  si.wShowWindow = startupInfo.wShowWindow;
  si.lpDesktop = const_cast<wchar_t*>(startupInfo.lpDesktop);
  return si;
}
ProcessInformation ProcessInformationOf(const PROCESS_INFORMATION& pi) {
  return {P(pi.hProcess), P(pi.hThread), pi.dwProcessId, pi.dwThreadId};
}
}  // namespace

bool CreateEnvironmentBlock(void** environment, Handle token, bool inherit) {
  const ::win32::CallWatch watch;
  using Function = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
  static const Function create = SystemFunction<Function>(L"userenv.dll", "CreateEnvironmentBlock");
  return create != nullptr && create(environment, H(token), inherit ? TRUE : FALSE) != FALSE;
}
bool DestroyEnvironmentBlock(void* environment) {
  const ::win32::CallWatch watch;
  using Function = BOOL(WINAPI*)(LPVOID);
  static const Function destroy = SystemFunction<Function>(L"userenv.dll", "DestroyEnvironmentBlock");
  return destroy != nullptr && destroy(environment) != FALSE;
}
bool CreateProcessWithTokenW(Handle token, Dword logonFlags, const wchar_t* applicationName, wchar_t* commandLine,
                             Dword creationFlags, void* environment, const wchar_t* currentDirectory,
                             const StartupInfo& startupInfo, ProcessInformation* processInformation) {
  const ::win32::CallWatch watch;
  STARTUPINFOW si = StartupInfoOf(startupInfo);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessWithTokenW(H(token), logonFlags, applicationName, commandLine, creationFlags, environment,
                                 currentDirectory, &si, &pi)) {
    return false;
  }
  *processInformation = ProcessInformationOf(pi);
  return true;
}
bool CreateProcessAsUserW(Handle token, const wchar_t* applicationName, wchar_t* commandLine, Dword creationFlags,
                          void* environment, const wchar_t* currentDirectory, const StartupInfo& startupInfo,
                          ProcessInformation* processInformation) {
  const ::win32::CallWatch watch;
  STARTUPINFOW si = StartupInfoOf(startupInfo);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessAsUserW(H(token), applicationName, commandLine, nullptr, nullptr, /*bInheritHandles=*/FALSE,
                              creationFlags, environment, currentDirectory, &si, &pi)) {
    return false;
  }
  *processInformation = ProcessInformationOf(pi);
  return true;
}

bool WTSEnumerateSessionsW(WtsSessionInfo** sessions, Dword* count) {
  const ::win32::CallWatch watch;
  static_assert(sizeof(WtsSessionInfo) == sizeof(WTS_SESSION_INFOW) &&
                    offsetof(WtsSessionInfo, State) == offsetof(WTS_SESSION_INFOW, State),
                "WTS_SESSION_INFOW");
  static_assert(kWtsActive == WTSActive, "WTSActive");
  using Function = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
  static const Function enumerate = SystemFunction<Function>(L"wtsapi32.dll", "WTSEnumerateSessionsW");
  PWTS_SESSION_INFOW info = nullptr;
  DWORD n = 0;
  if (enumerate == nullptr || !enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &n)) return false;
  *sessions = reinterpret_cast<WtsSessionInfo*>(info);
  *count = n;
  return true;
}
void WTSFreeMemory(void* memory) {
  const ::win32::CallWatch watch;
  using Function = void(WINAPI*)(PVOID);
  static const Function release = SystemFunction<Function>(L"wtsapi32.dll", "WTSFreeMemory");
  if (release != nullptr) release(memory);
}
bool WTSQueryUserToken(Dword sessionId, Handle* token) {
  const ::win32::CallWatch watch;
  using Function = BOOL(WINAPI*)(ULONG, PHANDLE);
  static const Function query = SystemFunction<Function>(L"wtsapi32.dll", "WTSQueryUserToken");
  HANDLE t = nullptr;
  if (query == nullptr || !query(sessionId, &t)) return false;
  *token = P(t);
  return true;
}

bool WTSQuerySessionInformationW(Dword sessionId, int infoClass, wchar_t** buffer, Dword* bytesReturned) {
  const ::win32::CallWatch watch;
  static_assert(kWtsUserName == WTSUserName && kWtsDomainName == WTSDomainName, "WTS_INFO_CLASS");
  using Function = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
  static const Function query = SystemFunction<Function>(L"wtsapi32.dll", "WTSQuerySessionInformationW");
  LPWSTR text = nullptr;
  DWORD bytes = 0;
  if (query == nullptr ||
      !query(WTS_CURRENT_SERVER_HANDLE, sessionId, static_cast<WTS_INFO_CLASS>(infoClass), &text, &bytes)) {
    return false;
  }
  *buffer = text;
  *bytesReturned = bytes;
  return true;
}

bool GetTokenInformation(Handle token, int tokenInformationClass, void* tokenInformation, Dword length,
                         Dword* returnLength) {
  const ::win32::CallWatch watch;
  static_assert(kTokenUser == TokenUser && kTokenElevation == TokenElevation &&
                    kTokenIntegrityLevel == TokenIntegrityLevel && kSeGroupIntegrity == SE_GROUP_INTEGRITY,
                "TOKEN_INFORMATION_CLASS");
  static_assert(sizeof(SidAndAttributes) == sizeof(SID_AND_ATTRIBUTES) &&
                    offsetof(SidAndAttributes, Attributes) == offsetof(SID_AND_ATTRIBUTES, Attributes) &&
                    sizeof(TokenMandatoryLabel) == sizeof(TOKEN_MANDATORY_LABEL),
                "SID_AND_ATTRIBUTES");
  DWORD returned = 0;
  const BOOL ok = ::GetTokenInformation(H(token), static_cast<TOKEN_INFORMATION_CLASS>(tokenInformationClass),
                                        tokenInformation, length, &returned);
  *returnLength = returned;
  return ok != FALSE;
}
bool SetTokenInformation(Handle token, int tokenInformationClass, const void* tokenInformation, Dword length) {
  const ::win32::CallWatch watch;
  return ::SetTokenInformation(H(token), static_cast<TOKEN_INFORMATION_CLASS>(tokenInformationClass),
                               const_cast<void*>(tokenInformation), length) != FALSE;
}
bool EqualSid(void* sid1, void* sid2) {
  const ::win32::CallWatch watch;
  return ::EqualSid(sid1, sid2) != FALSE;
}
bool LookupAccountNameW(const wchar_t* systemName, const wchar_t* accountName, void* sid, Dword* sidBytes,
                        wchar_t* referencedDomainName, Dword* domainCharacters, int* use) {
  const ::win32::CallWatch watch;
  DWORD cbSid = *sidBytes, cchDomain = *domainCharacters;
  SID_NAME_USE nameUse = SidTypeUnknown;
  const BOOL ok =
      ::LookupAccountNameW(systemName, accountName, sid, &cbSid, referencedDomainName, &cchDomain, &nameUse);
  *sidBytes = cbSid;
  *domainCharacters = cchDomain;
  *use = static_cast<int>(nameUse);
  return ok != FALSE;
}

bool SaferCreateLevel(Dword scopeId, Dword levelId, Dword openFlags, SaferLevel* level) {
  const ::win32::CallWatch watch;
  static_assert(kSaferScopeIdUser == SAFER_SCOPEID_USER && kSaferLevelIdNormalUser == SAFER_LEVELID_NORMALUSER &&
                    kSaferLevelOpen == SAFER_LEVEL_OPEN,
                "SAFER values");
  SAFER_LEVEL_HANDLE handle = nullptr;
  if (!::SaferCreateLevel(scopeId, levelId, openFlags, &handle, nullptr)) return false;
  *level = reinterpret_cast<SaferLevel>(handle);
  return true;
}
bool SaferComputeTokenFromLevel(SaferLevel level, Handle inToken, Handle* outToken, Dword flags) {
  const ::win32::CallWatch watch;
  HANDLE t = nullptr;
  if (!::SaferComputeTokenFromLevel(reinterpret_cast<SAFER_LEVEL_HANDLE>(level), H(inToken), &t, flags, nullptr)) {
    return false;
  }
  *outToken = P(t);
  return true;
}
bool SaferCloseLevel(SaferLevel level) {
  const ::win32::CallWatch watch;
  return ::SaferCloseLevel(reinterpret_cast<SAFER_LEVEL_HANDLE>(level)) != FALSE;
}

bool IsProcessInJob(Handle process, Handle job, bool* result) {
  const ::win32::CallWatch watch;
  static_assert(
      kCreateBreakawayFromJob == CREATE_BREAKAWAY_FROM_JOB && kCreateDefaultErrorMode == CREATE_DEFAULT_ERROR_MODE,
      "process creation flags");
  BOOL inJob = FALSE;
  if (!::IsProcessInJob(H(process), H(job), &inJob)) return false;
  *result = inJob != FALSE;
  return true;
}

CM_SAME_SIZE(ServiceConfig, QUERY_SERVICE_CONFIGW);
CM_SAME_FIELD(ServiceConfig, QUERY_SERVICE_CONFIGW, dwStartType, dwStartType);
CM_SAME_FIELD(ServiceConfig, QUERY_SERVICE_CONFIGW, lpDisplayName, lpDisplayName);
static_assert(kScManagerConnect == SC_MANAGER_CONNECT && kServiceQueryConfig == SERVICE_QUERY_CONFIG &&
                  kServiceDisabled == SERVICE_DISABLED,
              "service access rights and start types");

ScHandle OpenSCManagerW(const wchar_t* machineName, const wchar_t* databaseName, Dword desiredAccess) {
  const ::win32::CallWatch watch;
  return reinterpret_cast<ScHandle>(::OpenSCManagerW(machineName, databaseName, desiredAccess));
}
ScHandle OpenServiceW(ScHandle manager, const wchar_t* serviceName, Dword desiredAccess) {
  const ::win32::CallWatch watch;
  return reinterpret_cast<ScHandle>(::OpenServiceW(reinterpret_cast<SC_HANDLE>(manager), serviceName, desiredAccess));
}
bool QueryServiceConfigW(ScHandle service, ServiceConfig* config, Dword bufferBytes, Dword* bytesNeeded) {
  const ::win32::CallWatch watch;
  DWORD needed = 0;
  const BOOL ok = ::QueryServiceConfigW(reinterpret_cast<SC_HANDLE>(service),
                                        reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config), bufferBytes, &needed);
  *bytesNeeded = needed;
  return ok != FALSE;
}
bool CloseServiceHandle(ScHandle handle) {
  const ::win32::CallWatch watch;
  return ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle)) != FALSE;
}

CM_SAME_SIZE(TokenStatistics, TOKEN_STATISTICS);
CM_SAME_FIELD(TokenStatistics, TOKEN_STATISTICS, AuthenticationId, AuthenticationId);
CM_SAME_FIELD(LogonSessionData, SECURITY_LOGON_SESSION_DATA, UserName, UserName);
CM_SAME_FIELD(LogonSessionData, SECURITY_LOGON_SESSION_DATA, LogonDomain, LogonDomain);
CM_SAME_FIELD(LogonSessionData, SECURITY_LOGON_SESSION_DATA, Session, Session);
CM_SAME_FIELD(LogonSessionData, SECURITY_LOGON_SESSION_DATA, Sid, Sid);
static_assert(kTokenStatistics == ::TokenStatistics, "TOKEN_INFORMATION_CLASS");

NtStatus LsaGetLogonSessionData(Luid* logonId, LogonSessionData** data) {
  const ::win32::CallWatch watch;
  using Function = NTSTATUS(NTAPI*)(PLUID, PSECURITY_LOGON_SESSION_DATA*);
  static const Function get = SystemFunction<Function>(L"secur32.dll", "LsaGetLogonSessionData");
  if (get == nullptr) return kStatusNotImplemented;
  LUID id{logonId->lowPart, logonId->highPart};
  PSECURITY_LOGON_SESSION_DATA found = nullptr;
  const NTSTATUS status = get(&id, &found);
  *data = reinterpret_cast<LogonSessionData*>(found);
  return status;
}
NtStatus LsaFreeReturnBuffer(void* buffer) {
  const ::win32::CallWatch watch;
  using Function = NTSTATUS(NTAPI*)(PVOID);
  static const Function free = SystemFunction<Function>(L"secur32.dll", "LsaFreeReturnBuffer");
  return free != nullptr ? free(buffer) : kStatusNotImplemented;
}

bool ImpersonateLoggedOnUser(Handle token) {
  const ::win32::CallWatch watch;
  return ::ImpersonateLoggedOnUser(H(token)) != FALSE;
}
bool RevertToSelf() {
  const ::win32::CallWatch watch;
  return ::RevertToSelf() != FALSE;
}

}  // namespace platform
