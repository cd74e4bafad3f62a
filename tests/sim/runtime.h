// The simulated machine's runtime section: the tool's own process settings,
// its command line and executable, the environment, the Windows version,
// local memory and standard output. The calls are in runtime.cpp.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/names.h"

namespace sim {

using platform::Dword;

// The value GetStdHandle gives for standard output when there is one.
inline platform::Handle const kStdoutHandle =
    reinterpret_cast<platform::Handle>(0x5D0001);  // odd: never a table handle

struct Runtime {
  std::wstring commandLine = L"client-maintenance.exe";
  std::wstring modulePath = L"C:\\tools\\client-maintenance.exe";

  // ---- the process's own settings ----
  Dword errorMode = 0;              // SetErrorMode
  Dword defaultDllDirectories = 0;  // the last SetDefaultDllDirectories that succeeded
  // Process mitigation policies the tool asked for: (policy, flags).
  std::vector<std::pair<int, Dword>> mitigationPolicies;

  // ---- environment and version ----
  std::map<std::wstring, std::wstring> environment;  // by folded name
  void SetEnv(const std::wstring& name, const std::wstring& value) { environment[Fold(name)] = value; }
  Dword osMajor = 10, osMinor = 0, osBuild = 19045;
  // Windows 10 1709 (build 16299) and later delete with POSIX semantics on request.
  bool PosixDeleteSupported() const { return osMajor >= 10 && osBuild >= 16299; }

  // ---- command line memory ----
  std::set<void*> localAllocations;

  // ---- standard output ----
  std::wstring stdoutText;  // what WriteStdout wrote
  // The standard output handle's kind (GetFileType): 0, none (a GUI
  // program started without a redirection); FILE_TYPE_DISK or _PIPE. What
  // WriteFile writes to it, and a pipe that nobody drains: every write then
  // waits until it is cancelled after its bound.
  Dword stdoutType = 0;
  std::string stdoutBytes;
  bool stdoutStalls = false;
};

}  // namespace sim
