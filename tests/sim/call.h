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
  explicit Call(const char* n) : m(M()), name(n) {
    m.Count(name);
    // Cut before this call: nothing of it happens. (Not before a release,
    // which the tool makes from destructors: it comes right after it.)
    if (m.cut == sim::Cut::kNone && m.cutAtCall != 0 && ++m.callsSinceArmed >= m.cutAtCall && !IsRelease()) {
      m.cut = m.cutKind;
      throw sim::RunCut{};
    }
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  ~Call() {
    if (m.cut != sim::Cut::kNone) return;  // the run is over: nobody races it any more
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
  bool IsRelease() const {
    return name == "CloseHandle" || name == "RegCloseKey" || name.find("Release") != std::string::npos ||
           name == "DestroyEnvironmentBlock" || name == "WTSFreeMemory" || name == "LocalFree" ||
           name == "SaferCloseLevel" || name == "LsaFreeReturnBuffer" || name == "CloseServiceHandle" ||
           name == "RevertToSelf";
  }
  bool Injected(Dword* code) { return m.TakeInjection(name, code); }
  bool Fail(Dword error) {
    m.lastError = error;
    return false;
  }
};

}  // namespace platform
