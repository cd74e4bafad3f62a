#include "process/process_lookup.h"

using namespace platform;

namespace {

// Room for the longest Win32 path QueryFullProcessImageNameW returns.
constexpr Dword kImagePathCharacters = 32768;

}  // namespace

bool TakeProcessSnapshot(std::vector<SnapshotProcess>* processes) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(kTh32csSnapProcess, /*processId=*/0));
  if (!snapshot) return false;
  std::vector<SnapshotProcess> taken;
  ProcessEntry entry{};
  entry.dwSize = sizeof(entry);
  for (bool more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    entry.szExeFile[kMaxPath - 1] = L'\0';
    taken.push_back({entry.th32ProcessID, entry.szExeFile});
  }
  *processes = std::move(taken);
  return true;
}

bool GetProcessImageBaseName(Handle process, std::wstring* name) {
  std::wstring path(kImagePathCharacters, L'\0');
  Dword size = kImagePathCharacters;
  if (!QueryFullProcessImageNameW(process, /*flags=*/0, &path[0], &size) || size >= kImagePathCharacters) return false;
  path.resize(size);
  *name = path.substr(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/") + 1);
  return true;
}

UniqueHandle OpenProcessNamed(Dword processId, Dword access, const std::vector<std::wstring>& names) {
  UniqueHandle process(OpenProcess(access | kProcessQueryLimitedInformation, /*inheritHandle=*/false, processId));
  std::wstring name;
  if (!process || !GetProcessImageBaseName(process.get(), &name) || !IsOneOfNames(name, names)) return UniqueHandle();
  return process;
}

std::vector<Dword> FindProcessesByName(const std::wstring& name, SessionFilter session) {
  std::vector<Dword> found;
  ForEachProcessNamed({name}, session, kProcessQueryLimitedInformation,
                      [&found](Dword processId, Handle, const std::wstring&) { found.push_back(processId); });
  return found;
}

bool IsOneOfNames(const std::wstring& name, const std::vector<std::wstring>& names) {
  for (const std::wstring& candidate : names) {
    if (NamesEqualIgnoreCase(name, candidate)) return true;
  }
  return false;
}
