// A typical machine that tests build on.
#pragma once

#include <string>

#include "platform/platform.h"
#include "sim/constants.h"
#include "sim/machine.h"

namespace sim {

// Sets up a typical machine: C:\Windows, C:\Program Files (x86), the
// interactive user "alice" at the desktop in session 1 with explorer.exe,
// her shell folders, ProfileList with her profile, the sessions 0 and 1,
// the tool's own executable. Tests build on it.
struct TypicalMachine {
  static constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  static void Build(Machine& m);
  // Adds a profile: registry entry and the profile folder with its shell-folder layout.
  static void AddProfile(Machine& m, const std::wstring& sid, const std::wstring& user, const std::wstring& profileDir,
                         Dword type = platform::kRegExpandSz);
};

}  // namespace sim
