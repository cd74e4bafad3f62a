// The Win32 side of the seam: each function forwards to the real API.
// Windows types stop here.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <tlhelp32.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wtsapi32.h>
// clang-format on

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <cstring>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(WCHAR), "wide strings are UTF-16 on Windows");
static_assert(sizeof(SHELLEXECUTEINFOW) == platform::kShellExecuteInfoSize, "64-bit SHELLEXECUTEINFOW");
static_assert(sizeof(OSVERSIONINFOW) == platform::kOsVersionInfoSize, "OSVERSIONINFOW");
static_assert(sizeof(platform::Dword) == sizeof(DWORD), "DWORD");
static_assert(sizeof(platform::Long) == sizeof(LONG), "LONG");

// The files-by-handle structures pass straight through to the real calls, so
// each must have the real structure's size and field offsets.
#define CM_SAME_FIELD(Seam, Real, seamField, realField)                             \
  static_assert(offsetof(platform::Seam, seamField) == offsetof(Real, realField) && \
                    sizeof(platform::Seam::seamField) == sizeof(Real::realField),   \
                #Seam "::" #seamField " is " #Real "::" #realField)
#define CM_SAME_SIZE(Seam, Real) static_assert(sizeof(platform::Seam) == sizeof(Real), #Seam " is " #Real)

CM_SAME_SIZE(FileAttributeTagInformation, FILE_ATTRIBUTE_TAG_INFO);
CM_SAME_FIELD(FileAttributeTagInformation, FILE_ATTRIBUTE_TAG_INFO, FileAttributes, FileAttributes);
CM_SAME_FIELD(FileAttributeTagInformation, FILE_ATTRIBUTE_TAG_INFO, ReparseTag, ReparseTag);

CM_SAME_SIZE(FileBasicInformation, FILE_BASIC_INFO);
CM_SAME_FIELD(FileBasicInformation, FILE_BASIC_INFO, CreationTime, CreationTime);
CM_SAME_FIELD(FileBasicInformation, FILE_BASIC_INFO, LastAccessTime, LastAccessTime);
CM_SAME_FIELD(FileBasicInformation, FILE_BASIC_INFO, LastWriteTime, LastWriteTime);
CM_SAME_FIELD(FileBasicInformation, FILE_BASIC_INFO, ChangeTime, ChangeTime);
CM_SAME_FIELD(FileBasicInformation, FILE_BASIC_INFO, FileAttributes, FileAttributes);

// FILE_DISPOSITION_INFO's member is spelled DeleteFile, which <windows.h>
// turns into DeleteFileW in both structures here alike.
CM_SAME_SIZE(FileDispositionInformation, FILE_DISPOSITION_INFO);
CM_SAME_FIELD(FileDispositionInformation, FILE_DISPOSITION_INFO, DeleteFile, DeleteFile);
// The headers declare FILE_DISPOSITION_INFO_EX only for Windows 10 targets;
// its documented layout (winbase.h, FILE_DISPOSITION_INFORMATION_EX in
// ntddk.h) is one ULONG of flags.
struct RealFileDispositionInfoEx {
  ULONG Flags;
};
CM_SAME_SIZE(FileDispositionInformationEx, RealFileDispositionInfoEx);
CM_SAME_FIELD(FileDispositionInformationEx, RealFileDispositionInfoEx, Flags, Flags);

// SetFileInformationByHandle's FILE_RENAME_INFO; NtSetInformationFile's
// FILE_RENAME_INFORMATION is checked beside it in win32_nt.cpp.
CM_SAME_SIZE(FileRenameInformation, FILE_RENAME_INFO);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFO, ReplaceIfExists, ReplaceIfExists);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFO, RootDirectory, RootDirectory);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFO, FileNameLength, FileNameLength);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFO, FileName, FileName);

// FILE_ID_BOTH_DIR_INFO (GetFileInformationByHandleEx), which has the layout
// of NtQueryDirectoryFile's FILE_ID_BOTH_DIR_INFORMATION.
CM_SAME_SIZE(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, NextEntryOffset, NextEntryOffset);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, FileIndex, FileIndex);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, CreationTime, CreationTime);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, LastAccessTime, LastAccessTime);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, LastWriteTime, LastWriteTime);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, ChangeTime, ChangeTime);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, EndOfFile, EndOfFile);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, AllocationSize, AllocationSize);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, FileAttributes, FileAttributes);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, FileNameLength, FileNameLength);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, EaSize, EaSize);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, ShortNameLength, ShortNameLength);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, ShortName, ShortName);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, FileId, FileId);
CM_SAME_FIELD(FileIdBothDirInformation, FILE_ID_BOTH_DIR_INFO, FileName, FileName);
#undef CM_SAME_FIELD
#undef CM_SAME_SIZE

