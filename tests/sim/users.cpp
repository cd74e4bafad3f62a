// The simulated machine's users: tokens and privileges, accounts and their
// security identifiers, Safer levels, the tool's job, and the sessions with
// their users (users.h), with the same result codes and last-error values as
// the real calls. Starting a process with a user's token is in
// start_as_user.cpp.
#include "sim/users.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"
#include "sim/tokens.h"

namespace sim {

std::vector<unsigned char> AccountSid(const std::wstring& account) {
  std::wstring name = Fold(account);
  const std::size_t slash = name.rfind(L'\\');
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  std::vector<Dword> parts;  // the sub-authorities, under SECURITY_NT_AUTHORITY
  if (name == L"SYSTEM") {
    parts = {18};
  } else if (name == L"LOCAL SERVICE") {
    parts = {19};
  } else if (name == L"NETWORK SERVICE") {
    parts = {20};
  } else {
    // This computer's domain, and a relative identifier of the account's
    // own (a hash of its name: stable from run to run).
    Dword hash = 2166136261u;
    for (const wchar_t ch : name) hash = (hash ^ static_cast<Dword>(ch)) * 16777619u;
    parts = {21, 1004336348, 1177238915, 682003330, 1000 + hash % 0x7FFF0000u};
  }
  std::vector<unsigned char> sid = {1, static_cast<unsigned char>(parts.size()), 0, 0, 0, 0, 0, 5};
  for (const Dword part : parts) {
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<unsigned char>(part >> shift));
  }
  return sid;
}

HandleEntry* TokenEntry(Machine& m, platform::Handle h, Dword needed) {
  HandleEntry* e = m.Lookup(h);
  if (e == nullptr || e->kind != HandleKind::kToken) {
    m.lastError = platform::kErrorInvalidHandle;
    return nullptr;
  }
  if ((e->access & needed) != needed) {
    m.lastError = platform::kErrorAccessDenied;
    return nullptr;
  }
  return e;
}

bool IsSystem(Machine& m) { return Fold(m.processes.Self().user) == L"SYSTEM"; }

}  // namespace sim

namespace platform {

using sim::HandleEntry;
using sim::HandleKind;
using sim::IsPseudoProcess;
using sim::IsSystem;
using sim::Machine;
using sim::TokenEntry;

namespace {

// A SID's length from its header, 0 when it is not a well-formed SID.
std::size_t SidLength(const void* sid) {
  const auto* bytes = static_cast<const unsigned char*>(sid);
  if (bytes == nullptr || bytes[0] != 1 || bytes[1] > 15) return 0;  // SID_REVISION, SID_MAX_SUB_AUTHORITIES
  return 8 + 4 * std::size_t{bytes[1]};
}

// An account this machine knows: the well-known service accounts, and
// everybody who is signed in or runs a process.
bool KnownAccount(Machine& m, const std::wstring& name) {
  const std::wstring folded = sim::Fold(name);
  if (folded == L"SYSTEM" || folded == L"LOCAL SERVICE" || folded == L"NETWORK SERVICE") return true;
  for (const auto& s : m.users.sessions) {
    if (!s.user.empty() && sim::Fold(s.user) == folded) return true;
  }
  for (const auto& p : m.processes.list) {
    if (sim::Fold(p.user) == folded) return true;
  }
  return false;
}

}  // namespace

// ---------------- tokens ----------------

bool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
  Call c("OpenProcessToken");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  Dword pid;
  if (IsPseudoProcess(process)) {
    pid = sim::Processes::kSelfPid;
    if (!c.m.users.selfTokenOpenable) return c.Fail(kErrorAccessDenied);
  } else {
    HandleEntry* e = c.m.Lookup(process);
    if (e == nullptr || e->kind != HandleKind::kProcess) return c.Fail(kErrorInvalidHandle);
    if ((e->access & (kProcessQueryInformation | kProcessQueryLimitedInformation)) == 0) {
      return c.Fail(kErrorAccessDenied);
    }
    pid = e->pid;
  }
  sim::Process* p = c.m.processes.FindProcess(pid);
  if (p == nullptr) return c.Fail(kErrorInvalidParameter);
  if ((desiredAccess & p->tokenDeniedAccess) != 0) return c.Fail(kErrorAccessDenied);
  HandleEntry t(HandleKind::kToken);
  t.access = desiredAccess;
  t.pid = pid;
  t.tokenUser = p->user;
  t.tokenSession = p->session;
  t.primaryToken = true;  // a process's own token is a primary token
  t.tokenElevated = p->elevated;
  t.tokenIntegrity = p->integrity;
  t.tokenOwn = pid == sim::Processes::kSelfPid;
  *token = c.m.NewHandle(std::move(t));
  return true;
}

