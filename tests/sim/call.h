// Shared by the simulated platform functions: each one counts its call,
// honours an injected failure of the same name, and runs the machine's
// after-call hooks (a test racing the tool) when it returns.
#pragma once

#include <string>

#include "sim/machine.h"

namespace platform {

inline sim::Machine& M() { return sim::machine(); }

struct Call {
  sim::Machine& m;
  std::string name;
  explicit Call(const char* n) : m(M()), name(n) { m.Count(name); }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  ~Call() {
    auto it = m.afterCall.find(name);
    if (it != m.afterCall.end() && it->second) {
      auto hook = it->second;
      hook();
    }
    if (m.afterEveryCall) {
      auto hook = m.afterEveryCall;
      hook(name);
    }
  }
  bool Injected(Dword* code) { return m.TakeInjection(name, code); }
  bool Fail(Dword error) {
    m.lastError = error;
    return false;
  }
};

}  // namespace platform