// The information classes and flags pass through as numbers.
static_assert(platform::kFileBasicInfo == FileBasicInfo && platform::kFileDispositionInfo == FileDispositionInfo &&
                  platform::kFileAttributeTagInfo == FileAttributeTagInfo &&
                  platform::kFileIdBothDirectoryInfo == FileIdBothDirectoryInfo &&
                  platform::kFileIdBothDirectoryRestartInfo == FileIdBothDirectoryRestartInfo,
              "FILE_INFO_BY_HANDLE_CLASS");
static_assert(platform::kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS &&
                  platform::kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT &&
                  platform::kFileDispositionFlagDelete == FILE_DISPOSITION_FLAG_DELETE &&
                  platform::kFileDispositionFlagPosixSemantics == FILE_DISPOSITION_FLAG_POSIX_SEMANTICS &&
                  platform::kProcessRedirectionTrustPolicy == ProcessRedirectionTrustPolicy,
              "CreateFileW flags, disposition flags, mitigation policy");
static_assert(sizeof(std::uint64_t) == sizeof(ULARGE_INTEGER) && sizeof(platform::Dword) == sizeof(ULONG),
              "IStream::Seek and IStream::Read outputs");

namespace platform {
namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle P(HANDLE h) { return reinterpret_cast<Handle>(h); }
HKEY K(RegKey k) { return reinterpret_cast<HKEY>(k); }
HWND W(Hwnd w) { return reinterpret_cast<HWND>(w); }
IShellLinkW* L(ShellLink l) { return reinterpret_cast<IShellLinkW*>(l); }
IPersistStream* PS(PersistStream p) { return reinterpret_cast<IPersistStream*>(p); }
IStream* S(Stream s) { return reinterpret_cast<IStream*>(s); }

struct EnumWindowsTrampoline {
  EnumWindowsCallback callback;
  std::intptr_t parameter;
};

BOOL CALLBACK EnumWindowsThunk(HWND window, LPARAM lParam) {
  auto* t = reinterpret_cast<EnumWindowsTrampoline*>(lParam);
  return t->callback(reinterpret_cast<Hwnd>(window), t->parameter) ? TRUE : FALSE;
}

// A DLL that is not one of the system's KnownDLLs (userenv, wtsapi32) would
// be looked for beside the executable first if it were imported: a DLL
// planted there (the tool may run elevated from a user's temporary folder)
// would run in the tool. So such a DLL is loaded only when first needed and
// only from the system folder; where LOAD_LIBRARY_SEARCH_SYSTEM32 is not
// known (Windows 7 without KB2533623) by its full path in the system
// folder, its own dependencies looked for there too.
HMODULE SystemLibrary(const wchar_t* name) {
  HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 20) return nullptr;
  std::wstring path(folder, length);
  path += L"\\";
  path += name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A function of such a DLL, or of a newer kernel32, looked up once. Null,
// with the last error set, when it is not there.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = std::wcscmp(dll, L"kernel32.dll") == 0 ? ::GetModuleHandleW(dll) : SystemLibrary(dll);
  FARPROC found = module != nullptr ? ::GetProcAddress(module, name) : nullptr;
  if (found == nullptr) ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace

Dword GetLastError() { return ::GetLastError(); }
void SetLastError(Dword error) { ::SetLastError(error); }
void Sleep(Dword milliseconds) { ::Sleep(milliseconds); }
std::uint64_t GetTickCount64() { return ::GetTickCount64(); }
Dword SetErrorMode(Dword mode) { return ::SetErrorMode(mode); }
bool SetDefaultDllDirectories(Dword directoryFlags) {
  using Function = BOOL(WINAPI*)(DWORD);
  static const Function set = SystemFunction<Function>(L"kernel32.dll", "SetDefaultDllDirectories");
  if (set == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return set(directoryFlags) != FALSE;
}
Dword GetModuleFileNameW(wchar_t* fileName, Dword size) { return ::GetModuleFileNameW(nullptr, fileName, size); }

Dword GetCurrentProcessId() { return ::GetCurrentProcessId(); }
Handle GetCurrentProcess() { return P(::GetCurrentProcess()); }
bool ProcessIdToSessionId(Dword processId, Dword* sessionId) {
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
  return P(::CreateToolhelp32Snapshot(flags, processId));
}
bool Process32FirstW(Handle snapshot, ProcessEntry* entry) {
  return ::Process32FirstW(H(snapshot), reinterpret_cast<PROCESSENTRY32W*>(entry)) != FALSE;
}
bool Process32NextW(Handle snapshot, ProcessEntry* entry) {
  return ::Process32NextW(H(snapshot), reinterpret_cast<PROCESSENTRY32W*>(entry)) != FALSE;
}
bool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* name, Dword* size) {
  DWORD length = *size;
  if (!::QueryFullProcessImageNameW(H(process), flags, name, &length)) return false;
  *size = length;
  return true;
}
bool GetProcessTimes(Handle process, FileTime* creation, FileTime* exit, FileTime* kernel, FileTime* user) {
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
  return P(::OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId));
}
bool TerminateProcess(Handle process, Dword exitCode) { return ::TerminateProcess(H(process), exitCode) != FALSE; }
Dword WaitForSingleObject(Handle handle, Dword milliseconds) {
  return ::WaitForSingleObject(H(handle), milliseconds);
}
bool CloseHandle(Handle handle) { return ::CloseHandle(H(handle)) != FALSE; }


