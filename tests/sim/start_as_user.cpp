// Starting a process with a user's token on the simulated machine:
// environment blocks, CreateProcessWithTokenW and CreateProcessAsUserW
// (users.h), with the same result codes and last-error values as the real
// calls.
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"
#include "sim/tokens.h"
#include "sim/users.h"

namespace platform {

using sim::FsNode;
using sim::HandleEntry;
using sim::HandleKind;
using sim::IsSystem;
using sim::Machine;
using sim::TokenEntry;

namespace {

// A job's processes must all run in one session (AssignProcessToJobObject:
// "all processes within a job must run within the same session as the
// job"), so a process of another session can only be started out of the
// job. CREATE_BREAKAWAY_FROM_JOB needs a job that allows breakaway
// (JOB_OBJECT_LIMIT_BREAKAWAY_OK); otherwise the start fails with
// ERROR_ACCESS_DENIED. The error a start from the tool's job meets, or 0.
Dword JobRefusal(Machine& m, Dword session, Dword creationFlags) {
  if (!m.users.toolInJob) return 0;
  if (creationFlags & kCreateBreakawayFromJob) return m.users.jobAllowsBreakaway ? 0 : kErrorAccessDenied;
  return session == m.processes.Self().session ? 0 : kErrorAccessDenied;
}

// The process a start created: it runs with the token's user, elevation and
// level, and keeps the tool's error mode unless CREATE_DEFAULT_ERROR_MODE
// was given ("the new process does not inherit the error mode of the
// calling process"); the caller gets a handle to it and to its thread.
sim::Process& Launch(Machine& m, sim::CreateProcessWithTokenRecord& r, const HandleEntry& token, Dword session,
                     Dword creationFlags, ProcessInformation* processInformation) {
  const Dword pid = m.processes.StartProcess(r.applicationName, session, token.tokenUser);
  sim::Process& started = *m.processes.FindProcess(pid);
  started.elevated = token.tokenElevated;
  started.integrity = token.tokenIntegrity;
  started.errorMode = (creationFlags & kCreateDefaultErrorMode) != 0 ? 0 : m.runtime.errorMode;
  r.pid = pid;
  HandleEntry ph(HandleKind::kProcess);
  ph.access = 0x1FFFFF;
  ph.pid = pid;
  ph.processCreationTime = started.creationTime;
  HandleEntry th(HandleKind::kThread);
  th.access = 0x1FFFFF;
  th.pid = pid;
  processInformation->hProcess = m.NewHandle(std::move(ph));
  processInformation->hThread = m.NewHandle(std::move(th));
  processInformation->dwProcessId = pid;
  processInformation->dwThreadId = pid + 1;
  return started;
}

// What a start records of its token.
void RecordToken(Machine& m, Handle token, sim::CreateProcessWithTokenRecord* r) {
  HandleEntry* e = m.Lookup(token);
  if (e == nullptr || e->kind != HandleKind::kToken) return;
  r->tokenUser = e->tokenUser;
  r->tokenPrimary = e->primaryToken;
  r->tokenElevated = e->tokenElevated;
  r->tokenIntegrity = e->tokenIntegrity;
}

// What both starts record of their arguments.
sim::CreateProcessWithTokenRecord StartRecord(Machine& m, const wchar_t* applicationName, const wchar_t* commandLine,
                                              Dword creationFlags, void* environment, const wchar_t* currentDirectory,
                                              const StartupInfo& startupInfo) {
  sim::CreateProcessWithTokenRecord r{};
  r.applicationName = applicationName ? applicationName : L"";
  r.commandLine = commandLine ? commandLine : L"";
  r.creationFlags = creationFlags;
  r.environmentPassed = environment != nullptr;
  if (environment != nullptr) {
    auto it = m.users.environmentBlocks.find(environment);
    r.environmentUser = it == m.users.environmentBlocks.end() ? L"?" : it->second;
  }
  r.currentDirectory = currentDirectory ? currentDirectory : L"(null)";
  r.startupFlags = startupInfo.dwFlags;
  r.showWindow = startupInfo.wShowWindow;
  return r;
}

// What both starts refuse once the token has passed: a Unicode environment
// block without its flag (it would be read as ANSI), an image that is not
// there, a current folder that is not a folder. 0 when none.
Dword StartRefusal(Machine& m, const sim::CreateProcessWithTokenRecord& r, void* environment,
                   const wchar_t* currentDirectory) {
  if (environment != nullptr && (r.creationFlags & kCreateUnicodeEnvironment) == 0) return kErrorInvalidParameter;
  if (!m.files.IsExistingFile(r.applicationName)) return kErrorFileNotFound;
  if (currentDirectory != nullptr) {
    Dword error = 0;
    FsNode* folder = m.files.Resolve(currentDirectory, true, &error);
    if (folder == nullptr || !folder->isDirectory) return kErrorDirectory;
  }
  return 0;
}

}  // namespace

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
  sim::CreateProcessWithTokenRecord r =
      StartRecord(c.m, applicationName, commandLine, creationFlags, environment, currentDirectory, startupInfo);
  r.logonFlags = logonFlags;
  RecordToken(c.m, token, &r);
  HandleEntry* e = c.m.Lookup(token);
  // The process runs in the session of the process the token came from.
  const sim::Process* source = e != nullptr ? c.m.processes.FindProcess(e->pid) : nullptr;
  r.session = source != nullptr ? source->session : c.m.processes.Self().session;
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
  // The Secondary Logon service starts the process; with the service
  // disabled the call fails with ERROR_SERVICE_DISABLED.
  if (!c.m.users.secondaryLogonRunning) return finish(false, kErrorServiceDisabled);
  // The caller needs SeImpersonatePrivilege: SYSTEM and an elevated
  // administrator hold it, a standard user's (or filtered) token does not.
  if (!IsSystem(c.m) && !c.m.processes.Self().elevated) return finish(false, kErrorPrivilegeNotHeld);
  if (const Dword refused = JobRefusal(c.m, r.session, creationFlags)) return finish(false, refused);
  if (const Dword refused = StartRefusal(c.m, r, environment, currentDirectory)) return finish(false, refused);
  Launch(c.m, r, *e, r.session, creationFlags, processInformation);
  return finish(true, 0);
}

