// The simulated machine's processes: the section's state (processes.h) and
// its calls, with the same result codes and last-error values as the real
// ones. Each call counts itself and honours an injected failure of its name.
#include "sim/processes.h"

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"

namespace sim {

Processes::Processes(const Clock& clock) : clock_(clock) {
  Process self;
  self.pid = kSelfPid;
  self.session = 1;
  self.exeName = L"client-maintenance.exe";
  self.user = L"SYSTEM";
  self.elevated = true;
  self.integrity = platform::kSecurityMandatorySystemRid;
  list.push_back(self);
}

Process& Processes::AddProcess(const std::wstring& exeName, Dword session, Dword pid) {
  Process p;
  if (pid == 0) {
    // A pid given explicitly earlier may lie ahead of nextPid_. While the
    // index covers the whole list, it answers without a rebuild per miss.
    auto taken = [this](Dword candidate) {
      if (indexCount_ != list.size()) return FindProcess(candidate) != nullptr;
      auto it = index_.find(candidate);
      return it != index_.end() && it->second < list.size() && list[it->second].pid == candidate;
    };
    do {
      pid = nextPid_;
      nextPid_ += 4;
    } while (taken(pid));
  }
  p.pid = pid;
  p.session = session;
  p.exeName = exeName;
  p.creationTime = (clock_.now * 10000) + (++processesCreated);
  const bool indexed = indexCount_ == list.size();
  list.push_back(p);
  if (indexed) {
    index_.emplace(pid, list.size() - 1);
    indexCount_ = list.size();
  }
  return list.back();
}

Process* Processes::FindProcess(Dword pid) {
  auto hit = [&]() -> Process* {
    auto it = index_.find(pid);
    if (it == index_.end() || it->second >= list.size()) return nullptr;
    Process& p = list[it->second];
    return p.pid == pid ? &p : nullptr;
  };
  if (Process* p = hit()) return p;
  // A miss may come from a pid changed in place: look again over everything.
  index_.clear();
  for (std::size_t i = 0; i < list.size(); ++i) index_.emplace(list[i].pid, i);
  indexCount_ = list.size();
  return hit();
}

std::vector<Dword> Processes::RunningPids(const std::wstring& exeName) const {
  std::vector<Dword> pids;
  for (const auto& p : list) {
    if (p.alive && Fold(p.exeName) == Fold(exeName)) pids.push_back(p.pid);
  }
  return pids;
}

Dword Processes::StartProcess(const std::wstring& imagePath, Dword session, const std::wstring& user) {
  const auto slash = imagePath.find_last_of(L"\\/");
  Process& p = AddProcess(slash == std::wstring::npos ? imagePath : imagePath.substr(slash + 1), session);
  p.user = user;
  return p.pid;
}

}  // namespace sim

namespace platform {

using sim::FsNode;
using sim::HandleEntry;
using sim::HandleKind;
using sim::IsPseudoProcess;
using sim::Machine;

namespace {

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

}  // namespace

Dword GetCurrentProcessId() { return sim::Processes::kSelfPid; }
Handle GetCurrentProcess() { return InvalidHandleValue(); }

bool ProcessIdToSessionId(Dword processId, Dword* sessionId) {
  Call c("ProcessIdToSessionId");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  sim::Process* p = c.m.processes.FindProcess(processId);
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
  for (const auto& p : c.m.processes.list) {
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
  sim::Process* p = c.m.processes.FindProcess(processId);
  c.m.processes.openProcessCalls.push_back({processId, desiredAccess, p != nullptr && p->alive ? p->exeName : L""});
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
    other.creationTime = c.m.clock.now * 10000 + (++c.m.processes.processesCreated);
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
  sim::Process* p = c.m.processes.FindProcess(e->pid);
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
  sim::Process* p = c.m.processes.FindProcess(e->pid);
  // A handle of a process that ended (its identifier perhaps another's now)
  // ends nothing.
  if (p != nullptr && p->creationTime != e->processCreationTime) p = nullptr;
  if (p == nullptr || !p->alive || p->termination == sim::Termination::kRefused) {
    c.m.processes.terminations.push_back({e->pid, exitCode, false, p != nullptr ? p->exeName : L"?"});
    return c.Fail(kErrorAccessDenied);
  }
  c.m.processes.terminations.push_back({e->pid, exitCode, true, p->exeName});
  p->terminatedByTool = true;
  if (!p->respawns.empty()) {
    // Its partner comes back before it goes.
    sim::Process& partner = c.m.processes.AddProcess(p->respawns, p->session);
    partner.user = p->user;
    partner.elevated = p->elevated;
    partner.integrity = p->integrity;
    partner.parentPid = p->pid;
    // One that starts itself again does so every time.
    if (sim::Fold(p->respawns) == sim::Fold(p->exeName)) partner.respawns = p->respawns;
    p = c.m.processes.FindProcess(e->pid);
  }
  switch (p->termination) {
    case sim::Termination::kEnds:
      c.m.EndProcess(*p, exitCode);
      break;
    case sim::Termination::kEndsLater: {
      const Dword pid = p->pid;
      Machine* m = &c.m;
      c.m.clock.At(c.m.clock.now + p->terminationDelayMs, [m, pid, exitCode] {
        if (sim::Process* q = m->processes.FindProcess(pid)) m->EndProcess(*q, exitCode);
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
  const std::uint64_t deadline = c.m.clock.now + (bounded ? milliseconds : 0);
  for (;;) {
    sim::Process* p = c.m.processes.FindProcess(pid);
    if (p == nullptr || !p->alive || (e->kind == HandleKind::kProcess && p->creationTime != created)) {
      return kWaitObject0;
    }
    std::uint64_t next = UINT64_MAX;
    for (const auto& ev : c.m.clock.events) next = std::min(next, ev.at);
    if (next == UINT64_MAX || (bounded && next > deadline)) {
      if (!bounded) {
        // Nothing will ever end this process: the real call would never return.
        c.m.hung = true;
        c.Fail(kErrorInvalidHandle);
        return kWaitFailed;
      }
      c.m.clock.Advance(deadline - c.m.clock.now);
      return kWaitTimeout;
    }
    c.m.clock.Advance(next > c.m.clock.now ? next - c.m.clock.now : 0);
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
  if (c.m.cut == sim::Cut::kPowerLost) return true;  // the machine stopped: nothing is carried out
  // A delete disposition takes effect when the last handle of the entry
  // closes, unless it is still open elsewhere.
  if (node != nullptr && node->deletePending && !node->scannerOpen && !node->inUse && !c.m.files.HasOpenHandles(node)) {
    c.m.files.RemoveNode(node);
  }
  return true;
}

}  // namespace platform
