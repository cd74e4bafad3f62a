#include "process/terminate_processes.h"

#include <set>
#include <utility>

#include "common/decimal_text.h"
#include "common/report.h"

using namespace platform;

namespace {

// The rights to end a process and wait for it (OpenProcessNamed adds the
// right to read its name on the very handle that ends it).
constexpr Dword kEndAccess = kProcessTerminate | kSynchronize;

// A process as the sweeps tell it from another that later had its identifier.
using ProcessIdentity = std::pair<Dword, FileTime>;

// One sweep over one snapshot: ends every process with one of names (and in
// the filter's session) that has not been tried before, each confirmed by
// name on the handle that ends it, and waits for it (bounded). Returns how
// many it ended.
int TerminationSweep(const std::vector<std::wstring>& names, SessionFilter session, std::set<ProcessIdentity>* tried) {
  int ended = 0;
  ForEachProcessNamed(names, session, kEndAccess, [&](Dword processId, Handle process, const std::wstring& name) {
    FileTime created = 0;
    GetProcessTimes(process, &created, nullptr, nullptr, nullptr);
    // One that would not end is not waited for again.
    if (!tried->insert({processId, created}).second) return;
    // A process that is already ending refuses the request (access denied)
    // and is still worth waiting for.
    const bool endedIt = TerminateProcess(process, /*exitCode=*/0);
    if (endedIt) ++ended;
    const Dword waited = WaitForSingleObject(process, kTerminationWaitLimitMs);
    if (report::On()) {
      const std::wstring what = name + L" (process " + DecimalText(processId) + L")";
      if (!endedIt) {
        report::Say(L"left", what, L"refused to end (access denied, or ending already)");
      } else if (waited == kWaitObject0) {
        report::Say(L"ended", what);
      } else {
        report::Say(L"ended", what,
                    L"asked to end; still there after " + DecimalText(kTerminationWaitLimitMs / 1000) + L" s");
      }
    }
  });
  return ended;
}

}  // namespace

int TerminateProcessesNamed(const std::vector<std::wstring>& names, SessionFilter session, int maxSweeps) {
  std::set<ProcessIdentity> tried;
  int ended = 0;
  // A process may start another one as it goes (a daemon bringing its
  // window back): after a sweep that ended something, another looks for
  // those that started meanwhile.
  for (int sweep = 0; sweep < maxSweeps; ++sweep) {
    const int endedNow = TerminationSweep(names, session, &tried);
    ended += endedNow;
    if (endedNow == 0) break;
  }
  return ended;
}
