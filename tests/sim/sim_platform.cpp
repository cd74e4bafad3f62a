// The platform functions over the simulated machine. Each one counts its
// call, honours an injected failure of the same name, and otherwise does what
// the real function does to the simulated state, with the same result codes
// and last-error values.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "platform/platform.h"
#include "sim/sim_call.h"
#include "sim/sim_machine.h"

namespace platform {

using sim::FsNode;
using sim::HandleEntry;
using sim::HandleKind;
using sim::Machine;

namespace {

bool IsPseudoProcess(Handle h) { return h == InvalidHandleValue(); }

HandleEntry* ProcessHandleEntry(Machine& m, Handle h, Dword needed) {
  HandleEntry* e = m.Lookup(h);
  if (e == nullptr || (e->kind != HandleKind::kProcess)) {
    m.lastError = kErrorInvalidHandle;
    return nullptr;
  }
  if ((e->access & needed) != needed) {
    m.lastError = kErrorAccessDenied;
    return nullptr;
  }
  return e;
}

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

HandleEntry* KeyEntry(Machine& m, RegKey k, Long* rc) {
  HandleEntry* e = m.Lookup(reinterpret_cast<Handle>(k));
  if (e == nullptr || e->kind != HandleKind::kRegKey) {
    *rc = static_cast<Long>(kErrorInvalidHandle);
    return nullptr;
  }
  return e;
}

std::wstring BaseName(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

Dword StartProcess(Machine& m, const std::wstring& image, Dword session, const std::wstring& user) {
  sim::Process& p = m.AddProcess(BaseName(image), session);
  p.user = user;
  return p.pid;
}

}  // namespace

// ---------------- errors, time ----------------

Dword GetLastError() { return M().lastError; }
void SetLastError(Dword error) { M().lastError = error; }

void Sleep(Dword milliseconds) {
  Call c("Sleep");
  c.m.sleeps.push_back(milliseconds);
  c.m.Advance(milliseconds);
}

std::uint64_t GetTickCount64() {
  Call c("GetTickCount64");
  return c.m.now;
}

Dword SetErrorMode(Dword mode) {
  Call c("SetErrorMode");
  const Dword before = c.m.errorMode;
  c.m.errorMode = mode;
  return before;
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  Call c("SetDefaultDllDirectories");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Windows 7 without KB2533623 has no such function.
  if (c.m.osMajor < 6 || (c.m.osMajor == 6 && c.m.osMinor < 2)) return c.Fail(kErrorCallNotImplemented);
  if (directoryFlags == 0) return c.Fail(kErrorInvalidParameter);
  c.m.defaultDllDirectories = directoryFlags;
  return true;
}

Dword GetModuleFileNameW(wchar_t* fileName, Dword size) {
  Call c("GetModuleFileNameW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring& path = c.m.modulePath;
  if (size == 0) {
    c.Fail(kErrorInsufficientBuffer);
    return 0;
  }
  // Cut to fit, terminated, with ERROR_INSUFFICIENT_BUFFER and the size.
  if (path.size() >= size) {
    std::copy(path.begin(), path.begin() + (size - 1), fileName);
    fileName[size - 1] = L'\0';
    c.Fail(kErrorInsufficientBuffer);
    return size;
  }
  std::copy(path.begin(), path.end(), fileName);
  fileName[path.size()] = L'\0';
  c.m.lastError = 0;
  return static_cast<Dword>(path.size());
}

// ---------------- processes and sessions ----------------

Dword GetCurrentProcessId() { return Machine::kSelfPid; }
Handle GetCurrentProcess() { return InvalidHandleValue(); }

bool SetProcessMitigationPolicy(int policy, const void* buffer, std::size_t length) {
  Call c("SetProcessMitigationPolicy");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Windows 7 has no such function; the redirection trust policy came with
  // Windows 11 (build 22000): before it the policy is unknown.
  if (c.m.osMajor < 10) return c.Fail(kErrorCallNotImplemented);
  if (policy != kProcessRedirectionTrustPolicy || length != sizeof(Dword) || c.m.osBuild < 22000) {
    return c.Fail(kErrorInvalidParameter);
  }
  Dword flags = 0;
  std::memcpy(&flags, buffer, sizeof(flags));
  c.m.mitigationPolicies.emplace_back(policy, flags);
  return true;
}

bool ProcessIdToSessionId(Dword processId, Dword* sessionId) {
  Call c("ProcessIdToSessionId");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  sim::Process* p = c.m.FindProcess(processId);
  if (p == nullptr || !p->alive) return c.Fail(kErrorInvalidParameter);
  if (!p->sessionReadable) return c.Fail(kErrorAccessDenied);
  *sessionId = p->session;
  return true;
}

Handle CreateToolhelp32Snapshot(Dword flags, Dword /*processId*/) {
  Call c("CreateToolhelp32Snapshot");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return InvalidHandleValue();
  }
  if (!(flags & kTh32csSnapProcess)) {
    c.Fail(kErrorInvalidParameter);  // only the process list is modelled
    return InvalidHandleValue();
  }
  HandleEntry e(HandleKind::kSnapshot);
  for (const auto& p : c.m.processes) {
    if (!p.alive) continue;
    ProcessEntry entry{};
    entry.dwSize = sizeof(ProcessEntry);
    entry.th32ProcessID = p.pid;
    entry.cntThreads = 1;
    entry.th32ParentProcessID = p.parentPid;
    const std::size_t n = std::min<std::size_t>(p.exeName.size(), kMaxPath - 1);
    std::copy(p.exeName.begin(), p.exeName.begin() + n, entry.szExeFile);
    entry.szExeFile[n] = L'\0';
    e.snapshot.push_back(entry);
  }
  return c.m.NewHandle(std::move(e));
}

namespace {
bool SnapshotStep(Call& c, Handle snapshot, ProcessEntry* entry, bool first) {
  HandleEntry* e = c.m.Lookup(snapshot);
  if (e == nullptr || e->kind != HandleKind::kSnapshot) return c.Fail(kErrorInvalidHandle);
  if (entry->dwSize < sizeof(ProcessEntry)) return c.Fail(24);  // ERROR_BAD_LENGTH
  if (first) e->snapshotNext = 0;
  if (e->snapshotNext >= e->snapshot.size()) return c.Fail(kErrorNoMoreFiles);
  *entry = e->snapshot[e->snapshotNext++];
  return true;
}
}  // namespace

bool Process32FirstW(Handle snapshot, ProcessEntry* entry) {
  Call c("Process32FirstW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  return SnapshotStep(c, snapshot, entry, true);
}

bool Process32NextW(Handle snapshot, ProcessEntry* entry) {
  Call c("Process32NextW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  return SnapshotStep(c, snapshot, entry, false);
}

Handle OpenProcess(Dword desiredAccess, bool /*inheritHandle*/, Dword processId) {
  Call c("OpenProcess");
  sim::Process* p = c.m.FindProcess(processId);
  c.m.openProcessCalls.push_back({processId, desiredAccess, p != nullptr && p->alive ? p->exeName : L""});
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return nullptr;
  }
  if (p != nullptr && p->alive && p->exitsBeforeOpen) c.m.EndProcess(*p, 0);
  if (p != nullptr && p->alive && !p->reusedBy.empty()) {
    // The process ended meanwhile and another one took its identifier over.
    c.m.EndProcess(*p, 0);
    sim::Process other;
    other.pid = p->pid;
    other.session = p->session;
    other.exeName = p->reusedBy;
    other.user = L"someone";
    other.creationTime = c.m.now * 10000 + (++c.m.processesCreated);
    *p = other;
  }
  if (processId == 0 || p == nullptr || !p->alive) {
    c.Fail(kErrorInvalidParameter);
    return nullptr;
  }
  if ((desiredAccess & p->deniedAccess) != 0) {
    c.Fail(kErrorAccessDenied);
    return nullptr;
  }
  HandleEntry e(HandleKind::kProcess);
  e.access = desiredAccess;
  e.pid = processId;
  e.processCreationTime = p->creationTime;
  return c.m.NewHandle(std::move(e));
}

bool QueryFullProcessImageNameW(Handle process, Dword /*flags*/, wchar_t* name, Dword* size) {
  Call c("QueryFullProcessImageNameW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = c.m.Lookup(process);
  if (e == nullptr || e->kind != HandleKind::kProcess) return c.Fail(kErrorInvalidHandle);
  if ((e->access & (kProcessQueryLimitedInformation | kProcessQueryInformation)) == 0) {
    return c.Fail(kErrorAccessDenied);
  }
  sim::Process* p = c.m.FindProcess(e->pid);
  // The handle keeps its process: one that ended (and whose identifier went
  // to another) has no image any more.
  if (p == nullptr || !p->alive || p->creationTime != e->processCreationTime) return c.Fail(kErrorPartialCopy);
  if (!p->nameReadable) return c.Fail(kErrorAccessDenied);
  const std::wstring path = p->imageFolder + L"\\" + p->exeName;
  if (*size <= path.size()) return c.Fail(kErrorInsufficientBuffer);
  std::copy(path.begin(), path.end(), name);
  name[path.size()] = L'\0';
  *size = static_cast<Dword>(path.size());
  return true;
}

bool GetProcessTimes(Handle process, FileTime* creation, FileTime* exit, FileTime* kernel, FileTime* user) {
  Call c("GetProcessTimes");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = c.m.Lookup(process);
  if (e == nullptr || e->kind != HandleKind::kProcess) return c.Fail(kErrorInvalidHandle);
  if ((e->access & (kProcessQueryLimitedInformation | kProcessQueryInformation)) == 0) {
    return c.Fail(kErrorAccessDenied);
  }
  if (creation != nullptr) *creation = e->processCreationTime;
  if (exit != nullptr) *exit = 0;
  if (kernel != nullptr) *kernel = 0;
  if (user != nullptr) *user = 0;
  return true;
}

bool TerminateProcess(Handle process, Dword exitCode) {
  Call c("TerminateProcess");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* e = ProcessHandleEntry(c.m, process, kProcessTerminate);
  if (e == nullptr) return false;
  sim::Process* p = c.m.FindProcess(e->pid);
  // A handle of a process that ended (its identifier perhaps another's now)
  // ends nothing.
  if (p != nullptr && p->creationTime != e->processCreationTime) p = nullptr;
  if (p == nullptr || !p->alive || p->termination == sim::Termination::kRefused) {
    c.m.terminations.push_back({e->pid, exitCode, false, p != nullptr ? p->exeName : L"?"});
    return c.Fail(kErrorAccessDenied);
  }
  c.m.terminations.push_back({e->pid, exitCode, true, p->exeName});
  p->terminatedByTool = true;
  if (!p->respawns.empty()) {
    // Its partner comes back before it goes.
    sim::Process& partner = c.m.AddProcess(p->respawns, p->session);
    partner.user = p->user;
    partner.parentPid = p->pid;
    // One that starts itself again does so every time.
    if (sim::Fold(p->respawns) == sim::Fold(p->exeName)) partner.respawns = p->respawns;
    p = c.m.FindProcess(e->pid);
  }
  switch (p->termination) {
    case sim::Termination::kEnds:
      c.m.EndProcess(*p, exitCode);
      break;
    case sim::Termination::kEndsLater: {
      const Dword pid = p->pid;
      Machine* m = &c.m;
      c.m.At(c.m.now + p->terminationDelayMs, [m, pid, exitCode] {
        if (sim::Process* q = m->FindProcess(pid)) m->EndProcess(*q, exitCode);
      });
      break;
    }
    default:
      break;
  }
  return true;
}

Dword WaitForSingleObject(Handle handle, Dword milliseconds) {
  Call c("WaitForSingleObject");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return kWaitFailed;
  }
  HandleEntry* e = c.m.Lookup(handle);
  if (e == nullptr || (e->kind != HandleKind::kProcess && e->kind != HandleKind::kThread)) {
    c.Fail(kErrorInvalidHandle);
    return kWaitFailed;
  }
  if (e->kind == HandleKind::kProcess && (e->access & kSynchronize) == 0) {
    c.Fail(kErrorAccessDenied);
    return kWaitFailed;
  }
  const Dword pid = e->pid;
  const platform::FileTime created = e->processCreationTime;
  const bool bounded = milliseconds != kInfinite;
  const std::uint64_t deadline = c.m.now + (bounded ? milliseconds : 0);
  for (;;) {
    sim::Process* p = c.m.FindProcess(pid);
    if (p == nullptr || !p->alive || (e->kind == HandleKind::kProcess && p->creationTime != created)) {
      return kWaitObject0;
    }
    std::uint64_t next = UINT64_MAX;
    for (const auto& ev : c.m.events) next = std::min(next, ev.at);
    if (next == UINT64_MAX || (bounded && next > deadline)) {
      if (!bounded) {
        // Nothing will ever end this process: the real call would never return.
        c.m.hung = true;
        c.Fail(kErrorInvalidHandle);
        return kWaitFailed;
      }
      c.m.Advance(deadline - c.m.now);
      return kWaitTimeout;
    }
    c.m.Advance(next > c.m.now ? next - c.m.now : 0);
  }
}

bool CloseHandle(Handle handle) {
  Call c("CloseHandle");
  if (IsPseudoProcess(handle)) return true;
  auto it = c.m.handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == c.m.handles.end() || it->second.kind == HandleKind::kRegKey) {
    return c.Fail(kErrorInvalidHandle);
  }
  FsNode* node = it->second.kind == HandleKind::kFile ? it->second.node : nullptr;
  c.m.handles.erase(it);
  // A delete disposition takes effect when the last handle of the entry
  // closes, unless it is still open elsewhere.
  if (node != nullptr && node->deletePending && !node->scannerOpen && !node->inUse && !c.m.HasOpenHandles(node)) {
    c.m.RemoveNode(node);
  }
  return true;
}

// ---------------- tokens ----------------

bool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
  Call c("OpenProcessToken");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  Dword pid;
  if (IsPseudoProcess(process)) {
    pid = Machine::kSelfPid;
    if (!c.m.selfTokenOpenable) return c.Fail(kErrorAccessDenied);
  } else {
    HandleEntry* e = c.m.Lookup(process);
    if (e == nullptr || e->kind != HandleKind::kProcess) return c.Fail(kErrorInvalidHandle);
    if ((e->access & (kProcessQueryInformation | kProcessQueryLimitedInformation)) == 0) {
      return c.Fail(kErrorAccessDenied);
    }
    pid = e->pid;
  }
  sim::Process* p = c.m.FindProcess(pid);
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
    c.m.enabledPrivileges.push_back(newState.luid.lowPart == 20 ? L"SeDebugPrivilege"
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

bool CreateEnvironmentBlock(void** environment, Handle token, bool inherit) {
  Call c("CreateEnvironmentBlock");
  c.m.environmentInherits.push_back(inherit);
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  std::wstring user = L"";
  if (token != nullptr) {
    HandleEntry* e = TokenEntry(c.m, token, kTokenQuery | kTokenDuplicate | kTokenImpersonate);
    if (e == nullptr) return false;
    user = e->tokenUser;
  }
  void* block = std::malloc(16);
  c.m.environmentBlocks[block] = user;
  *environment = block;
  return true;
}

bool DestroyEnvironmentBlock(void* environment) {
  Call c("DestroyEnvironmentBlock");
  auto it = c.m.environmentBlocks.find(environment);
  if (it == c.m.environmentBlocks.end()) return c.Fail(kErrorInvalidParameter);
  c.m.environmentBlocks.erase(it);
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
    auto it = c.m.environmentBlocks.find(environment);
    r.environmentUser = it == c.m.environmentBlocks.end() ? L"?" : it->second;
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
    c.m.createProcessWithToken.push_back(r);
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
  if (!IsExistingFile(c.m, image)) return finish(false, kErrorFileNotFound);
  if (currentDirectory != nullptr) {
    Dword error = 0;
    FsNode* folder = c.m.Resolve(currentDirectory, true, &error);
    if (folder == nullptr || !folder->isDirectory) return finish(false, kErrorDirectory);
  }
  sim::Process* source = c.m.FindProcess(e->pid);
  const Dword pid = StartProcess(c.m, image, source ? source->session : c.m.Self().session, e->tokenUser);
  r.pid = pid;
  HandleEntry ph(HandleKind::kProcess);
  ph.access = 0x1FFFFF;
  ph.pid = pid;
  ph.processCreationTime = c.m.FindProcess(pid)->creationTime;
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
    auto it = c.m.environmentBlocks.find(environment);
    r.environmentUser = it == c.m.environmentBlocks.end() ? L"?" : it->second;
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
    c.m.createProcessAsUser.push_back(r);
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
  if (e->tokenUser != c.m.Self().user && sim::Fold(c.m.Self().user) != L"SYSTEM") {
    return finish(false, kErrorPrivilegeNotHeld);
  }
  if (environment != nullptr && (creationFlags & kCreateUnicodeEnvironment) == 0) {
    return finish(false, kErrorInvalidParameter);
  }
  if (!IsExistingFile(c.m, r.applicationName)) return finish(false, kErrorFileNotFound);
  if (currentDirectory != nullptr) {
    Dword error = 0;
    FsNode* folder = c.m.Resolve(currentDirectory, true, &error);
    if (folder == nullptr || !folder->isDirectory) return finish(false, kErrorDirectory);
  }
  const Dword pid = StartProcess(c.m, r.applicationName, e->tokenSession, e->tokenUser);
  r.pid = pid;
  sim::Process& started = *c.m.FindProcess(pid);
  for (const auto& s : c.m.sessions) {
    if (s.id != e->tokenSession || s.startedRunMs == 0) continue;
    Machine* pm = &c.m;
    const platform::FileTime created = started.creationTime;
    c.m.At(c.m.now + s.startedRunMs, [pm, pid, created] {
      sim::Process* p = pm->FindProcess(pid);
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
  const std::size_t n = c.m.sessions.size();
  auto* list = static_cast<WtsSessionInfo*>(std::calloc(n + 1, sizeof(WtsSessionInfo) + 16 * sizeof(wchar_t)));
  auto* names = reinterpret_cast<wchar_t*>(list + n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    const sim::Session& s = c.m.sessions[i];
    list[i].SessionId = s.id;
    list[i].State = s.state;
    list[i].pWinStationName = names + i * 16;
    const std::wstring station = s.id == 0 ? L"Services" : s.id == 1 ? L"Console" : L"RDP-Tcp#" + std::to_wstring(s.id);
    std::wcsncpy(list[i].pWinStationName, station.c_str(), 15);
  }
  c.m.wtsAllocations.insert(list);
  *sessions = list;
  *count = static_cast<Dword>(n);
  return true;
}

void WTSFreeMemory(void* memory) {
  Call c("WTSFreeMemory");
  if (c.m.wtsAllocations.erase(memory) == 1) std::free(memory);
}

bool WTSQueryUserToken(Dword sessionId, Handle* token) {
  Call c("WTSQueryUserToken");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Only LocalSystem holds SE_TCB_NAME.
  if (sim::Fold(c.m.Self().user) != L"SYSTEM") return c.Fail(kErrorPrivilegeNotHeld);
  for (const auto& s : c.m.sessions) {
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

// ---------------- windows ----------------

bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter) {
  Call c("EnumWindows");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  std::vector<std::uintptr_t> ids;
  for (const auto& w : c.m.windows) ids.push_back(w.id);
  for (auto id : ids) {
    if (c.m.FindWindow(id) == nullptr) continue;  // destroyed during the pass
    if (!callback(reinterpret_cast<Hwnd>(id), parameter)) break;
  }
  return true;
}

Dword GetWindowThreadProcessId(Hwnd window, Dword* processId) {
  Call c("GetWindowThreadProcessId");
  if (const sim::Window* w = c.m.FindWindow(reinterpret_cast<std::uintptr_t>(window))) {
    if (processId != nullptr) *processId = w->ownerPid;
    return w->ownerPid + 1;
  }
  c.Fail(kErrorInvalidWindowHandle);
  return 0;
}

bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  Call c("PostMessageW");
  const auto id = reinterpret_cast<std::uintptr_t>(window);
  const sim::Window* it = c.m.FindWindow(id);
  if (it == nullptr) return c.Fail(kErrorInvalidWindowHandle);
  Dword code;
  bool ok = true;
  Dword error = 0;
  if (c.Injected(&code)) {
    ok = false;
    error = code;
  } else if (it->postFails) {
    ok = false;
    error = kErrorAccessDenied;
  }
  const Dword owner = it->ownerPid;
  c.m.posts.push_back({id, owner, message, wParam, lParam, c.m.now, ok});
  if (!ok) return c.Fail(error);
  sim::Process* p = c.m.FindProcess(owner);
  if (message == kWmEndSession && wParam != 0 && p != nullptr && p->exitsOnEndSession) {
    // The owner handles the message a moment later, on its own thread, and exits.
    Machine* m = &c.m;
    c.m.At(c.m.now + 10, [m, owner] {
      if (sim::Process* q = m->FindProcess(owner)) m->EndProcess(*q, 0);
    });
  }
  return true;
}

// ---------------- registry ----------------

Long RegOpenKeyExW(RegKey key, const wchar_t* subKey, Dword /*options*/, Dword desiredAccess, RegKey* result) {
  Call c("RegOpenKeyExW");
  const std::wstring sub = subKey ? subKey : L"";
  std::wstring base;
  sim::RegKeyNode* node = nullptr;
  if (key == HkeyLocalMachine()) {
    node = &c.m.hklm;
  } else {
    Long rc;
    HandleEntry* e = KeyEntry(c.m, key, &rc);
    if (e == nullptr) return rc;
    node = e->key;
    base = e->keyPath;
  }
  const std::wstring path = base.empty() ? sub : (sub.empty() ? base : base + L"\\" + sub);
  c.m.regOpens.emplace_back(path, desiredAccess);
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  std::wstring part;
  auto step = [&](const std::wstring& name) -> bool {
    node = node->Child(name);
    return node != nullptr;
  };
  for (std::size_t i = 0; i <= sub.size(); ++i) {
    if (i == sub.size() || sub[i] == L'\\') {
      if (!part.empty() && !step(part)) return static_cast<Long>(kErrorFileNotFound);
      if (!part.empty() && node->openResult != 0) return static_cast<Long>(node->openResult);
      part.clear();
    } else {
      part += sub[i];
    }
  }
  HandleEntry e(HandleKind::kRegKey);
  e.access = desiredAccess;
  e.key = node;
  e.keyPath = path;
  *result = reinterpret_cast<RegKey>(c.m.NewHandle(std::move(e)));
  return 0;
}

Long RegQueryInfoKeyW(RegKey key, Dword* subKeys, Dword* maxSubKeyLength) {
  Call c("RegQueryInfoKeyW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0001) == 0) return static_cast<Long>(kErrorAccessDenied);  // KEY_QUERY_VALUE
  if (e->key->queryInfoResult != 0) return static_cast<Long>(e->key->queryInfoResult);
  Dword longest = 0;
  for (const auto& k : e->key->subkeys) longest = std::max<Dword>(longest, static_cast<Dword>(k->name.size()));
  if (subKeys) *subKeys = static_cast<Dword>(e->key->subkeys.size());
  if (maxSubKeyLength) *maxSubKeyLength = longest;
  return 0;
}

Long RegEnumKeyExW(RegKey key, Dword index, wchar_t* name, Dword* nameLength) {
  Call c("RegEnumKeyExW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0008) == 0) return static_cast<Long>(kErrorAccessDenied);  // KEY_ENUMERATE_SUB_KEYS
  if (index >= e->key->subkeys.size()) return static_cast<Long>(kErrorNoMoreItems);
  if (e->key->enumFailIndexes.count(index)) return static_cast<Long>(kErrorAccessDenied);
  const std::wstring& n = e->key->subkeys[index]->name;
  if (*nameLength < n.size() + 1) return static_cast<Long>(kErrorMoreData);
  std::copy(n.begin(), n.end(), name);
  name[n.size()] = L'\0';
  *nameLength = static_cast<Dword>(n.size());
  return 0;
}

Long RegQueryValueExW(RegKey key, const wchar_t* valueName, Dword* type, std::uint8_t* data, Dword* dataBytes) {
  Call c("RegQueryValueExW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0001) == 0) return static_cast<Long>(kErrorAccessDenied);
  auto it = e->key->values.find(sim::Fold(valueName ? valueName : L""));
  if (it == e->key->values.end()) return static_cast<Long>(kErrorFileNotFound);
  const sim::RegValue& v = it->second;
  if (v.queryResult != 0) return static_cast<Long>(v.queryResult);
  const Dword size = static_cast<Dword>(v.bytes.size());
  if (type) *type = v.type;
  if (data == nullptr) {
    if (dataBytes) *dataBytes = size;
    return 0;
  }
  if (dataBytes == nullptr) return static_cast<Long>(kErrorInvalidParameter);
  if (*dataBytes < size) {
    *dataBytes = size;
    return static_cast<Long>(kErrorMoreData);
  }
  if (size) std::memcpy(data, v.bytes.data(), size);
  *dataBytes = size;
  return 0;
}

Long RegCloseKey(RegKey key) {
  Call c("RegCloseKey");
  if (key == HkeyLocalMachine()) return 0;
  auto it = c.m.handles.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == c.m.handles.end() || it->second.kind != HandleKind::kRegKey) {
    return static_cast<Long>(kErrorInvalidHandle);
  }
  c.m.handles.erase(it);
  return 0;
}

// ---------------- environment, command line, version ----------------

Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size) {
  Call c("ExpandEnvironmentStringsW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring s = source;
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'%') {
      const std::size_t end = s.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = c.m.environment.find(sim::Fold(s.substr(i + 1, end - i - 1)));
        if (it != c.m.environment.end()) {
          out += it->second;
          i = end;
          continue;
        }
        // An unknown variable stays as written, both percent signs included.
        out += s.substr(i, end - i + 1);
        i = end;
        continue;
      }
    }
    out += s[i];
  }
  const Dword needed = static_cast<Dword>(out.size() + 1);
  if (destination != nullptr && size >= needed) {
    std::copy(out.begin(), out.end(), destination);
    destination[out.size()] = L'\0';
  }
  return needed;
}

const wchar_t* GetCommandLineW() {
  Call c("GetCommandLineW");
  return c.m.commandLine.c_str();
}

// The argument rules of CommandLineToArgvW: the program name ends at the
// first blank, or at the closing quote when it starts with one, and takes no
// escapes; in later arguments 2n backslashes before a quote give n
// backslashes and the quote opens or closes quoting, 2n+1 give n and a literal
// quote, and "" inside quotes gives a literal quote. An empty command line
// gives the module path alone.
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount) {
  Call c("CommandLineToArgvW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return nullptr;
  }
  std::vector<std::wstring> args;
  const wchar_t* p = commandLine;
  if (p == nullptr || *p == L'\0') {
    args.push_back(c.m.modulePath);
  } else {
    std::wstring a;
    if (*p == L'"') {
      ++p;
      while (*p && *p != L'"') a += *p++;
      if (*p == L'"') ++p;
    } else {
      while (*p && *p != L' ' && *p != L'\t') a += *p++;
    }
    args.push_back(a);
    for (;;) {
      while (*p == L' ' || *p == L'\t') ++p;
      if (!*p) break;
      std::wstring arg;
      bool quoted = false;
      while (*p) {
        if ((*p == L' ' || *p == L'\t') && !quoted) break;
        if (*p == L'\\') {
          std::size_t n = 0;
          while (*p == L'\\') {
            ++n;
            ++p;
          }
          if (*p == L'"') {
            arg.append(n / 2, L'\\');
            if (n % 2) {
              arg += L'"';
              ++p;
            }
          } else {
            arg.append(n, L'\\');
          }
          continue;
        }
        if (*p == L'"') {
          if (quoted && p[1] == L'"') {
            arg += L'"';
            p += 2;
            continue;
          }
          quoted = !quoted;
          ++p;
          continue;
        }
        arg += *p++;
      }
      args.push_back(arg);
    }
  }
  std::size_t chars = 0;
  for (const auto& a : args) chars += a.size() + 1;
  const std::size_t pointers = (args.size() + 1) * sizeof(wchar_t*);
  auto* block = static_cast<unsigned char*>(std::malloc(pointers + chars * sizeof(wchar_t)));
  auto** argv = reinterpret_cast<wchar_t**>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + pointers);
  for (std::size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::copy(args[i].begin(), args[i].end(), text);
    text += args[i].size();
    *text++ = L'\0';
  }
  argv[args.size()] = nullptr;
  c.m.localAllocations.insert(block);
  *argumentCount = static_cast<int>(args.size());
  return argv;
}

void* LocalFree(void* memory) {
  Call c("LocalFree");
  if (memory == nullptr) return nullptr;
  auto it = c.m.localAllocations.find(memory);
  if (it == c.m.localAllocations.end()) {
    c.Fail(kErrorInvalidHandle);
    return memory;
  }
  c.m.localAllocations.erase(it);
  std::free(memory);
  return nullptr;
}

bool GetVersionExW(OsVersionInfo* info) {
  Call c("GetVersionExW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  if (info->dwOSVersionInfoSize != kOsVersionInfoSize && info->dwOSVersionInfoSize != 284) {
    return c.Fail(kErrorInsufficientBuffer);
  }
  info->dwMajorVersion = c.m.osMajor;
  info->dwMinorVersion = c.m.osMinor;
  info->dwBuildNumber = c.m.osBuild;
  info->dwPlatformId = 2;
  info->szCSDVersion[0] = L'\0';
  return true;
}

// ---------------- shell ----------------

HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path) {
  Call c("SHGetFolderPathW");
  std::wstring account;
  if (token != nullptr) {
    HandleEntry* e = c.m.Lookup(token);
    if (e == nullptr || e->kind != HandleKind::kToken) return kEInvalidArg;
    account = e->tokenUser;
  }
  c.m.folderLookups.push_back({csidl, account, token != nullptr, flags, owner == nullptr});
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  const std::wstring who = token != nullptr ? account : c.m.Self().user;
  const sim::FolderEntry* entry = nullptr;
  auto u = c.m.userFolders.find(who);
  if (u != c.m.userFolders.end()) {
    auto f = u->second.find(csidl);
    if (f != u->second.end()) entry = &f->second;
  }
  if (entry == nullptr) {
    auto f = c.m.commonFolders.find(csidl);
    if (f != c.m.commonFolders.end()) entry = &f->second;
  }
  if (entry == nullptr) return HResultFromWin32(kErrorFileNotFound);
  // S_FALSE ("the folder does not exist") still fills the buffer.
  if (entry->result == kSOk || entry->result == kSFalse) {
    const std::size_t n = std::min<std::size_t>(entry->path.size(), kMaxPath - 1);
    std::copy(entry->path.begin(), entry->path.begin() + n, path);
    path[n] = L'\0';
  }
  return entry->result;
}

bool ShellExecuteExW(ShellExecuteInfo* info) {
  Call c("ShellExecuteExW");
  sim::ShellExecuteRecord r{};
  r.cbSize = info->cbSize;
  r.fMask = info->fMask;
  r.hwndNull = info->hwnd == nullptr;
  r.verb = info->lpVerb ? info->lpVerb : L"(null)";
  r.file = info->lpFile ? info->lpFile : L"(null)";
  r.parametersNull = info->lpParameters == nullptr;
  r.directoryNull = info->lpDirectory == nullptr;
  r.nShow = info->nShow;
  auto finish = [&](bool ok, Dword error) {
    r.succeeded = ok;
    c.m.shellExecutes.push_back(r);
    if (!ok) c.m.lastError = error;
    return ok;
  };
  Dword code;
  if (c.Injected(&code)) return finish(false, code);
  if (info->cbSize != kShellExecuteInfoSize) return finish(false, kErrorInvalidParameter);
  if (!IsExistingFile(c.m, r.file)) {
    // Without SEE_MASK_FLAG_NO_UI the shell tells of the failure in a message box.
    if ((info->fMask & kSeeMaskFlagNoUi) == 0) ++c.m.dialogs;
    info->hInstApp = reinterpret_cast<void*>(static_cast<std::uintptr_t>(2));  // SE_ERR_FNF
    return finish(false, kErrorFileNotFound);
  }
  const Dword pid = StartProcess(c.m, r.file, c.m.Self().session, c.m.Self().user);
  r.pid = pid;
  info->hInstApp = reinterpret_cast<void*>(static_cast<std::uintptr_t>(42));
  info->hProcess = nullptr;
  if (info->fMask & kSeeMaskNoCloseProcess) {
    HandleEntry ph(HandleKind::kProcess);
    ph.access = 0x1FFFFF;
    ph.pid = pid;
    ph.processCreationTime = c.m.FindProcess(pid)->creationTime;
    info->hProcess = c.m.NewHandle(std::move(ph));
  }
  return finish(true, 0);
}

// ---------------- COM: the shell link object ----------------

namespace {
sim::ShellLinkState* LinkState(Machine& m, std::uintptr_t id) {
  if (id == 0 || id > m.shellLinks.size()) return nullptr;
  return &m.shellLinks[id - 1];
}
}  // namespace

HResult CoInitialize(void* /*reserved*/) {
  Call c("CoInitialize");
  return c.m.comInitializeCalls++ == 0 ? kSOk : kSFalse;
}

HResult CreateShellLink(ShellLink* link) {
  Call c("CreateShellLink");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  if (c.m.comInitializeCalls == 0) return kCoENotInitialized;
  c.m.shellLinks.push_back({});
  *link = reinterpret_cast<ShellLink>(static_cast<std::uintptr_t>(c.m.shellLinks.size()));
  return kSOk;
}

HResult ShellLinkSetPath(ShellLink link, const wchar_t* path) {
  Call c("ShellLinkSetPath");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  s->path = path;
  return kSOk;
}

HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description) {
  Call c("ShellLinkSetDescription");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  s->description = description;
  return kSOk;
}

Dword ShellLinkRelease(ShellLink link) {
  Call c("ShellLinkRelease");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr) return 0;
  s->released = true;
  return 0;
}

