// process-probe.exe MODE: the baselines bench/process_bench.sh measures the
// tool's process look-ups against, and the windows it measures them among.
//   bare             starts and ends: the start-up every program pays
//   windows          one EnumWindows pass that reads each window owner's
//                    name once (PROCESS_QUERY_LIMITED_INFORMATION,
//                    QueryFullProcessImageNameW): what one "--stop" attempt
//                    needs at least
//   snapshot         one process snapshot, walked to its end: what one
//                    "--force-stop" sweep needs at least
//   own N SECONDS    keeps N hidden top-level windows for SECONDS seconds
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <map>

namespace {

BOOL CALLBACK ReadOwner(HWND window, LPARAM parameter) {
  auto& names = *reinterpret_cast<std::map<DWORD, bool>*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (names.count(pid) != 0) return TRUE;
  bool read = false;
  if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    read = QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
    CloseHandle(process);
  }
  names[pid] = read;
  return TRUE;
}

int Own(int count, int seconds) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"CmProbeWindow";
  RegisterClassW(&windowClass);
  for (int i = 0; i < count; ++i) {
    CreateWindowExW(0, windowClass.lpszClassName, L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                    windowClass.hInstance, nullptr);
  }
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  MSG message;
  while (GetTickCount() < end) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* mode = argc > 1 ? argv[1] : L"bare";
  if (std::wcscmp(mode, L"windows") == 0) {
    std::map<DWORD, bool> names;
    EnumWindows(ReadOwner, reinterpret_cast<LPARAM>(&names));
  } else if (std::wcscmp(mode, L"snapshot") == 0) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    }
    CloseHandle(snapshot);
  } else if (std::wcscmp(mode, L"own") == 0 && argc > 3) {
    return Own(_wtoi(argv[2]), _wtoi(argv[3]));
  }
  return 0;
}
