// What the simulated machine's sections share: injected failures, the
// handle table, and a process's end (which takes its windows with it).
#include "sim/machine.h"

#include <memory>

namespace sim {

namespace {
std::unique_ptr<Machine> g_machine;
}  // namespace

Machine& machine() {
  if (!g_machine) g_machine = std::make_unique<Machine>();
  return *g_machine;
}

void Reset() {
  g_machine.reset();
  g_machine = std::make_unique<Machine>();
}

Machine::Machine() = default;

// ---------------- injections ----------------

void Machine::Inject(const std::string& call, Dword code, int count, int skip) {
  injections[call].push_back(Injection{code, skip, count});
}

bool Machine::TakeInjection(const std::string& call, Dword* code) {
  auto it = injections.find(call);
  if (it == injections.end()) return false;
  for (auto& inj : it->second) {
    if (inj.count == 0) continue;
    if (inj.skip > 0) {
      --inj.skip;
      return false;
    }
    if (inj.count > 0) --inj.count;
    *code = inj.code;
    return true;
  }
  return false;
}

// ---------------- handles ----------------

platform::Handle Machine::NewHandle(HandleEntry entry) {
  const std::uintptr_t id = nextHandle_;
  nextHandle_ += 4;
  handles.emplace(id, std::move(entry));
  return reinterpret_cast<platform::Handle>(id);
}

HandleEntry* Machine::Lookup(platform::Handle h) {
  auto it = handles.find(reinterpret_cast<std::uintptr_t>(h));
  return it == handles.end() ? nullptr : &it->second;
}

// ---------------- processes and their windows ----------------

void Machine::EndProcess(Process& p, Dword exitCode) {
  if (!p.alive) return;
  p.alive = false;
  p.exitCode = exitCode;
  p.endedAt = clock.now;
  windows.RemoveWindowsOf(p.pid);
}

void Machine::NeverReturns(const char* avoidable) {
  clock.now += kNoReturnBoundMs;
  endedByBound = true;
  if (avoidable != nullptr) avoidableWait = avoidable;
  cut = Cut::kKilled;
  throw RunCut{};
}

void Machine::CancelledAfterItsBound(const FsNode* at, const char* avoidable) {
  clock.Advance(platform::kFileCallBoundMs);
  cancelledAt.push_back(files.PathOf(at));
  if (avoidable != nullptr) avoidableWait = avoidable;
}

}  // namespace sim