bool LookupPrivilegeValueW(const wchar_t* /*systemName*/, const wchar_t* name, Luid* luid) {
  Call c("LookupPrivilegeValueW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  static const struct {
    const wchar_t* name;
    Dword value;
  } kKnown[] = {{L"SeShutdownPrivilege", 19}, {L"SeDebugPrivilege", 20}, {L"SeBackupPrivilege", 17}};
  for (const auto& k : kKnown) {
    if (sim::Fold(k.name) == sim::Fold(name)) {
      luid->lowPart = k.value;
      luid->highPart = 0;
      return true;
    }
  }
  return c.Fail(1313);  // ERROR_NO_SUCH_PRIVILEGE
}

bool AdjustTokenPrivileges(Handle token, bool /*disableAllPrivileges*/, const TokenPrivilege& newState) {
  Call c("AdjustTokenPrivileges");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  if (TokenEntry(c.m, token, kTokenAdjustPrivileges) == nullptr) return false;
  if (newState.attributes & kSePrivilegeEnabled) {
    c.m.users.enabledPrivileges.push_back(newState.luid.lowPart == 20 ? L"SeDebugPrivilege"
                                                                      : L"#" + std::to_wstring(newState.luid.lowPart));
  }
  c.m.lastError = 0;
  return true;
}

bool DuplicateTokenEx(Handle existingToken, Dword desiredAccess, int /*impersonationLevel*/, int tokenType,
                      Handle* newToken) {
  Call c("DuplicateTokenEx");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = TokenEntry(c.m, existingToken, kTokenDuplicate);
  if (e == nullptr) return false;
  HandleEntry t(HandleKind::kToken);
  t.access = desiredAccess == 0 ? e->access : desiredAccess;
  t.pid = e->pid;
  t.tokenUser = e->tokenUser;
  t.tokenSession = e->tokenSession;
  t.primaryToken = tokenType == kTokenPrimary;
  t.tokenElevated = e->tokenElevated;
  t.tokenIntegrity = e->tokenIntegrity;
  t.tokenOwn = e->tokenOwn;
  t.tokenRestrictedFromOwn = e->tokenRestrictedFromOwn;
  *newToken = c.m.NewHandle(std::move(t));
  return true;
}

