#include "sim/clock.h"

#include <algorithm>

namespace sim {

void Clock::At(std::uint64_t time, std::function<void()> action) {
  events.push_back({time, eventOrder++, std::move(action)});
}

void Clock::Advance(std::uint64_t milliseconds) {
  const std::uint64_t target = now + milliseconds;
  for (;;) {
    auto next = std::min_element(events.begin(), events.end(), [](const ScheduledEvent& a, const ScheduledEvent& b) {
      return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    if (next == events.end() || next->at > target) break;
    now = std::max(now, next->at);
    auto action = std::move(next->action);
    events.erase(next);
    action();
  }
  now = target;
}

}  // namespace sim
