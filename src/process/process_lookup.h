// Which running processes have a given executable name, optionally within
// one Windows session. A fresh snapshot on every call; nothing is cached.
//
// Names come from a process snapshot (CreateToolhelp32Snapshot), which
// opens no process at all; a process that the snapshot names as one looked
// for is then opened with PROCESS_QUERY_LIMITED_INFORMATION only, and its
// name read again through that handle (QueryFullProcessImageNameW), so that
// an identifier that another process took over since the snapshot is never
// judged by the name it had before. No process is ever opened to read its
// memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/ignore_case.h"
#include "platform/handles.h"
#include "platform/platform.h"

// A session to restrict a look-up to; empty means every session.
using SessionFilter = std::optional<platform::Dword>;

// One process of a snapshot: its identifier and executable file name.
struct SnapshotProcess {
  platform::Dword pid;
  std::wstring name;
};

// The processes of one snapshot, in the system's order. False, leaving
// processes as it was, when no snapshot could be taken.
bool TakeProcessSnapshot(std::vector<SnapshotProcess>* processes);

// The identifiers of every process whose executable's base name equals name
// (letter case ignored) and that runs in the filter's session, in the
// system's order. Never fails: any failure gives a shorter or empty list.
// The session is tested before a process is opened; only processes that
// the snapshot names so are opened (PROCESS_QUERY_LIMITED_INFORMATION), and
// one whose name read through that handle differs, or cannot be read, is
// left out.
std::vector<platform::Dword> FindProcessesByName(const std::wstring& name, SessionFilter session);

// The base file name of the executable of the very process that process (a
// handle with PROCESS_QUERY_LIMITED_INFORMATION) refers to. On failure
// returns false and leaves name as it was.
bool GetProcessImageBaseName(platform::Handle process, std::wstring* name);

// Opens processId with access (PROCESS_QUERY_LIMITED_INFORMATION added) and
// keeps the handle only when the process it refers to has one of names:
// the name is confirmed through the handle that is then used. Null otherwise.
platform::UniqueHandle OpenProcessNamed(platform::Dword processId, platform::Dword access,
                                        const std::vector<std::wstring>& names);

// Whether name equals one of names, regardless of letter case.
bool IsOneOfNames(const std::wstring& name, const std::vector<std::wstring>& names);

// The walk every look-up and termination by name makes. Takes one snapshot
// and, in the system's order, for every process that the snapshot names
// with one of names (letter case ignored; no other process is opened) and
// that runs in the filter's session (read before the process is opened),
// opens it with OpenProcessNamed(access, names); for each one whose name
// that handle confirms, calls visit(processId, handle, its name as the
// snapshot gives it), and closes the handle when visit returns. Visits nothing when no snapshot can be taken.
template <typename Visit>
void ForEachProcessNamed(const std::vector<std::wstring>& names, SessionFilter session, platform::Dword access,
                         Visit&& visit) {
  std::vector<SnapshotProcess> processes;
  if (!TakeProcessSnapshot(&processes)) return;
  for (const SnapshotProcess& p : processes) {
    if (!IsOneOfNames(p.name, names)) continue;  // no other process is opened
    if (session) {
      platform::Dword processSession = 0;
      if (!platform::ProcessIdToSessionId(p.pid, &processSession) || processSession != *session) continue;
    }
    // Gone already, not ours to open, or another process has the identifier now.
    const platform::UniqueHandle process = OpenProcessNamed(p.pid, access, names);
    if (process) visit(p.pid, process.get(), p.name);
  }
}