bool CreateProcessAsUserW(Handle token, const wchar_t* applicationName, wchar_t* commandLine, Dword creationFlags,
                          void* environment, const wchar_t* currentDirectory, const StartupInfo& startupInfo,
                          ProcessInformation* processInformation) {
  Call c("CreateProcessAsUserW");
  sim::CreateProcessWithTokenRecord r =
      StartRecord(c.m, applicationName, commandLine, creationFlags, environment, currentDirectory, startupInfo);
  r.desktop = startupInfo.lpDesktop ? startupInfo.lpDesktop : L"(null)";
  RecordToken(c.m, token, &r);
  HandleEntry* e = c.m.Lookup(token);
  if (e != nullptr && e->kind == HandleKind::kToken) r.session = e->tokenSession;
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
  // Any token but the caller's own (a duplicate of it) or a restricted
  // version of it needs SeAssignPrimaryTokenPrivilege, which SYSTEM holds
  // and an elevated administrator does not.
  const bool ownToken = (e->tokenOwn || e->tokenRestrictedFromOwn) && e->tokenUser == c.m.processes.Self().user;
  if (!ownToken && !IsSystem(c.m)) return finish(false, kErrorPrivilegeNotHeld);
  if (const Dword refused = JobRefusal(c.m, r.session, creationFlags)) return finish(false, refused);
  if (const Dword refused = StartRefusal(c.m, r, environment, currentDirectory)) return finish(false, refused);
  sim::Process& started = Launch(c.m, r, *e, r.session, creationFlags, processInformation);
  const Dword pid = started.pid;
  for (const auto& s : c.m.users.sessions) {
    if (s.id != r.session || s.startedRunMs == 0) continue;
    Machine* pm = &c.m;
    const platform::FileTime created = started.creationTime;
    c.m.clock.At(c.m.clock.now + s.startedRunMs, [pm, pid, created] {
      sim::Process* p = pm->processes.FindProcess(pid);
      if (p != nullptr && p->alive && p->creationTime == created) pm->EndProcess(*p, 0);
    });
  }
  return finish(true, 0);
}

}  // namespace platform
