// The platform seam: every Windows call the tool makes, as plain functions.
//
// Each function mirrors one Windows API function: same inputs, outputs,
// result codes and last-error values, expressed in the tool's own plain types
// so that the tool's logic never includes <windows.h>. Two implementations
// exist and CMake links exactly one of them:
//   platform/win32/  forwards every call to the real API (the product);
//   platform/sim/    runs the same calls against a simulated machine that the
//                    unit tests set up and inspect (the host build).
//
// Where a Windows function has optional outputs that the tool never asks for
// (RegQueryInfoKeyW's class, security descriptor, ...; RegEnumKeyExW's class
// and last-write time), the mirror leaves them out and passes null for them.
// Byte counts are counts of bytes of the build's wchar_t: on Windows that is
// UTF-16; the host build uses its own wchar_t throughout, consistently.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using Dword = std::uint32_t;
using Long = std::int32_t;     // registry result codes (LSTATUS)
using HResult = std::int32_t;  // COM and shell result codes

// Opaque handle types. Their values are the real handle values on Windows.
struct HandleObject;
using Handle = HandleObject*;  // HANDLE: processes, tokens, find handles, heaps
struct KeyObject;
using RegKey = KeyObject*;  // HKEY
struct WindowObject;
using Hwnd = WindowObject*;  // HWND
struct ModuleObject;
using Module = ModuleObject*;  // HMODULE
struct ShellLinkObject;
using ShellLink = ShellLinkObject*;  // IShellLinkW*
struct PersistFileObject;
using PersistFile = PersistFileObject*;  // IPersistFile*

inline Handle InvalidHandleValue() { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1)); }
inline RegKey HkeyLocalMachine() {
  // HKEY_LOCAL_MACHINE is ((HKEY)(ULONG_PTR)((LONG)0x80000002)): sign-extended.
  return reinterpret_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
}

constexpr Dword kMaxPath = 260;

// --- Error codes (GetLastError values and registry results) ---
constexpr Dword kErrorSuccess = 0;
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorPathNotFound = 3;
constexpr Dword kErrorAccessDenied = 5;
constexpr Dword kErrorInvalidHandle = 6;
constexpr Dword kErrorNotEnoughMemory = 8;
constexpr Dword kErrorNotSameDevice = 17;
constexpr Dword kErrorSharingViolation = 32;
constexpr Dword kErrorBadNetpath = 53;
constexpr Dword kErrorInvalidParameter = 87;
constexpr Dword kErrorInsufficientBuffer = 122;
constexpr Dword kErrorInvalidName = 123;
constexpr Dword kErrorDirNotEmpty = 145;
constexpr Dword kErrorAlreadyExists = 183;
constexpr Dword kErrorMoreData = 234;
constexpr Dword kErrorNoMoreItems = 259;
constexpr Dword kErrorDirectory = 267;
constexpr Dword kErrorPartialCopy = 299;
constexpr Dword kErrorInvalidWindowHandle = 1400;
constexpr Dword kErrorCantResolveFilename = 1921;

// --- HRESULTs ---
constexpr HResult kSOk = 0;
constexpr HResult kSFalse = 1;
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kRegdbEClassNotReg = static_cast<HResult>(0x80040154u);
constexpr HResult kCoENotInitialized = static_cast<HResult>(0x800401F0u);
constexpr HResult HResultFromWin32(Dword error) {
  return error == 0 ? 0 : static_cast<HResult>((error & 0xFFFFu) | 0x80070000u);
}

// --- Processes, tokens, waits ---
constexpr Dword kProcessTerminate = 0x0001;
constexpr Dword kProcessVmRead = 0x0010;
constexpr Dword kProcessQueryInformation = 0x0400;
constexpr Dword kProcessQueryLimitedInformation = 0x1000;
constexpr Dword kSynchronize = 0x00100000;

constexpr Dword kTokenAssignPrimary = 0x0001;
constexpr Dword kTokenDuplicate = 0x0002;
constexpr Dword kTokenImpersonate = 0x0004;
constexpr Dword kTokenQuery = 0x0008;
constexpr Dword kTokenAdjustPrivileges = 0x0020;
constexpr Dword kTokenAllAccess = 0x000F01FF;
constexpr Dword kSePrivilegeEnabled = 0x00000002;
constexpr int kSecurityImpersonation = 2;  // SECURITY_IMPERSONATION_LEVEL
constexpr int kTokenPrimary = 1;           // TOKEN_TYPE

constexpr Dword kInfinite = 0xFFFFFFFF;
constexpr Dword kWaitObject0 = 0;
constexpr Dword kWaitTimeout = 258;
constexpr Dword kWaitFailed = 0xFFFFFFFF;
constexpr Dword kStillActive = 259;

constexpr Dword kHeapZeroMemory = 0x00000008;