bool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
  HANDLE t = nullptr;
  if (!::OpenProcessToken(H(process), desiredAccess, &t)) return false;
  *token = P(t);
  return true;
}
bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, Luid* luid) {
  LUID l{};
  if (!::LookupPrivilegeValueW(systemName, name, &l)) return false;
  luid->lowPart = l.LowPart;
  luid->highPart = l.HighPart;
  return true;
}
bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges, const TokenPrivilege& newState) {
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid.LowPart = newState.luid.lowPart;
  tp.Privileges[0].Luid.HighPart = newState.luid.highPart;
  tp.Privileges[0].Attributes = newState.attributes;
  return ::AdjustTokenPrivileges(H(token), disableAllPrivileges ? TRUE : FALSE, &tp, 0, nullptr, nullptr) != FALSE;
}
bool DuplicateTokenEx(Handle existingToken, Dword desiredAccess, int impersonationLevel, int tokenType,
                      Handle* newToken) {
  HANDLE t = nullptr;
  if (!::DuplicateTokenEx(H(existingToken), desiredAccess, nullptr,
                          static_cast<SECURITY_IMPERSONATION_LEVEL>(impersonationLevel),
                          static_cast<TOKEN_TYPE>(tokenType), &t)) {
    return false;
  }
  *newToken = P(t);
  return true;
}
namespace {
STARTUPINFOW StartupInfoOf(const StartupInfo& startupInfo) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = startupInfo.dwFlags;
  si.wShowWindow = startupInfo.wShowWindow;
  si.lpDesktop = const_cast<wchar_t*>(startupInfo.lpDesktop);
  return si;
}
ProcessInformation ProcessInformationOf(const PROCESS_INFORMATION& pi) {
  return {P(pi.hProcess), P(pi.hThread), pi.dwProcessId, pi.dwThreadId};
}
}  // namespace

bool CreateEnvironmentBlock(void** environment, Handle token, bool inherit) {
  using Function = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
  static const Function create = SystemFunction<Function>(L"userenv.dll", "CreateEnvironmentBlock");
  return create != nullptr && create(environment, H(token), inherit ? TRUE : FALSE) != FALSE;
}
bool DestroyEnvironmentBlock(void* environment) {
  using Function = BOOL(WINAPI*)(LPVOID);
  static const Function destroy = SystemFunction<Function>(L"userenv.dll", "DestroyEnvironmentBlock");
  return destroy != nullptr && destroy(environment) != FALSE;
}
bool CreateProcessWithTokenW(Handle token, Dword logonFlags, const wchar_t* applicationName, wchar_t* commandLine,
                             Dword creationFlags, void* environment, const wchar_t* currentDirectory,
                             const StartupInfo& startupInfo, ProcessInformation* processInformation) {
  STARTUPINFOW si = StartupInfoOf(startupInfo);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessWithTokenW(H(token), logonFlags, applicationName, commandLine, creationFlags, environment,
                                 currentDirectory, &si, &pi)) {
    return false;
  }
  *processInformation = ProcessInformationOf(pi);
  return true;
}
bool CreateProcessAsUserW(Handle token, const wchar_t* applicationName, wchar_t* commandLine, Dword creationFlags,
                          void* environment, const wchar_t* currentDirectory, const StartupInfo& startupInfo,
                          ProcessInformation* processInformation) {
  STARTUPINFOW si = StartupInfoOf(startupInfo);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessAsUserW(H(token), applicationName, commandLine, nullptr, nullptr, /*bInheritHandles=*/FALSE,
                              creationFlags, environment, currentDirectory, &si, &pi)) {
    return false;
  }
  *processInformation = ProcessInformationOf(pi);
  return true;
}

