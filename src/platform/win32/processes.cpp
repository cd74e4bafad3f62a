// The Win32 side of the seam's processes section: the process snapshot,
// opening, waiting for and ending processes, and CloseHandle.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <tlhelp32.h>
// clang-format on

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/windows_types.h"

namespace platform {

using win32::H;
using win32::P;

Dword GetCurrentProcessId() {
  const ::win32::CallWatch watch;
  return ::GetCurrentProcessId();
}
Handle GetCurrentProcess() {
  const ::win32::CallWatch watch;
  return P(::GetCurrentProcess());
}
bool ProcessIdToSessionId(Dword processId, Dword* sessionId) {
  const ::win32::CallWatch watch;
  DWORD s = 0;
  if (!::ProcessIdToSessionId(processId, &s)) return false;
  *sessionId = s;
  return true;
}
// PROCESSENTRY32W passes straight through.
static_assert(sizeof(ProcessEntry) == sizeof(PROCESSENTRY32W) &&
                  offsetof(ProcessEntry, th32ProcessID) == offsetof(PROCESSENTRY32W, th32ProcessID) &&
                  offsetof(ProcessEntry, th32ParentProcessID) == offsetof(PROCESSENTRY32W, th32ParentProcessID) &&
                  offsetof(ProcessEntry, szExeFile) == offsetof(PROCESSENTRY32W, szExeFile),
              "PROCESSENTRY32W");
static_assert(kTh32csSnapProcess == TH32CS_SNAPPROCESS, "TH32CS_SNAPPROCESS");
Handle CreateToolhelp32Snapshot(Dword flags, Dword processId) {
  const ::win32::CallWatch watch;
  return P(::CreateToolhelp32Snapshot(flags, processId));
}
bool Process32FirstW(Handle snapshot, ProcessEntry* entry) {
  const ::win32::CallWatch watch;
  return ::Process32FirstW(H(snapshot), reinterpret_cast<PROCESSENTRY32W*>(entry)) != FALSE;
}
bool Process32NextW(Handle snapshot, ProcessEntry* entry) {
  const ::win32::CallWatch watch;
  return ::Process32NextW(H(snapshot), reinterpret_cast<PROCESSENTRY32W*>(entry)) != FALSE;
}
bool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* name, Dword* size) {
  const ::win32::CallWatch watch;
  DWORD length = *size;
  if (!::QueryFullProcessImageNameW(H(process), flags, name, &length)) return false;
  *size = length;
  return true;
}
bool GetProcessTimes(Handle process, FileTime* creation, FileTime* exit, FileTime* kernel, FileTime* user) {
  const ::win32::CallWatch watch;
  FILETIME c{}, e{}, k{}, u{};
  if (!::GetProcessTimes(H(process), &c, &e, &k, &u)) return false;
  auto value = [](const FILETIME& t) { return (static_cast<FileTime>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  if (creation != nullptr) *creation = value(c);
  if (exit != nullptr) *exit = value(e);
  if (kernel != nullptr) *kernel = value(k);
  if (user != nullptr) *user = value(u);
  return true;
}
Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId) {
  const ::win32::CallWatch watch;
  return P(::OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId));
}
bool TerminateProcess(Handle process, Dword exitCode) {
  const ::win32::CallWatch watch;
  return ::TerminateProcess(H(process), exitCode) != FALSE;
}
Dword WaitForSingleObject(Handle handle, Dword milliseconds) {
  const ::win32::DeliberateWait wait(milliseconds);
  return ::WaitForSingleObject(H(handle), milliseconds);
}
bool CloseHandle(Handle handle) {
  const ::win32::CallWatch watch;
  return ::CloseHandle(H(handle)) != FALSE;
}

}  // namespace platform
