// The simulated machine's top-level windows and the messages posted to
// them. The calls are in windows.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace sim {

using platform::Dword;

struct Window {
  std::uintptr_t id = 0;
  Dword ownerPid = 0;
  bool visible = true;
  bool postFails = false;  // PostMessageW fails with ERROR_ACCESS_DENIED (a higher-integrity window)
};

struct PostedMessage {
  std::uintptr_t window;
  Dword ownerPid;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::uint64_t at;
  bool succeeded;
};

class Windows {
 public:
  std::vector<Window> list;  // z-order
  Window& AddWindow(Dword ownerPid, bool visible = true);
  // Window by id: its place in list, or null.
  Window* FindWindow(std::uintptr_t id);
  // The windows of a process go when it ends.
  void RemoveWindowsOf(Dword ownerPid);
  std::vector<PostedMessage> posts;
  int PostsTo(Dword pid, std::uint32_t message) const;

 private:
  std::uintptr_t nextWindow_ = 0x10010;
  // Window id -> position in list, trusted and rebuilt as the processes'
  // index is (processes.h).
  std::unordered_map<std::uintptr_t, std::size_t> index_;
  std::size_t indexCount_ = 0;
};

}  // namespace sim