struct Luid {
  Dword lowPart;
  std::int32_t highPart;
};

// TOKEN_PRIVILEGES with exactly one entry, the only form the tool passes.
struct TokenPrivilege {
  Luid luid;
  Dword attributes;
};

// --- Windows and messages ---
constexpr std::uint32_t kWmEndSession = 0x0016;
constexpr std::intptr_t kEndSessionCloseApp = 0x00000001;

// --- Registry ---
constexpr Dword kKeyRead = 0x20019;
constexpr Dword kKeyWow6464Key = 0x0100;
constexpr Dword kRegNone = 0;
constexpr Dword kRegSz = 1;
constexpr Dword kRegExpandSz = 2;
constexpr Dword kRegBinary = 3;
constexpr Dword kRegDword = 4;

// --- Shell folders (CSIDL) ---
constexpr int kCsidlPrograms = 0x02;
constexpr int kCsidlStartup = 0x07;
constexpr int kCsidlDesktopDirectory = 0x10;
constexpr int kCsidlCommonPrograms = 0x17;
constexpr int kCsidlCommonDesktopDirectory = 0x19;
constexpr int kCsidlWindows = 0x24;
constexpr int kCsidlProgramFiles = 0x26;
constexpr int kCsidlProfile = 0x28;
constexpr int kCsidlProgramFilesX86 = 0x2A;
constexpr Dword kShgfpTypeCurrent = 0;

// --- Shell launches and process creation ---
constexpr Dword kSeeMaskNoCloseProcess = 0x00000040;
constexpr int kSwHide = 0;
constexpr Dword kShellExecuteInfoSize = 112;  // sizeof(SHELLEXECUTEINFOW) in a 64-bit process
constexpr Dword kLogonWithProfile = 0x00000001;
constexpr Dword kCreateUnicodeEnvironment = 0x00000400;
constexpr Dword kStartfUseShowWindow = 0x00000001;

// SHELLEXECUTEINFOW. The tool fills the fields up to hProcess; the rest stay
// zero (the Win32 side zeroes the real structure before copying).
struct ShellExecuteInfo {
  Dword cbSize;
  Dword fMask;
  Hwnd hwnd;
  const wchar_t* lpVerb;
  const wchar_t* lpFile;
  const wchar_t* lpParameters;
  const wchar_t* lpDirectory;
  int nShow;
  void* hInstApp;
  Handle hProcess;  // out, with kSeeMaskNoCloseProcess
};

// The STARTUPINFOW fields the tool sets; every other field is zero.
struct StartupInfo {
  Dword dwFlags;
  std::uint16_t wShowWindow;
};

struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
  Dword dwProcessId;
  Dword dwThreadId;
};

// --- Files ---
constexpr Dword kFileAttributeReadonly = 0x00000001;
constexpr Dword kFileAttributeHidden = 0x00000002;
constexpr Dword kFileAttributeSystem = 0x00000004;
constexpr Dword kFileAttributeDirectory = 0x00000010;
constexpr Dword kFileAttributeArchive = 0x00000020;
constexpr Dword kFileAttributeNormal = 0x00000080;
constexpr Dword kFileAttributeReparsePoint = 0x00000400;
constexpr Dword kInvalidFileAttributes = 0xFFFFFFFF;
constexpr Dword kMoveFileReplaceExisting = 0x00000001;
constexpr Dword kMoveFileCopyAllowed = 0x00000002;
constexpr Dword kMoveFileWriteThrough = 0x00000008;
constexpr Dword kIoReparseTagMountPoint = 0xA0000003;  // junction
constexpr Dword kIoReparseTagSymlink = 0xA000000C;

// The WIN32_FIND_DATAW fields the tool reads.
struct FindData {
  Dword dwFileAttributes;
  Dword dwReserved0;  // the reparse tag when the entry is a reparse point
  wchar_t cFileName[kMaxPath];
};

// OSVERSIONINFOW. dwOSVersionInfoSize is the size of the real structure (276).
constexpr Dword kOsVersionInfoSize = 276;
struct OsVersionInfo {
  Dword dwOSVersionInfoSize;
  Dword dwMajorVersion;
  Dword dwMinorVersion;
  Dword dwBuildNumber;
  Dword dwPlatformId;
  wchar_t szCSDVersion[128];
};

// ===================== Functions =====================

// kernel32: errors, time
Dword GetLastError();
void SetLastError(Dword error);
void Sleep(Dword milliseconds);

