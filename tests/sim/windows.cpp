// The simulated machine's top-level list and the messages posted to them
// (windows.h), with the same result codes and last-error values as the real
// calls.
#include "sim/windows.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"

namespace sim {

Window& Windows::AddWindow(Dword ownerPid, bool visible) {
  Window w;
  w.id = nextWindow_;
  nextWindow_ += 0x10;
  w.ownerPid = ownerPid;
  w.visible = visible;
  const bool indexed = indexCount_ == list.size();
  list.push_back(w);
  if (indexed) {
    index_.emplace(w.id, list.size() - 1);
    indexCount_ = list.size();
  }
  return list.back();
}

Window* Windows::FindWindow(std::uintptr_t id) {
  auto hit = [&]() -> Window* {
    auto it = index_.find(id);
    if (it == index_.end() || it->second >= list.size()) return nullptr;
    Window& w = list[it->second];
    return w.id == id ? &w : nullptr;
  };
  if (Window* w = hit()) return w;
  index_.clear();
  for (std::size_t i = 0; i < list.size(); ++i) index_.emplace(list[i].id, i);
  indexCount_ = list.size();
  return hit();
}

void Windows::RemoveWindowsOf(Dword ownerPid) {
  list.erase(std::remove_if(list.begin(), list.end(), [ownerPid](const Window& w) { return w.ownerPid == ownerPid; }),
             list.end());
}

int Windows::PostsTo(Dword pid, std::uint32_t message) const {
  int n = 0;
  for (const auto& p : posts) {
    if (p.ownerPid == pid && p.message == message) ++n;
  }
  return n;
}

}  // namespace sim

namespace platform {

using sim::Machine;

bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter) {
  Call c("EnumWindows");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  std::vector<std::uintptr_t> ids;
  for (const auto& w : c.m.windows.list) ids.push_back(w.id);
  for (auto id : ids) {
    if (c.m.windows.FindWindow(id) == nullptr) continue;  // destroyed during the pass
    if (!callback(reinterpret_cast<Hwnd>(id), parameter)) break;
  }
  return true;
}

Dword GetWindowThreadProcessId(Hwnd window, Dword* processId) {
  Call c("GetWindowThreadProcessId");
  if (const sim::Window* w = c.m.windows.FindWindow(reinterpret_cast<std::uintptr_t>(window))) {
    if (processId != nullptr) *processId = w->ownerPid;
    return w->ownerPid + 1;
  }
  c.Fail(kErrorInvalidWindowHandle);
  return 0;
}

bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  Call c("PostMessageW");
  const auto id = reinterpret_cast<std::uintptr_t>(window);
  const sim::Window* it = c.m.windows.FindWindow(id);
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
  c.m.windows.posts.push_back({id, owner, message, wParam, lParam, c.m.clock.now, ok});
  if (!ok) return c.Fail(error);
  sim::Process* p = c.m.processes.FindProcess(owner);
  if (message == kWmEndSession && wParam != 0 && p != nullptr && p->exitsOnEndSession) {
    // The owner handles the message a moment later, on its own thread, and exits.
    Machine* m = &c.m;
    c.m.clock.At(c.m.clock.now + 10, [m, owner] {
      if (sim::Process* q = m->processes.FindProcess(owner)) m->EndProcess(*q, 0);
    });
  }
  return true;
}

}  // namespace platform
