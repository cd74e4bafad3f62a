#include "process/stop_client.h"

#include "platform/handles.h"

using namespace platform;

void TerminateProcessesByName(const std::wstring& name, SessionFilter session) {
  for (const Dword pid : FindProcessesByName(name, session)) {
    UniqueHandle process(OpenProcess(kProcessTerminate | kSynchronize, /*inheritHandle=*/false, pid));
    if (!process) continue;  // gone already, or not ours to end
    TerminateProcess(process.get(), /*exitCode=*/0);
    WaitForSingleObject(process.get(), kTerminationWaitLimitMs);
  }
}