HResult ShellLinkQueryPersistStream(ShellLink link, PersistStream* persistStream) {
  Call c("ShellLinkQueryPersistStream");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  ++s->persistStreamRefs;
  *persistStream = reinterpret_cast<PersistStream>(link);
  return kSOk;
}

namespace {
sim::StreamState* StreamOf(Machine& m, Stream stream) {
  const auto id = reinterpret_cast<std::uintptr_t>(stream);
  if (id == 0 || id > m.streams.size() || m.streams[id - 1].released) return nullptr;
  return &m.streams[id - 1];
}
void StreamWrite(sim::StreamState& s, const std::string& bytes) {
  if (s.bytes.size() < s.position + bytes.size()) s.bytes.resize(s.position + bytes.size());
  s.bytes.replace(s.position, bytes.size(), bytes);
  s.position += bytes.size();
}
}  // namespace

HResult PersistStreamSave(PersistStream persistStream, Stream stream, bool /*clearDirty*/) {
  Call c("PersistStreamSave");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(persistStream));
  if (s == nullptr || s->persistStreamRefs <= 0) return kEInvalidArg;
  sim::StreamState* out = StreamOf(c.m, stream);
  if (out == nullptr) return kEInvalidArg;
  const std::string bytes = sim::ShortcutBytes(s->path, s->description);
  Dword code;
  if (c.Injected(&code)) {
    // A save that fails part-way leaves what it had written in the stream.
    StreamWrite(*out, bytes.substr(0, bytes.size() / 2));
    return static_cast<HResult>(code);
  }
  StreamWrite(*out, bytes);
  return kSOk;
}

