// The simulated machine's virtual clock: Sleep and waits advance it, nothing
// really sleeps, and what a test schedules happens at its time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/platform.h"

namespace sim {

struct ScheduledEvent {
  std::uint64_t at;
  std::uint64_t order;
  std::function<void()> action;
};

struct Clock {
  std::uint64_t now = 0;
  std::vector<platform::Dword> sleeps;  // every Sleep argument, in order
  void At(std::uint64_t time, std::function<void()> action);
  void Advance(std::uint64_t milliseconds);  // fires due events in time order

  std::vector<ScheduledEvent> events;
  std::uint64_t eventOrder = 0;
};

}  // namespace sim