bool WTSEnumerateSessionsW(WtsSessionInfo** sessions, Dword* count) {
  static_assert(sizeof(WtsSessionInfo) == sizeof(WTS_SESSION_INFOW) &&
                    offsetof(WtsSessionInfo, State) == offsetof(WTS_SESSION_INFOW, State),
                "WTS_SESSION_INFOW");
  static_assert(kWtsActive == WTSActive, "WTSActive");
  using Function = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
  static const Function enumerate = SystemFunction<Function>(L"wtsapi32.dll", "WTSEnumerateSessionsW");
  PWTS_SESSION_INFOW info = nullptr;
  DWORD n = 0;
  if (enumerate == nullptr || !enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &n)) return false;
  *sessions = reinterpret_cast<WtsSessionInfo*>(info);
  *count = n;
  return true;
}
void WTSFreeMemory(void* memory) {
  using Function = void(WINAPI*)(PVOID);
  static const Function release = SystemFunction<Function>(L"wtsapi32.dll", "WTSFreeMemory");
  if (release != nullptr) release(memory);
}
bool WTSQueryUserToken(Dword sessionId, Handle* token) {
  using Function = BOOL(WINAPI*)(ULONG, PHANDLE);
  static const Function query = SystemFunction<Function>(L"wtsapi32.dll", "WTSQueryUserToken");
  HANDLE t = nullptr;
  if (query == nullptr || !query(sessionId, &t)) return false;
  *token = P(t);
  return true;
}

bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter) {
  EnumWindowsTrampoline t{callback, parameter};
  return ::EnumWindows(EnumWindowsThunk, reinterpret_cast<LPARAM>(&t)) != FALSE;
}
Dword GetWindowThreadProcessId(Hwnd window, Dword* processId) {
  DWORD pid = 0;
  const DWORD tid = ::GetWindowThreadProcessId(W(window), &pid);
  if (processId != nullptr) *processId = pid;
  return tid;
}
bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return ::PostMessageW(W(window), message, wParam, lParam) != FALSE;
}

Long RegOpenKeyExW(RegKey key, const wchar_t* subKey, Dword options, Dword desiredAccess, RegKey* result) {
  HKEY k = nullptr;
  const LONG rc = ::RegOpenKeyExW(K(key), subKey, options, desiredAccess, &k);
  if (rc == ERROR_SUCCESS) *result = reinterpret_cast<RegKey>(k);
  return rc;
}
Long RegQueryInfoKeyW(RegKey key, Dword* subKeys, Dword* maxSubKeyLength) {
  return ::RegQueryInfoKeyW(K(key), nullptr, nullptr, nullptr, reinterpret_cast<DWORD*>(subKeys),
                            reinterpret_cast<DWORD*>(maxSubKeyLength), nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr);
}
Long RegEnumKeyExW(RegKey key, Dword index, wchar_t* name, Dword* nameLength) {
  return ::RegEnumKeyExW(K(key), index, name, reinterpret_cast<DWORD*>(nameLength), nullptr, nullptr, nullptr,
                         nullptr);
}
Long RegQueryValueExW(RegKey key, const wchar_t* valueName, Dword* type, std::uint8_t* data, Dword* dataBytes) {
  return ::RegQueryValueExW(K(key), valueName, nullptr, reinterpret_cast<DWORD*>(type), data,
                            reinterpret_cast<DWORD*>(dataBytes));
}
Long RegCloseKey(RegKey key) { return ::RegCloseKey(K(key)); }

Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size) {
  return ::ExpandEnvironmentStringsW(source, destination, size);
}
const wchar_t* GetCommandLineW() { return ::GetCommandLineW(); }
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount) {
  return ::CommandLineToArgvW(commandLine, argumentCount);
}
void* LocalFree(void* memory) { return ::LocalFree(memory); }
bool GetVersionExW(OsVersionInfo* info) {
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

HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path) {
  return ::SHGetFolderPathW(W(owner), csidl, H(token), flags, path);
}
bool ShellExecuteExW(ShellExecuteInfo* info) {
  SHELLEXECUTEINFOW sei;
  std::memset(&sei, 0, sizeof(sei));
  sei.cbSize = info->cbSize;
  sei.fMask = info->fMask;
  sei.hwnd = W(info->hwnd);
  sei.lpVerb = info->lpVerb;
  sei.lpFile = info->lpFile;
  sei.lpParameters = info->lpParameters;
  sei.lpDirectory = info->lpDirectory;
  sei.nShow = info->nShow;
  sei.hInstApp = static_cast<HINSTANCE>(info->hInstApp);
  const BOOL ok = ::ShellExecuteExW(&sei);
  info->hInstApp = sei.hInstApp;
  info->hProcess = P(sei.hProcess);
  return ok != FALSE;
}
Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer) {
  return ::GetFullPathNameW(path, bufferLength, buffer, nullptr);
}