Dword PersistStreamRelease(PersistStream persistStream) {
  Call c("PersistStreamRelease");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(persistStream));
  if (s == nullptr) return 0;
  return static_cast<Dword>(--s->persistStreamRefs);
}

HResult CreateStreamOnHGlobal(bool /*deleteOnRelease*/, Stream* stream) {
  Call c("CreateStreamOnHGlobal");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  c.m.streams.push_back({});
  *stream = reinterpret_cast<Stream>(static_cast<std::uintptr_t>(c.m.streams.size()));
  return kSOk;
}

HResult StreamSeek(Stream stream, std::int64_t move, Dword origin, std::uint64_t* newPosition) {
  Call c("StreamSeek");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return kEInvalidArg;
  const std::int64_t base = origin == kStreamSeekSet ? 0 : origin == kStreamSeekCur ? static_cast<std::int64_t>(s->position)
                                                                                    : static_cast<std::int64_t>(s->bytes.size());
  if (origin > 2 || base + move < 0) return static_cast<HResult>(0x80030019u);  // STG_E_INVALIDFUNCTION
  s->position = static_cast<std::uint64_t>(base + move);
  if (newPosition != nullptr) *newPosition = s->position;
  return kSOk;
}

HResult StreamRead(Stream stream, void* buffer, Dword bytes, Dword* bytesRead) {
  Call c("StreamRead");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return kEInvalidArg;
  const std::uint64_t available = s->position < s->bytes.size() ? s->bytes.size() - s->position : 0;
  const Dword n = static_cast<Dword>(std::min<std::uint64_t>(available, bytes));
  if (n != 0) std::memcpy(buffer, s->bytes.data() + s->position, n);
  s->position += n;
  if (bytesRead != nullptr) *bytesRead = n;
  return n < bytes ? kSFalse : kSOk;
}

Dword StreamRelease(Stream stream) {
  Call c("StreamRelease");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return 0;
  s->released = true;
  return 0;
}

// ---------------- standard output ----------------

void WriteStdout(const wchar_t* text) {
  Call c("WriteStdout");
  c.m.stdoutText += text;
}

}  // namespace platform