// kernel32/psapi: processes and sessions
Dword GetCurrentProcessId();
Handle GetCurrentProcess();  // pseudo handle, never closed
bool ProcessIdToSessionId(Dword processId, Dword* sessionId);
bool EnumProcesses(Dword* processIds, Dword cb, Dword* bytesReturned);
Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId);  // null on failure
bool EnumProcessModules(Handle process, Module* modules, Dword cb, Dword* bytesNeeded);
Dword GetModuleBaseNameW(Handle process, Module module, wchar_t* baseName, Dword size);
bool TerminateProcess(Handle process, Dword exitCode);
Dword WaitForSingleObject(Handle handle, Dword milliseconds);
bool CloseHandle(Handle handle);

// kernel32: the process heap
Handle GetProcessHeap();
void* HeapAlloc(Handle heap, Dword flags, std::size_t bytes);
void* HeapReAlloc(Handle heap, Dword flags, void* memory, std::size_t bytes);
bool HeapFree(Handle heap, Dword flags, void* memory);

// advapi32/userenv: tokens, privileges, starting a process as a user
bool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token);
bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, Luid* luid);
// AdjustTokenPrivileges with a one-entry TOKEN_PRIVILEGES and no previous state.
bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges, const TokenPrivilege& newState);
// DuplicateTokenEx with no security attributes.
bool DuplicateTokenEx(Handle existingToken, Dword desiredAccess, int impersonationLevel, int tokenType,
                      Handle* newToken);
bool CreateEnvironmentBlock(void** environment, Handle token, bool inherit);
bool DestroyEnvironmentBlock(void* environment);
bool CreateProcessWithTokenW(Handle token, Dword logonFlags, const wchar_t* applicationName, wchar_t* commandLine,
                             Dword creationFlags, void* environment, const wchar_t* currentDirectory,
                             const StartupInfo& startupInfo, ProcessInformation* processInformation);

// user32: windows and messages
using EnumWindowsCallback = bool (*)(Hwnd window, std::intptr_t parameter);
bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter);
Dword GetWindowThreadProcessId(Hwnd window, Dword* processId);
bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// advapi32: registry, read only
Long RegOpenKeyExW(RegKey key, const wchar_t* subKey, Dword options, Dword desiredAccess, RegKey* result);
// RegQueryInfoKeyW asking only for the subkey count and the longest subkey
// name (in characters, without terminator). Either output may be null.
Long RegQueryInfoKeyW(RegKey key, Dword* subKeys, Dword* maxSubKeyLength);
// RegEnumKeyExW with no class and no last-write time. nameLength is in
// characters: in, the buffer size including the terminator; out, the name's
// length without it.
Long RegEnumKeyExW(RegKey key, Dword index, wchar_t* name, Dword* nameLength);
Long RegQueryValueExW(RegKey key, const wchar_t* valueName, Dword* type, std::uint8_t* data, Dword* dataBytes);
Long RegCloseKey(RegKey key);

// kernel32: environment, command line, local memory, version
Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size);
const wchar_t* GetCommandLineW();
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount);
void* LocalFree(void* memory);
bool GetVersionExW(OsVersionInfo* info);

// shell32/shlwapi
HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path);
bool ShellExecuteExW(ShellExecuteInfo* info);
bool PathFileExistsW(const wchar_t* path);

// kernel32: files and folders
bool DeleteFileW(const wchar_t* path);
bool RemoveDirectoryW(const wchar_t* path);
Handle FindFirstFileW(const wchar_t* pattern, FindData* data);  // InvalidHandleValue() on failure
bool FindNextFileW(Handle find, FindData* data);
bool FindClose(Handle find);
Dword GetFileAttributesW(const wchar_t* path);
// GetFullPathNameW without the file-part output: the absolute form of path as
// Windows reads it ("." and ".." resolved, trailing dots and blanks of the
// last component dropped, separators collapsed). Returns the length written
// (without the terminator), or, when bufferLength is too small, the size
// needed (with it); 0 on failure.
Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer);
bool SetFileAttributesW(const wchar_t* path, Dword attributes);
bool MoveFileExW(const wchar_t* existing, const wchar_t* newName, Dword flags);

// ole32: the apartment and the shell link object (CLSID_ShellLink), exposed
// as plain functions over its IShellLinkW and IPersistFile interfaces.
HResult CoInitialize(void* reserved);
// CoCreateInstance(CLSID_ShellLink, null, CLSCTX_INPROC_SERVER, IID_IShellLinkW).
HResult CreateShellLink(ShellLink* link);
HResult ShellLinkSetPath(ShellLink link, const wchar_t* path);
HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description);
// IShellLinkW::QueryInterface(IID_IPersistFile).
HResult ShellLinkQueryPersistFile(ShellLink link, PersistFile* persistFile);
HResult PersistFileSave(PersistFile persistFile, const wchar_t* fileName, bool remember);
Dword PersistFileRelease(PersistFile persistFile);
Dword ShellLinkRelease(ShellLink link);

// C runtime: the wide standard output stream. Writes the text and flushes.
void WriteStdout(const wchar_t* text);

}  // namespace platform