bool GetTokenInformation(Handle token, int tokenInformationClass, void* tokenInformation, Dword length,
                         Dword* returnLength) {
  Call c("GetTokenInformation");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  const HandleEntry* e = TokenEntry(c.m, token, kTokenQuery);
  if (e == nullptr) return false;
  // Too small a buffer: the size needed, and ERROR_INSUFFICIENT_BUFFER.
  if (tokenInformationClass == kTokenUser) {
    // TOKEN_USER: a SID_AND_ATTRIBUTES whose SID follows it in the buffer.
    const std::vector<unsigned char> sid = sim::AccountSid(e->tokenUser);
    const Dword needed = static_cast<Dword>(sizeof(SidAndAttributes) + sid.size());
    *returnLength = needed;
    if (tokenInformation == nullptr || length < needed) return c.Fail(kErrorInsufficientBuffer);
    auto* out = static_cast<unsigned char*>(tokenInformation);
    std::memcpy(out + sizeof(SidAndAttributes), sid.data(), sid.size());
    const SidAndAttributes user{out + sizeof(SidAndAttributes), 0};
    std::memcpy(out, &user, sizeof(user));
    return true;
  }
  if (tokenInformationClass == kTokenStatistics) {
    // Only the logon session's identifier is modelled; a token of the same
    // user in the same session is of the same logon.
    auto& logons = c.m.users.logons;
    std::size_t index = 0;
    while (index < logons.size() &&
           !(sim::Fold(logons[index].user) == sim::Fold(e->tokenUser) && logons[index].session == e->tokenSession)) {
      ++index;
    }
    if (index == logons.size()) logons.push_back({e->tokenUser, e->tokenSession});
    TokenStatistics statistics{};
    statistics.AuthenticationId.lowPart = static_cast<Dword>(0x10000 + index);
    statistics.TokenType = e->primaryToken ? kTokenPrimary : 2;
    *returnLength = sizeof(statistics);
    if (tokenInformation == nullptr || length < sizeof(statistics)) return c.Fail(kErrorInsufficientBuffer);
    std::memcpy(tokenInformation, &statistics, sizeof(statistics));
    return true;
  }
  if (tokenInformationClass == kTokenElevation) {
    const Dword elevated = e->tokenElevated ? 1 : 0;  // TOKEN_ELEVATION
    *returnLength = sizeof(elevated);
    if (tokenInformation == nullptr || length < sizeof(elevated)) return c.Fail(kErrorInsufficientBuffer);
    std::memcpy(tokenInformation, &elevated, sizeof(elevated));
    return true;
  }
  return c.Fail(kErrorInvalidParameter);  // a class the tool never reads: not modelled
}

bool SetTokenInformation(Handle token, int tokenInformationClass, const void* tokenInformation, Dword length) {
  Call c("SetTokenInformation");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = TokenEntry(c.m, token, kTokenAdjustDefault);
  if (e == nullptr) return false;
  if (tokenInformationClass != kTokenIntegrityLevel) return c.Fail(kErrorInvalidParameter);  // not modelled
  if (tokenInformation == nullptr || length < sizeof(TokenMandatoryLabel)) return c.Fail(kErrorBadLength);
  TokenMandatoryLabel label;
  std::memcpy(&label, tokenInformation, sizeof(label));
  // A mandatory label: S-1-16-<level>, flagged SE_GROUP_INTEGRITY.
  const auto* sid = static_cast<const unsigned char*>(label.Label.Sid);
  static const unsigned char kLabelAuthority[6] = {0, 0, 0, 0, 0, 16};
  if (SidLength(sid) != 12 || std::memcmp(sid + 2, kLabelAuthority, 6) != 0 ||
      (label.Label.Attributes & kSeGroupIntegrity) == 0) {
    return c.Fail(kErrorInvalidParameter);
  }
  const Dword level = Dword{sid[8]} | Dword{sid[9]} << 8 | Dword{sid[10]} << 16 | Dword{sid[11]} << 24;
  // Windows Integrity Mechanism: any caller may lower a token's level;
  // raising it takes SeTcbPrivilege, which only SYSTEM holds. (Here a token
  // is its handle: another handle to the same token keeps its level.)
  if (level > e->tokenIntegrity && !IsSystem(c.m)) return c.Fail(kErrorPrivilegeNotHeld);
  e->tokenIntegrity = level;
  return true;
}

bool EqualSid(void* sid1, void* sid2) {
  Call c("EqualSid");
  const std::size_t n = SidLength(sid1);
  if (n == 0 || SidLength(sid2) == 0) return c.Fail(kErrorInvalidSid);
  c.m.lastError = 0;  // unequal SIDs are no error
  return n == SidLength(sid2) && std::memcmp(sid1, sid2, n) == 0;
}

