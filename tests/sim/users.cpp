// The simulated machine's users: tokens and privileges, environment blocks,
// starting a process with a user's token, and the sessions with their
// users' tokens (users.h), with the same result codes and last-error values
// as the real calls.
#include "sim/users.h"

#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"

namespace platform {

using sim::FsNode;
using sim::HandleEntry;
using sim::HandleKind;
using sim::IsPseudoProcess;
using sim::Machine;

namespace {

HandleEntry* TokenEntry(Machine& m, Handle h, Dword needed) {
  HandleEntry* e = m.Lookup(h);
  if (e == nullptr || e->kind != HandleKind::kToken) {
    m.lastError = kErrorInvalidHandle;
    return nullptr;
  }
  if ((e->access & needed) != needed) {
    m.lastError = kErrorAccessDenied;
    return nullptr;
  }
  return e;
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
  *newToken = c.m.NewHandle(std::move(t));
  return true;
}

// ---------------- starting a process as a user ----------------

bool CreateEnvironmentBlock(void** environment, Handle token, bool inherit) {
  Call c("CreateEnvironmentBlock");
  c.m.users.environmentInherits.push_back(inherit);
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  std::wstring user = L"";
  if (token != nullptr) {
    HandleEntry* e = TokenEntry(c.m, token, kTokenQuery | kTokenDuplicate | kTokenImpersonate);
    if (e == nullptr) return false;
    user = e->tokenUser;
  }
  void* block = std::malloc(16);
  c.m.users.environmentBlocks[block] = user;
  *environment = block;
  return true;
}

bool DestroyEnvironmentBlock(void* environment) {
  Call c("DestroyEnvironmentBlock");
  auto it = c.m.users.environmentBlocks.find(environment);
  if (it == c.m.users.environmentBlocks.end()) return c.Fail(kErrorInvalidParameter);
  c.m.users.environmentBlocks.erase(it);
  std::free(environment);
  return true;
}

bool CreateProcessWithTokenW(Handle token, Dword logonFlags, const wchar_t* applicationName, wchar_t* commandLine,
                             Dword creationFlags, void* environment, const wchar_t* currentDirectory,
                             const StartupInfo& startupInfo, ProcessInformation* processInformation) {
  Call c("CreateProcessWithTokenW");
  sim::CreateProcessWithTokenRecord r{};
  r.logonFlags = logonFlags;
  r.applicationName = applicationName ? applicationName : L"";
  r.commandLine = commandLine ? commandLine : L"";
  r.creationFlags = creationFlags;
  r.environmentPassed = environment != nullptr;
  if (environment != nullptr) {
    auto it = c.m.users.environmentBlocks.find(environment);
    r.environmentUser = it == c.m.users.environmentBlocks.end() ? L"?" : it->second;
  }
  r.currentDirectory = currentDirectory ? currentDirectory : L"(null)";
  r.startupFlags = startupInfo.dwFlags;
  r.showWindow = startupInfo.wShowWindow;
  HandleEntry* e = c.m.Lookup(token);
  if (e != nullptr && e->kind == HandleKind::kToken) {
    r.tokenUser = e->tokenUser;
    r.tokenPrimary = e->primaryToken;
  }
  auto finish = [&](bool ok, Dword error) {
    r.succeeded = ok;
    c.m.users.createProcessWithToken.push_back(r);
    if (!ok) c.m.lastError = error;
    return ok;
  };
  Dword code;
  if (c.Injected(&code)) return finish(false, code);
  if (TokenEntry(c.m, token, kTokenQuery | kTokenDuplicate | kTokenAssignPrimary) == nullptr) {
    return finish(false, c.m.lastError);
  }
  if (!e->primaryToken) return finish(false, 1309);  // ERROR_NO_IMPERSONATION_TOKEN-like: needs a primary token
  // A Unicode environment block without the flag is read as ANSI: refused.
  if (environment != nullptr && (creationFlags & kCreateUnicodeEnvironment) == 0) {
    return finish(false, kErrorInvalidParameter);
  }
  const std::wstring image = r.applicationName;
  if (!c.m.files.IsExistingFile(image)) return finish(false, kErrorFileNotFound);
  if (currentDirectory != nullptr) {
    Dword error = 0;
    FsNode* folder = c.m.files.Resolve(currentDirectory, true, &error);
    if (folder == nullptr || !folder->isDirectory) return finish(false, kErrorDirectory);
  }
  sim::Process* source = c.m.processes.FindProcess(e->pid);
  const Dword pid =
      c.m.processes.StartProcess(image, source ? source->session : c.m.processes.Self().session, e->tokenUser);
  r.pid = pid;
  HandleEntry ph(HandleKind::kProcess);
  ph.access = 0x1FFFFF;
  ph.pid = pid;
  ph.processCreationTime = c.m.processes.FindProcess(pid)->creationTime;
  HandleEntry th(HandleKind::kThread);
  th.access = 0x1FFFFF;
  th.pid = pid;
  processInformation->hProcess = c.m.NewHandle(std::move(ph));
  processInformation->hThread = c.m.NewHandle(std::move(th));
  processInformation->dwProcessId = pid;
  processInformation->dwThreadId = pid + 1;
  return finish(true, 0);
}

bool CreateProcessAsUserW(Handle token, const wchar_t* applicationName, wchar_t* commandLine, Dword creationFlags,
                          void* environment, const wchar_t* currentDirectory, const StartupInfo& startupInfo,
                          ProcessInformation* processInformation) {
  Call c("CreateProcessAsUserW");
  sim::CreateProcessWithTokenRecord r{};
  r.applicationName = applicationName ? applicationName : L"";
  r.commandLine = commandLine ? commandLine : L"";
  r.creationFlags = creationFlags;
  r.environmentPassed = environment != nullptr;
  if (environment != nullptr) {
    auto it = c.m.users.environmentBlocks.find(environment);
    r.environmentUser = it == c.m.users.environmentBlocks.end() ? L"?" : it->second;
  }
  r.currentDirectory = currentDirectory ? currentDirectory : L"(null)";
  r.startupFlags = startupInfo.dwFlags;
  r.showWindow = startupInfo.wShowWindow;
  r.desktop = startupInfo.lpDesktop ? startupInfo.lpDesktop : L"(null)";
  HandleEntry* e = c.m.Lookup(token);
  if (e != nullptr && e->kind == HandleKind::kToken) {
    r.tokenUser = e->tokenUser;
    r.tokenPrimary = e->primaryToken;
    r.session = e->tokenSession;
  }
  auto finish = [&](bool ok, Dword error) {
    r.succeeded = ok;
    c.m.users.createProcessAsUser.push_back(r);
    if (!ok) c.m.lastError = error;
    return ok;
  };
  Dword code;
  if (c.Injected(&code)) return finish(false, code);
  if (TokenEntry(c.m, token, kTokenQuery | kTokenDuplicate | kTokenAssignPrimary) == nullptr) {
    return finish(false, c.m.lastError);
  }
  if (!e->primaryToken) return finish(false, 1309);
  // Another account's token needs SeAssignPrimaryTokenPrivilege, which SYSTEM holds.
  if (e->tokenUser != c.m.processes.Self().user && sim::Fold(c.m.processes.Self().user) != L"SYSTEM") {
    return finish(false, kErrorPrivilegeNotHeld);
  }
  if (environment != nullptr && (creationFlags & kCreateUnicodeEnvironment) == 0) {
    return finish(false, kErrorInvalidParameter);
  }
  if (!c.m.files.IsExistingFile(r.applicationName)) return finish(false, kErrorFileNotFound);
  if (currentDirectory != nullptr) {
    Dword error = 0;
    FsNode* folder = c.m.files.Resolve(currentDirectory, true, &error);
    if (folder == nullptr || !folder->isDirectory) return finish(false, kErrorDirectory);
  }
  const Dword pid = c.m.processes.StartProcess(r.applicationName, e->tokenSession, e->tokenUser);
  r.pid = pid;
  sim::Process& started = *c.m.processes.FindProcess(pid);
  for (const auto& s : c.m.users.sessions) {
    if (s.id != e->tokenSession || s.startedRunMs == 0) continue;
    Machine* pm = &c.m;
    const platform::FileTime created = started.creationTime;
    c.m.clock.At(c.m.clock.now + s.startedRunMs, [pm, pid, created] {
      sim::Process* p = pm->processes.FindProcess(pid);
      if (p != nullptr && p->alive && p->creationTime == created) pm->EndProcess(*p, 0);
    });
  }
  HandleEntry ph(HandleKind::kProcess);
  ph.access = 0x1FFFFF;
  ph.pid = pid;
  ph.processCreationTime = started.creationTime;
  HandleEntry th(HandleKind::kThread);
  th.access = 0x1FFFFF;
  th.pid = pid;
  processInformation->hProcess = c.m.NewHandle(std::move(ph));
  processInformation->hThread = c.m.NewHandle(std::move(th));
  processInformation->dwProcessId = pid;
  processInformation->dwThreadId = pid + 1;
  return finish(true, 0);
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
    t.access = 0xF01FF;  // TOKEN_ALL_ACCESS
    t.tokenUser = s.user;
    t.tokenSession = s.id;
    t.primaryToken = true;
    *token = c.m.NewHandle(std::move(t));
    return true;
  }
  return c.Fail(7022);  // ERROR_CTX_WINSTATION_NOT_FOUND
}

}  // namespace platform