Handle CreateFileW(const wchar_t* fileName, Dword desiredAccess, Dword shareMode, Dword creationDisposition,
                   Dword flagsAndAttributes) {
  return P(
      ::CreateFileW(fileName, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr));
}
bool GetFileInformationByHandleEx(Handle file, int fileInformationClass, void* fileInformation, Dword bufferSize) {
  return ::GetFileInformationByHandleEx(H(file), static_cast<FILE_INFO_BY_HANDLE_CLASS>(fileInformationClass),
                                        fileInformation, bufferSize) != FALSE;
}
bool SetFileInformationByHandle(Handle file, int fileInformationClass, const void* fileInformation, Dword bufferSize) {
  return ::SetFileInformationByHandle(H(file), static_cast<FILE_INFO_BY_HANDLE_CLASS>(fileInformationClass),
                                      const_cast<void*>(fileInformation), bufferSize) != FALSE;
}
bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  // Without OVERLAPPED the count is required; WriteFile sets it, to 0 on failure.
  DWORD written = 0;
  const BOOL ok = ::WriteFile(H(file), buffer, bytesToWrite, &written, nullptr);
  if (bytesWritten != nullptr) *bytesWritten = written;
  return ok != FALSE;
}

bool SetProcessMitigationPolicy(int policy, const void* buffer, std::size_t length) {
  // Windows 8 and later only: looked up at run time, so that the tool still
  // starts on Windows 7.
  using Function = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC found = kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetProcessMitigationPolicy") : nullptr;
  if (found == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  const auto setPolicy = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
  return setPolicy(static_cast<PROCESS_MITIGATION_POLICY>(policy), const_cast<void*>(buffer), length) != FALSE;
}

HResult CoInitialize(void* reserved) { return ::CoInitialize(reserved); }
HResult CreateShellLink(ShellLink* link) {
  IShellLinkW* l = nullptr;
  const HRESULT hr =
      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&l));
  if (hr == S_OK) *link = reinterpret_cast<ShellLink>(l);
  return hr;
}
HResult ShellLinkSetPath(ShellLink link, const wchar_t* path) { return L(link)->SetPath(path); }
HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description) {
  return L(link)->SetDescription(description);
}
HResult ShellLinkQueryPersistStream(ShellLink link, PersistStream* persistStream) {
  IPersistStream* p = nullptr;
  const HRESULT hr = L(link)->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&p));
  if (hr == S_OK) *persistStream = reinterpret_cast<PersistStream>(p);
  return hr;
}
HResult PersistStreamSave(PersistStream persistStream, Stream stream, bool clearDirty) {
  return PS(persistStream)->Save(S(stream), clearDirty ? TRUE : FALSE);
}
Dword PersistStreamRelease(PersistStream persistStream) { return PS(persistStream)->Release(); }
HResult CreateStreamOnHGlobal(bool deleteOnRelease, Stream* stream) {
  IStream* s = nullptr;
  const HRESULT hr = ::CreateStreamOnHGlobal(nullptr, deleteOnRelease ? TRUE : FALSE, &s);
  if (hr == S_OK) *stream = reinterpret_cast<Stream>(s);
  return hr;
}
HResult StreamSeek(Stream stream, std::int64_t move, Dword origin, std::uint64_t* newPosition) {
  LARGE_INTEGER distance;
  distance.QuadPart = move;
  return S(stream)->Seek(distance, origin, reinterpret_cast<ULARGE_INTEGER*>(newPosition));
}
HResult StreamRead(Stream stream, void* buffer, Dword bytes, Dword* bytesRead) {
  return S(stream)->Read(buffer, bytes, reinterpret_cast<ULONG*>(bytesRead));
}
Dword StreamRelease(Stream stream) { return S(stream)->Release(); }
Dword ShellLinkRelease(ShellLink link) { return L(link)->Release(); }

void WriteStdout(const wchar_t* text) {
  std::fputws(text, stdout);
  std::fflush(stdout);
}

}  // namespace platform