bool LookupAccountNameW(const wchar_t* /*systemName*/, const wchar_t* accountName, void* sid, Dword* sidBytes,
                        wchar_t* referencedDomainName, Dword* domainCharacters, int* use) {
  Call c("LookupAccountNameW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // This computer only; "DOMAIN\\user" or "user".
  const std::wstring name = accountName != nullptr ? accountName : L"";
  const std::size_t slash = name.rfind(L'\\');
  const std::wstring user = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (user.empty() || !KnownAccount(c.m, user)) return c.Fail(kErrorNoneMapped);
  if (slash != std::wstring::npos && c.m.users.unresolvableDomains.count(sim::Fold(name.substr(0, slash))) != 0) {
    return c.Fail(kErrorNoneMapped);
  }
  const std::vector<unsigned char> found = sim::AccountSid(user);
  const bool wellKnown = found.size() == 12;  // S-1-5-18, -19, -20
  const std::wstring domain = wellKnown                     ? L"NT AUTHORITY"
                              : slash == std::wstring::npos ? L"WORKSTATION"
                                                            : name.substr(0, slash);
  // Either buffer too small: both sizes needed (the domain's with its
  // terminator), and ERROR_INSUFFICIENT_BUFFER.
  if (sid == nullptr || *sidBytes < found.size() || referencedDomainName == nullptr ||
      *domainCharacters < domain.size() + 1) {
    *sidBytes = static_cast<Dword>(found.size());
    *domainCharacters = static_cast<Dword>(domain.size() + 1);
    return c.Fail(kErrorInsufficientBuffer);
  }
  std::memcpy(sid, found.data(), found.size());
  std::copy(domain.begin(), domain.end(), referencedDomainName);
  referencedDomainName[domain.size()] = L'\0';
  *sidBytes = static_cast<Dword>(found.size());
  *domainCharacters = static_cast<Dword>(domain.size());  // without the terminator
  *use = wellKnown ? kSidTypeWellKnownGroup : kSidTypeUser;
  return true;
}

// ---------------- Safer levels ----------------

bool SaferCreateLevel(Dword scopeId, Dword levelId, Dword openFlags, SaferLevel* level) {
  Call c("SaferCreateLevel");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // SAFER_SCOPEID_MACHINE or _USER; one of the five SAFER_LEVELID_ values;
  // SAFER_LEVEL_OPEN.
  const bool knownLevel = levelId == 0 || levelId == 0x1000 || levelId == 0x10000 ||
                          levelId == kSaferLevelIdNormalUser || levelId == 0x40000;
  if ((scopeId != 1 && scopeId != kSaferScopeIdUser) || !knownLevel || openFlags != kSaferLevelOpen) {
    return c.Fail(kErrorInvalidParameter);
  }
  const auto handle = reinterpret_cast<SaferLevel>(c.m.users.nextSaferLevel);
  c.m.users.nextSaferLevel += 4;
  c.m.users.saferLevels[handle] = levelId;
  *level = handle;
  return true;
}

bool SaferComputeTokenFromLevel(SaferLevel level, Handle inToken, Handle* outToken, Dword /*flags*/) {
  Call c("SaferComputeTokenFromLevel");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  auto found = c.m.users.saferLevels.find(level);
  if (found == c.m.users.saferLevels.end()) return c.Fail(kErrorInvalidHandle);
  HandleEntry t(HandleKind::kToken);
  if (inToken == nullptr) {
    // The caller's own token.
    if (!c.m.users.selfTokenOpenable) return c.Fail(kErrorAccessDenied);
    const sim::Process& self = c.m.processes.Self();
    t.pid = self.pid;
    t.tokenUser = self.user;
    t.tokenSession = self.session;
    t.tokenElevated = self.elevated;
    t.tokenIntegrity = self.integrity;
    t.tokenRestrictedFromOwn = true;
  } else {
    const HandleEntry* e = TokenEntry(c.m, inToken, kTokenQuery | kTokenDuplicate);
    if (e == nullptr) return false;
    t.pid = e->pid;
    t.tokenUser = e->tokenUser;
    t.tokenSession = e->tokenSession;
    t.tokenElevated = e->tokenElevated;
    t.tokenIntegrity = e->tokenIntegrity;
    t.tokenRestrictedFromOwn = e->tokenOwn || e->tokenRestrictedFromOwn;
  }
  // Below SAFER_LEVELID_FULLYTRUSTED the administrators group is deny-only
  // and every privilege but SeChangeNotifyPrivilege is gone: the token is
  // no longer elevated. Its mandatory level stays as it was.
  if (found->second < 0x40000) t.tokenElevated = false;
  t.access = kTokenAllAccess;
  t.primaryToken = true;
  *outToken = c.m.NewHandle(std::move(t));
  return true;
}

bool SaferCloseLevel(SaferLevel level) {
  Call c("SaferCloseLevel");
  if (c.m.users.saferLevels.erase(level) == 0) return c.Fail(kErrorInvalidHandle);
  return true;
}

bool IsProcessInJob(Handle process, Handle job, bool* result) {
  Call c("IsProcessInJob");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  if (job != nullptr) return c.Fail(kErrorInvalidParameter);  // only "any job" is modelled
  if (IsPseudoProcess(process)) {
    *result = c.m.users.toolInJob;
    return true;
  }
  const HandleEntry* e = c.m.Lookup(process);
  if (e == nullptr || e->kind != HandleKind::kProcess) return c.Fail(kErrorInvalidHandle);
  if ((e->access & (kProcessQueryInformation | kProcessQueryLimitedInformation)) == 0) {
    return c.Fail(kErrorAccessDenied);
  }
  *result = false;  // only the tool's own process is ever in a job here
  return true;
}

// ---------------- sessions ----------------

bool WTSEnumerateSessionsW(WtsSessionInfo** sessions, Dword* count) {
  Call c("WTSEnumerateSessionsW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // One allocation, the station names after the array, as the real call does.
  const std::size_t n = c.m.users.sessions.size();
  auto* list = static_cast<WtsSessionInfo*>(std::calloc(n + 1, sizeof(WtsSessionInfo) + 16 * sizeof(wchar_t)));
  auto* names = reinterpret_cast<wchar_t*>(list + n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    const sim::Session& s = c.m.users.sessions[i];
    list[i].SessionId = s.id;
    list[i].State = s.state;
    list[i].pWinStationName = names + i * 16;
    const std::wstring station = s.id == 0 ? L"Services" : s.id == 1 ? L"Console" : L"RDP-Tcp#" + std::to_wstring(s.id);
    std::wcsncpy(list[i].pWinStationName, station.c_str(), 15);
  }
  c.m.users.wtsAllocations.insert(list);
  *sessions = list;
  *count = static_cast<Dword>(n);
  return true;
}

void WTSFreeMemory(void* memory) {
  Call c("WTSFreeMemory");
  if (c.m.users.wtsAllocations.erase(memory) == 1) std::free(memory);
}

bool WTSQuerySessionInformationW(Dword sessionId, int infoClass, wchar_t** buffer, Dword* bytesReturned) {
  Call c("WTSQuerySessionInformationW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  if (infoClass != kWtsUserName && infoClass != kWtsDomainName) return c.Fail(kErrorInvalidParameter);  // not modelled
  for (const auto& s : c.m.users.sessions) {
    if (s.id != sessionId) continue;
    // An empty string where nobody is signed in (session 0 among them).
    const std::wstring text = infoClass == kWtsUserName ? s.user : s.user.empty() ? L"" : s.domain;
    auto* copy = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    std::copy(text.begin(), text.end(), copy);
    c.m.users.wtsAllocations.insert(copy);
    *buffer = copy;
    *bytesReturned = static_cast<Dword>((text.size() + 1) * sizeof(wchar_t));
    return true;
  }
  return c.Fail(kErrorCtxWinstationNotFound);
}

bool WTSQueryUserToken(Dword sessionId, Handle* token) {
  Call c("WTSQueryUserToken");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Only LocalSystem holds SE_TCB_NAME.
  if (sim::Fold(c.m.processes.Self().user) != L"SYSTEM") return c.Fail(kErrorPrivilegeNotHeld);
  for (const auto& s : c.m.users.sessions) {
    if (s.id != sessionId) continue;
    if (s.user.empty()) return c.Fail(kErrorNoToken);
    if (s.tokenError != 0) return c.Fail(s.tokenError);
    HandleEntry t(HandleKind::kToken);
    t.access = kTokenAllAccess;
    t.tokenUser = s.user;
    t.tokenSession = s.id;
    t.primaryToken = true;
    // The signed-in user's own token: an administrator's is the filtered one.
    t.tokenElevated = false;
    t.tokenIntegrity = kSecurityMandatoryMediumRid;
    *token = c.m.NewHandle(std::move(t));
    return true;
  }
  return c.Fail(kErrorCtxWinstationNotFound);
}

// ---------------- the service control manager ----------------
// Only the Secondary Logon service's start type is modelled: on demand
// while it may run, disabled where a hardened baseline turned it off.

ScHandle OpenSCManagerW(const wchar_t* machineName, const wchar_t* databaseName, Dword desiredAccess) {
  Call c("OpenSCManagerW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code), nullptr;
  if (machineName != nullptr || databaseName != nullptr || desiredAccess != kScManagerConnect) {
    return c.Fail(kErrorInvalidParameter), nullptr;  // not modelled
  }
  auto* handle = reinterpret_cast<ScHandle>(c.m.users.nextServiceHandle += 8);
  c.m.users.serviceHandles[handle] = L"";
  return handle;
}

ScHandle OpenServiceW(ScHandle manager, const wchar_t* serviceName, Dword desiredAccess) {
  Call c("OpenServiceW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code), nullptr;
  const auto found = c.m.users.serviceHandles.find(manager);
  if (found == c.m.users.serviceHandles.end() || !found->second.empty()) return c.Fail(kErrorInvalidHandle), nullptr;
  if (serviceName == nullptr || sim::Fold(serviceName) != L"SECLOGON")
    return c.Fail(kErrorServiceDoesNotExist), nullptr;
  if (desiredAccess != kServiceQueryConfig) return c.Fail(kErrorInvalidParameter), nullptr;  // not modelled
  auto* handle = reinterpret_cast<ScHandle>(c.m.users.nextServiceHandle += 8);
  c.m.users.serviceHandles[handle] = L"seclogon";
  return handle;
}

bool QueryServiceConfigW(ScHandle service, ServiceConfig* config, Dword bufferBytes, Dword* bytesNeeded) {
  Call c("QueryServiceConfigW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  const auto found = c.m.users.serviceHandles.find(service);
  if (found == c.m.users.serviceHandles.end() || found->second.empty()) return c.Fail(kErrorInvalidHandle);
  // The structure and its strings (here only an empty display name).
  const Dword needed = static_cast<Dword>(sizeof(ServiceConfig) + sizeof(wchar_t));
  *bytesNeeded = needed;
  if (config == nullptr || bufferBytes < needed) return c.Fail(kErrorInsufficientBuffer);
  auto* text = reinterpret_cast<wchar_t*>(config + 1);
  *text = L'\0';
  *config = ServiceConfig{/*own process*/ 0x20,
                          c.m.users.secondaryLogonRunning ? 3u : kServiceDisabled,
                          1,
                          text,
                          text,
                          0,
                          text,
                          text,
                          text};
  return true;
}

bool CloseServiceHandle(ScHandle handle) {
  Call c("CloseServiceHandle");
  if (c.m.users.serviceHandles.erase(handle) == 0) return c.Fail(kErrorInvalidHandle);
  return true;
}

// ---------------- logon sessions ----------------

NtStatus LsaGetLogonSessionData(Luid* logonId, LogonSessionData** data) {
  Call c("LsaGetLogonSessionData");
  Dword code;
  if (c.Injected(&code)) return static_cast<NtStatus>(code);
  *data = nullptr;
  const std::size_t index = logonId->lowPart - 0x10000u;
  if (c.m.users.logonSessionsRecorded &&
      (logonId->highPart != 0 || logonId->lowPart < 0x10000u || index >= c.m.users.logons.size())) {
    return static_cast<NtStatus>(0xC000005Fu);  // STATUS_NO_SUCH_LOGON_SESSION
  }
  const sim::Users::Logon logon = c.m.users.logonSessionsRecorded ? c.m.users.logons[index] : sim::Users::Logon{L"", 0};
  // Another's logon only for an administrator or SYSTEM.
  const sim::Process& self = c.m.processes.Self();
  if (c.m.users.logonSessionsRecorded && !self.elevated && !IsSystem(c.m) &&
      sim::Fold(self.user) != sim::Fold(logon.user)) {
    return static_cast<NtStatus>(0xC0000022u);  // STATUS_ACCESS_DENIED
  }
  // The domain: the session's for the user signed in at it, the computer's
  // for any other account, NT AUTHORITY for SYSTEM.
  std::wstring domain = logon.user.empty()                   ? L""
                        : sim::Fold(logon.user) == L"SYSTEM" ? L"NT AUTHORITY"
                                                             : L"WORKSTATION";
  for (const auto& s : c.m.users.sessions) {
    if (!logon.user.empty() && s.id == logon.session && sim::Fold(s.user) == sim::Fold(logon.user) &&
        !s.domain.empty()) {
      domain = s.domain;
    }
  }
  // One allocation: the record, then its strings and the SID.
  const std::vector<unsigned char> sid = sim::AccountSid(logon.user);
  const std::size_t bytes =
      sizeof(LogonSessionData) + (logon.user.size() + domain.size() + 2) * sizeof(wchar_t) + sid.size();
  auto* record = static_cast<LogonSessionData*>(std::calloc(1, bytes));
  auto* text = reinterpret_cast<wchar_t*>(record + 1);
  auto put = [&text](UnicodeString* out, const std::wstring& value) {
    std::copy(value.begin(), value.end(), text);
    *out = {static_cast<std::uint16_t>(value.size() * sizeof(wchar_t)),
            static_cast<std::uint16_t>((value.size() + 1) * sizeof(wchar_t)), text};
    text += value.size() + 1;
  };
  record->Size = sizeof(LogonSessionData);
  record->LogonId = *logonId;
  put(&record->UserName, logon.user);
  put(&record->LogonDomain, domain);
  record->LogonType = 2;  // Interactive
  record->Session = logon.session;
  record->Sid = text;
  std::memcpy(text, sid.data(), sid.size());
  c.m.users.lsaAllocations.insert(record);
  *data = record;
  return kStatusSuccess;
}

NtStatus LsaFreeReturnBuffer(void* buffer) {
  Call c("LsaFreeReturnBuffer");
  if (c.m.users.lsaAllocations.erase(buffer) == 0) return kStatusInvalidParameter;
  std::free(buffer);
  return kStatusSuccess;
}

// ---------------- impersonation ----------------

bool ImpersonateLoggedOnUser(Handle token) {
  Call c("ImpersonateLoggedOnUser");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = c.m.Lookup(token);
  if (e == nullptr || e->kind != HandleKind::kToken) return c.Fail(kErrorInvalidHandle);
  if (TokenEntry(c.m, token, kTokenQuery | (e->primaryToken ? kTokenDuplicate : kTokenImpersonate)) == nullptr) {
    return false;
  }
  c.m.users.actingAs = e->tokenUser;
  return true;
}

bool RevertToSelf() {
  Call c("RevertToSelf");
  c.m.users.actingAs.clear();
  return true;
}

}  // namespace platform
