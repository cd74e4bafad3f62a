// freeze-thread.exe NAME: suspends the first thread of the first running
// process of that executable name, and leaves it suspended: to the process,
// whatever call that thread was in never returns. Exit code 0 when a thread
// was suspended, 1 otherwise.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 1;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  DWORD pid = 0;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof(process);
  for (BOOL more = Process32FirstW(snapshot, &process); more && pid == 0; more = Process32NextW(snapshot, &process)) {
    if (_wcsicmp(process.szExeFile, argv[1]) == 0) pid = process.th32ProcessID;
  }
  int result = 1;
  THREADENTRY32 thread{};
  thread.dwSize = sizeof(thread);
  for (BOOL more = Thread32First(snapshot, &thread); more && pid != 0; more = Thread32Next(snapshot, &thread)) {
    if (thread.th32OwnerProcessID != pid) continue;
    // The first thread listed is the one the process began with.
    HANDLE handle = OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread.th32ThreadID);
    if (handle != nullptr && SuspendThread(handle) != static_cast<DWORD>(-1)) result = 0;
    if (handle != nullptr) CloseHandle(handle);
    break;
  }
  CloseHandle(snapshot);
  return result;
}
