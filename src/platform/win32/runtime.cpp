// The Win32 side of the seam's runtime section: errors, time, the process
// itself, environment, command line (split by shell32), local memory,
// version, standard output.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/system_library.h"
#include "platform/win32/windows_types.h"

static_assert(sizeof(OSVERSIONINFOW) == platform::kOsVersionInfoSize, "OSVERSIONINFOW");
static_assert(platform::kProcessRedirectionTrustPolicy == ProcessRedirectionTrustPolicy, "mitigation policy");

namespace platform {

using win32::SystemFunction;

Dword GetLastError() {
  const ::win32::CallWatch watch;
  return ::GetLastError();
}
void SetLastError(Dword error) {
  const ::win32::CallWatch watch;
  ::SetLastError(error);
}
void Sleep(Dword milliseconds) {
  const ::win32::DeliberateWait wait(milliseconds);
  ::Sleep(milliseconds);
}
bool QueryUnbiasedInterruptTime(std::uint64_t* unbiasedTime) {
  const ::win32::CallWatch watch;
  ULONGLONG time = 0;
  if (!::QueryUnbiasedInterruptTime(&time)) return false;
  *unbiasedTime = time;
  return true;
}
Dword SetErrorMode(Dword mode) {
  const ::win32::CallWatch watch;
  return ::SetErrorMode(mode);
}
bool SetDefaultDllDirectories(Dword directoryFlags) {
  const ::win32::CallWatch watch;
  using Function = BOOL(WINAPI*)(DWORD);
  static const Function set = SystemFunction<Function>(L"kernel32.dll", "SetDefaultDllDirectories");
  if (set == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return set(directoryFlags) != FALSE;
}
Dword GetModuleFileNameW(wchar_t* fileName, Dword size) {
  const ::win32::CallWatch watch;
  return ::GetModuleFileNameW(nullptr, fileName, size);
}
bool SetProcessMitigationPolicy(int policy, const void* buffer, std::size_t length) {
  const ::win32::CallWatch watch;
  // Windows 8 and later only: looked up at run time, so that the tool still
  // starts on Windows 7.
  using Function = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
  static const Function setPolicy = SystemFunction<Function>(L"kernel32.dll", "SetProcessMitigationPolicy");
  if (setPolicy == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return setPolicy(static_cast<PROCESS_MITIGATION_POLICY>(policy), const_cast<void*>(buffer), length) != FALSE;
}
Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size) {
  const ::win32::CallWatch watch;
  return ::ExpandEnvironmentStringsW(source, destination, size);
}
const wchar_t* GetCommandLineW() {
  const ::win32::CallWatch watch;
  return ::GetCommandLineW();
}
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount) {
  const ::win32::CallWatch watch;
  return ::CommandLineToArgvW(commandLine, argumentCount);
}
void* LocalFree(void* memory) {
  const ::win32::CallWatch watch;
  return ::LocalFree(memory);
}
bool GetVersionExW(OsVersionInfo* info) {
  const ::win32::CallWatch watch;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL ok = ::GetVersionExW(&v);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) return false;
  info->dwMajorVersion = v.dwMajorVersion;
  info->dwMinorVersion = v.dwMinorVersion;
  info->dwBuildNumber = v.dwBuildNumber;
  info->dwPlatformId = v.dwPlatformId;
  std::memcpy(info->szCSDVersion, v.szCSDVersion, sizeof(v.szCSDVersion));
  return true;
}

void WriteStdout(const wchar_t* text) {
  const ::win32::CallWatch watch;
  std::fputws(text, stdout);
  std::fflush(stdout);
}

static_assert(kStdOutputHandle == STD_OUTPUT_HANDLE && kFileTypeDisk == FILE_TYPE_DISK &&
                  kFileTypePipe == FILE_TYPE_PIPE,
              "standard handles and file types");
Handle GetStdHandle(Dword stdHandle) {
  const ::win32::CallWatch watch;
  HANDLE h = ::GetStdHandle(stdHandle);
  return h == INVALID_HANDLE_VALUE ? nullptr : win32::P(h);
}
Dword GetFileType(Handle file) {
  const ::win32::CallWatch watch;
  return ::GetFileType(win32::H(file));
}

}  // namespace platform
