// The platform seam: every Windows call the tool makes, as plain functions.
//
// Each function mirrors one Windows API function: same inputs, outputs,
// result codes and last-error values, expressed in the tool's own plain types
// so that the tool's logic never includes <windows.h>. Two implementations
// exist and CMake links exactly one of them:
//   src/platform/win32/  forwards every call to the real API (the product);
//   tests/sim/           runs the same calls against a simulated machine that
//                        the unit tests set up and inspect (the host build).
// Both are split by the sections below, one file per section under the
// section's name: a call's forwarder is in src/platform/win32/<section>.cpp,
// its model in tests/sim/<section>.cpp.
//
// The constants here are the ones the tool uses, with their real values;
// those only the simulated machine and the tests need are in
// tests/sim/constants.h.
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
using Long = std::int32_t;      // registry result codes (LSTATUS)
using HResult = std::int32_t;   // COM and shell result codes
using NtStatus = std::int32_t;  // NTSTATUS: ntdll's and the LSA's result codes

// Opaque handle types. Their values are the real handle values on Windows.
struct HandleObject;
using Handle = HandleObject*;  // HANDLE: processes, tokens, find handles, heaps
struct KeyObject;
using RegKey = KeyObject*;  // HKEY
struct WindowObject;
using Hwnd = WindowObject*;  // HWND
struct ShellLinkObject;
using ShellLink = ShellLinkObject*;  // IShellLinkW*
struct PersistStreamObject;
using PersistStream = PersistStreamObject*;  // IPersistStream*
struct StreamObject;
using Stream = StreamObject*;  // IStream*

// UNICODE_STRING: lengths in bytes, no terminator needed.
struct UnicodeString {
  std::uint16_t Length;
  std::uint16_t MaximumLength;
  wchar_t* Buffer;
};

inline Handle InvalidHandleValue() { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1)); }
inline RegKey HkeyLocalMachine() {
  // HKEY_LOCAL_MACHINE is ((HKEY)(ULONG_PTR)((LONG)0x80000002)): sign-extended.
  return reinterpret_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
}

constexpr Dword kMaxPath = 260;

// --- Error codes (GetLastError values and registry results) ---
constexpr Dword kErrorFileNotFound = 2;
constexpr Dword kErrorPathNotFound = 3;
constexpr Dword kErrorAccessDenied = 5;
constexpr Dword kErrorSharingViolation = 32;
constexpr Dword kErrorInvalidParameter = 87;
constexpr Dword kErrorDirNotEmpty = 145;
// A synchronous call that was cancelled (CancelSynchronousIo).
constexpr Dword kErrorOperationAborted = 995;

// --- HRESULTs ---
constexpr HResult kSOk = 0;
constexpr HResult HResultFromWin32(Dword error) {
  return error == 0 ? 0 : static_cast<HResult>((error & 0xFFFFu) | 0x80070000u);
}

// ===================== runtime =====================
// kernel32: errors, time, the process itself (error mode, DLL directories,
// module file name, mitigation policy), environment, command line, local
// memory, version; the C runtime's standard output.

// SetErrorMode: the system shows no critical-error, crash or
// missing-file dialog for this process.
constexpr Dword kSemFailCriticalErrors = 0x0001;
constexpr Dword kSemNoGpFaultErrorBox = 0x0002;
constexpr Dword kSemNoOpenFileErrorBox = 0x8000;
// SetDefaultDllDirectories, LoadLibraryExW: DLLs from the system folder only.
constexpr Dword kLoadLibrarySearchSystem32 = 0x00000800;

// SetProcessMitigationPolicy: PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY.
constexpr int kProcessRedirectionTrustPolicy = 16;
constexpr Dword kEnforceRedirectionTrust = 0x1;

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

Dword GetLastError();
void SetLastError(Dword error);
void Sleep(Dword milliseconds);
// QueryUnbiasedInterruptTime: the time since start-up in 100 ns units, the
// time the machine spent asleep or hibernating left out (as the tool's own
// timed waits leave it out on Windows 8 and later).
bool QueryUnbiasedInterruptTime(std::uint64_t* unbiasedTime);
Dword SetErrorMode(Dword mode);  // returns the mode before
// Windows 8 and later, and Windows 7 with KB2533623; where it is missing it
// fails with ERROR_CALL_NOT_IMPLEMENTED.
bool SetDefaultDllDirectories(Dword directoryFlags);
// GetModuleFileNameW of the tool's own executable (module null): the
// characters written without the terminator; size when the path was cut.
Dword GetModuleFileNameW(wchar_t* fileName, Dword size);
// Windows 8 and later; where it is missing, fails with
// ERROR_CALL_NOT_IMPLEMENTED.
bool SetProcessMitigationPolicy(int policy, const void* buffer, std::size_t length);
Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size);
const wchar_t* GetCommandLineW();
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount);
void* LocalFree(void* memory);
bool GetVersionExW(OsVersionInfo* info);
// C runtime: the wide standard output stream. Writes the text and flushes.
void WriteStdout(const wchar_t* text);
// The process's standard output handle (STD_OUTPUT_HANDLE): null when it has
// none (a GUI program started without a redirection), and what kind of
// object it is. Written with WriteFile (the files section), bounded as
// every file call is.
constexpr Dword kStdOutputHandle = static_cast<Dword>(-11);
constexpr Dword kFileTypeDisk = 1;
constexpr Dword kFileTypePipe = 3;
Handle GetStdHandle(Dword stdHandle);
Dword GetFileType(Handle file);

// ===================== processes =====================
// kernel32: the process snapshot, opening, waiting for and ending processes;
// CloseHandle, for every kind of handle.

constexpr Dword kProcessTerminate = 0x0001;
constexpr Dword kProcessQueryLimitedInformation = 0x1000;
constexpr Dword kSynchronize = 0x00100000;

// CreateToolhelp32Snapshot: the processes, with their executable names.
constexpr Dword kTh32csSnapProcess = 0x00000002;

// PROCESSENTRY32W. dwSize must be set to sizeof(ProcessEntry) before the
// first Process32FirstW. szExeFile is the executable's file name, as it was
// when the snapshot was taken.
struct ProcessEntry {
  Dword dwSize;
  Dword cntUsage;
  Dword th32ProcessID;
  std::uintptr_t th32DefaultHeapID;
  Dword th32ModuleID;
  Dword cntThreads;
  Dword th32ParentProcessID;
  std::int32_t pcPriClassBase;
  Dword dwFlags;
  wchar_t szExeFile[kMaxPath];
};

// FILETIME as one 64-bit count of 100 ns intervals.
using FileTime = std::uint64_t;

Dword GetCurrentProcessId();
Handle GetCurrentProcess();  // pseudo handle, never closed
bool ProcessIdToSessionId(Dword processId, Dword* sessionId);
// CreateToolhelp32Snapshot: InvalidHandleValue() on failure; closed with
// CloseHandle.
Handle CreateToolhelp32Snapshot(Dword flags, Dword processId);
// Process32FirstW/Process32NextW: false with ERROR_NO_MORE_FILES at the end.
bool Process32FirstW(Handle snapshot, ProcessEntry* entry);
bool Process32NextW(Handle snapshot, ProcessEntry* entry);
// QueryFullProcessImageNameW on a handle with PROCESS_QUERY_LIMITED_INFORMATION:
// the Win32 path of the executable of the very process the handle refers to.
// size is in characters: in, the buffer's; out, the path's without terminator.
bool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* name, Dword* size);
// GetProcessTimes; the tool asks for the creation time only (the others may
// be null).
bool GetProcessTimes(Handle process, FileTime* creation, FileTime* exit, FileTime* kernel, FileTime* user);
Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId);  // null on failure
bool TerminateProcess(Handle process, Dword exitCode);
constexpr Dword kWaitObject0 = 0;  // WAIT_OBJECT_0: the object is signalled (a process has ended)
Dword WaitForSingleObject(Handle handle, Dword milliseconds);
bool CloseHandle(Handle handle);

// ===================== users =====================
// advapi32, and userenv and wtsapi32 (loaded from the system folder when
// first needed): tokens, privileges, environment blocks, starting a process
// as a user, the sessions of this machine.

constexpr Dword kTokenAssignPrimary = 0x0001;
constexpr Dword kTokenDuplicate = 0x0002;
constexpr Dword kTokenImpersonate = 0x0004;
constexpr Dword kTokenQuery = 0x0008;
constexpr Dword kTokenAdjustPrivileges = 0x0020;
constexpr Dword kSePrivilegeEnabled = 0x00000002;
constexpr int kSecurityImpersonation = 2;  // SECURITY_IMPERSONATION_LEVEL
constexpr int kTokenPrimary = 1;           // TOKEN_TYPE

struct Luid {
  Dword lowPart;
  std::int32_t highPart;
};

// TOKEN_PRIVILEGES with exactly one entry, the only form the tool passes.
struct TokenPrivilege {
  Luid luid;
  Dword attributes;
};

constexpr Dword kLogonWithProfile = 0x00000001;
constexpr Dword kCreateUnicodeEnvironment = 0x00000400;
constexpr Dword kStartfUseShowWindow = 0x00000001;
constexpr int kSwHide = 0;
constexpr Dword kCreateNoWindow = 0x08000000;
constexpr Dword kCreateBreakawayFromJob = 0x01000000;
constexpr Dword kCreateDefaultErrorMode = 0x04000000;  // the new process does not inherit the tool's error mode

// TOKEN_INFORMATION_CLASS values the tool reads or sets.
constexpr int kTokenUser = 1;             // TOKEN_USER
constexpr int kTokenStatistics = 10;      // TOKEN_STATISTICS
constexpr int kTokenElevation = 20;       // TOKEN_ELEVATION (a DWORD)
constexpr int kTokenIntegrityLevel = 25;  // TOKEN_MANDATORY_LABEL
constexpr Dword kSeGroupIntegrity = 0x00000020;
// SID_AND_ATTRIBUTES; TOKEN_USER is one, its SID following in the same buffer.
struct SidAndAttributes {
  void* Sid;
  Dword Attributes;
};
// TOKEN_MANDATORY_LABEL.
struct TokenMandatoryLabel {
  SidAndAttributes Label;
};
// TOKEN_STATISTICS; AuthenticationId is the token's logon session.
struct TokenStatistics {
  Luid TokenId;
  Luid AuthenticationId;
  std::int64_t ExpirationTime;
  int TokenType;
  int ImpersonationLevel;
  Dword DynamicCharged;
  Dword DynamicAvailable;
  Dword GroupCount;
  Dword PrivilegeCount;
  Luid ModifiedId;
};
// SECURITY_LOGON_SESSION_DATA as far as the tool reads it: the names the
// user signed in with, and the session the logon is for. The LSA allocates
// it; the fields after Sid are never read.
struct LogonSessionData {
  Dword Size;
  Luid LogonId;
  UnicodeString UserName;
  UnicodeString LogonDomain;
  UnicodeString AuthenticationPackage;
  Dword LogonType;
  Dword Session;
  void* Sid;
};
// SaferCreateLevel: the user scope, the normal user's level, open only.
struct SaferLevelObject;
using SaferLevel = SaferLevelObject*;  // SAFER_LEVEL_HANDLE
constexpr Dword kSaferScopeIdUser = 2;
constexpr Dword kSaferLevelIdNormalUser = 0x20000;
constexpr Dword kSaferLevelOpen = 1;
// WTS_INFO_CLASS values the tool asks for.
constexpr int kWtsUserName = 5;
constexpr int kWtsDomainName = 7;

// The STARTUPINFOW fields the tool sets; every other field is zero.
struct StartupInfo {
  Dword dwFlags;
  std::uint16_t wShowWindow;
  const wchar_t* lpDesktop;  // null: the caller's
};

struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
  Dword dwProcessId;
  Dword dwThreadId;
};

// WTS_CONNECTSTATE_CLASS: a session with a user signed in at it.
constexpr int kWtsActive = 0;

// WTS_SESSION_INFOW.
struct WtsSessionInfo {
  Dword SessionId;
  wchar_t* pWinStationName;
  int State;
};

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
// CreateProcessAsUserW with no security attributes and no inherited handles:
// the process starts in the session of token (a primary token).
bool CreateProcessAsUserW(Handle token, const wchar_t* applicationName, wchar_t* commandLine, Dword creationFlags,
                          void* environment, const wchar_t* currentDirectory, const StartupInfo& startupInfo,
                          ProcessInformation* processInformation);
// The sessions of this machine (WTS_CURRENT_SERVER_HANDLE, version 1), freed
// with WTSFreeMemory; the primary token of the user signed in at a session
// (only a SYSTEM caller gets it).
bool WTSEnumerateSessionsW(WtsSessionInfo** sessions, Dword* count);
void WTSFreeMemory(void* memory);
bool WTSQueryUserToken(Dword sessionId, Handle* token);
// WTSQuerySessionInformationW on this machine (WTS_CURRENT_SERVER_HANDLE):
// a string freed with WTSFreeMemory; bytesReturned counts its terminator.
bool WTSQuerySessionInformationW(Dword sessionId, int infoClass, wchar_t** buffer, Dword* bytesReturned);
// GetTokenInformation and SetTokenInformation with one of the classes above.
bool GetTokenInformation(Handle token, int tokenInformationClass, void* tokenInformation, Dword length,
                         Dword* returnLength);
bool SetTokenInformation(Handle token, int tokenInformationClass, const void* tokenInformation, Dword length);
bool EqualSid(void* sid1, void* sid2);
// LookupAccountNameW: the SID of an account given as "domain\user" or "user".
bool LookupAccountNameW(const wchar_t* systemName, const wchar_t* accountName, void* sid, Dword* sidBytes,
                        wchar_t* referencedDomainName, Dword* domainCharacters, int* use);
// SaferCreateLevel, SaferComputeTokenFromLevel (a null token: the caller's
// own), SaferCloseLevel; no reserved argument.
bool SaferCreateLevel(Dword scopeId, Dword levelId, Dword openFlags, SaferLevel* level);
bool SaferComputeTokenFromLevel(SaferLevel level, Handle inToken, Handle* outToken, Dword flags);
bool SaferCloseLevel(SaferLevel level);
// secur32 (loaded from the system folder when first needed): what the LSA
// records of a logon session, freed with LsaFreeReturnBuffer. Only the
// session's own user or an administrator may read it. STATUS_NOT_IMPLEMENTED
// where the call is missing (older Wine); Wine 8 answers every logon with a
// record that names nobody.
NtStatus LsaGetLogonSessionData(Luid* logonId, LogonSessionData** data);
NtStatus LsaFreeReturnBuffer(void* buffer);
// The user of token (a primary token opened with query and duplicate
// rights, or an impersonation token with query and impersonate) on the
// calling thread, until RevertToSelf: every access check is then made
// against that user's rights. Without SeImpersonatePrivilege the thread
// gets an identification-level token, with which every open fails.
bool ImpersonateLoggedOnUser(Handle token);
bool RevertToSelf();
// IsProcessInJob with a null job: whether the process runs in any job.
bool IsProcessInJob(Handle process, Handle job, bool* result);

// The service control manager (advapi32): a service's configuration, to
// know beforehand whether a start through it can be served.
struct ServiceObject;
using ScHandle = ServiceObject*;  // SC_HANDLE
constexpr Dword kScManagerConnect = 0x0001;
constexpr Dword kServiceQueryConfig = 0x0001;
constexpr Dword kServiceDisabled = 0x00000004;       // a start type
constexpr Dword kQueryServiceConfigMaxBytes = 8192;  // the most QueryServiceConfigW ever needs
// QUERY_SERVICE_CONFIGW; its strings follow in the same buffer.
struct ServiceConfig {
  Dword dwServiceType;
  Dword dwStartType;
  Dword dwErrorControl;
  wchar_t* lpBinaryPathName;
  wchar_t* lpLoadOrderGroup;
  Dword dwTagId;
  wchar_t* lpDependencies;
  wchar_t* lpServiceStartName;
  wchar_t* lpDisplayName;
};
ScHandle OpenSCManagerW(const wchar_t* machineName, const wchar_t* databaseName, Dword desiredAccess);
ScHandle OpenServiceW(ScHandle manager, const wchar_t* serviceName, Dword desiredAccess);
bool QueryServiceConfigW(ScHandle service, ServiceConfig* config, Dword bufferBytes, Dword* bytesNeeded);
bool CloseServiceHandle(ScHandle handle);

// ===================== windows =====================
// user32: windows and messages.

constexpr std::uint32_t kWmEndSession = 0x0016;
constexpr std::intptr_t kEndSessionCloseApp = 0x00000001;

using EnumWindowsCallback = bool (*)(Hwnd window, std::intptr_t parameter);
bool EnumWindows(EnumWindowsCallback callback, std::intptr_t parameter);
Dword GetWindowThreadProcessId(Hwnd window, Dword* processId);
bool PostMessageW(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// ===================== registry =====================
// advapi32: the registry, read only.

constexpr Dword kKeyRead = 0x20019;
constexpr Dword kKeyWow6464Key = 0x0100;

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

// ===================== files =====================
// kernel32: paths, and files by handle.
//
// The tool opens every folder it works in by handle and checks it through
// that handle, then opens each entry relative to the held folder
// (NtCreateFile with a root directory, in nt_files below), so that no path
// it acts on is ever parsed again by name after the check.
//
// Every call of this section and of nt_files is bounded on its own: one that
// has not returned after kFileCallBoundMs of the machine's working time is
// cancelled (CancelSynchronousIo on the tool's thread, from the Win32 side's
// watchdog) and fails as a cancelled request does, with
// ERROR_OPERATION_ABORTED or STATUS_CANCELLED. A wait for the break of an
// opportunistic lock nobody acknowledges is cancellable; so is any other
// wait a driver allows to be cancelled. 10 s: a holder that is alive
// acknowledges a break within milliseconds, a loaded one within a second or
// two; and the bound stays far below the run's own (kNoReturnLimitMs on the
// Win32 side, 90 s), which then ends only a call that cannot be cancelled.
constexpr Dword kFileCallBoundMs = 10000;

constexpr Dword kFileAttributeHidden = 0x00000002;
constexpr Dword kFileAttributeDirectory = 0x00000010;
constexpr Dword kFileAttributeArchive = 0x00000020;
constexpr Dword kFileAttributeReparsePoint = 0x00000400;
// A reparse tag with this bit names another object: junctions, symbolic
// links (IsReparseTagNameSurrogate).
constexpr Dword kReparseTagNameSurrogateBit = 0x20000000;
// IO_REPARSE_TAG_CLOUD and its sixteen variants IO_REPARSE_TAG_CLOUD_1 to _F
// (0x9000101A to 0x9000F01A): the placeholders of a cloud-files provider
// (OneDrive's Files On-Demand and folder backup). The variant is in
// IO_REPARSE_TAG_CLOUD_MASK.
constexpr Dword kIoReparseTagCloud = 0x9000001A;
constexpr Dword kIoReparseTagCloudMask = 0x0000F000;
constexpr bool IsCloudFilesTag(Dword tag) { return (tag & ~kIoReparseTagCloudMask) == kIoReparseTagCloud; }

// Access rights and sharing (CreateFileW, NtCreateFile).
constexpr Dword kFileListDirectory = 0x0001;
constexpr Dword kFileReadAttributes = 0x0080;
constexpr Dword kDelete = 0x00010000;
constexpr Dword kGenericWrite = 0x40000000;
constexpr Dword kFileShareRead = 0x1;
constexpr Dword kFileShareWrite = 0x2;
constexpr Dword kFileShareDelete = 0x4;
// CreateFileW dispositions and flags.
constexpr Dword kOpenExisting = 3;
constexpr Dword kFileFlagBackupSemantics = 0x02000000;
constexpr Dword kFileFlagOpenReparsePoint = 0x00200000;

// FILE_INFO_BY_HANDLE_CLASS (GetFileInformationByHandleEx,
// SetFileInformationByHandle).
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;
constexpr int kFileAttributeTagInfo = 9;
constexpr int kFileIdBothDirectoryInfo = 10;
constexpr int kFileIdBothDirectoryRestartInfo = 11;
constexpr int kFileDispositionInfoEx = 21;
constexpr Dword kFileDispositionFlagDelete = 0x1;
constexpr Dword kFileDispositionFlagPosixSemantics = 0x2;

// FILE_ATTRIBUTE_TAG_INFO.
struct FileAttributeTagInformation {
  Dword FileAttributes;
  Dword ReparseTag;
};
// FILE_BASIC_INFO: a time of 0 and attributes of 0 leave that value as it is.
struct FileBasicInformation {
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  Dword FileAttributes;
};
// FILE_DISPOSITION_INFO (a BOOLEAN) and FILE_DISPOSITION_INFO_EX.
struct FileDispositionInformation {
  std::uint8_t DeleteFile;
};
struct FileDispositionInformationEx {
  Dword Flags;
};
// FILE_RENAME_INFORMATION. FileNameLength is in bytes; the name is relative
// to RootDirectory when that is set.
struct FileRenameInformation {
  std::uint8_t ReplaceIfExists;
  Handle RootDirectory;
  Dword FileNameLength;
  wchar_t FileName[1];
};
// FILE_RENAME_INFORMATION as FileRenameInformationEx reads it.
struct FileRenameInformationEx {
  Dword Flags;
  Handle RootDirectory;
  Dword FileNameLength;
  wchar_t FileName[1];
};
// FILE_ID_BOTH_DIR_INFO, one entry of a folder listing. Entries follow each
// other NextEntryOffset bytes apart (0 on the last); FileNameLength is in
// bytes and the name is not terminated.
struct FileIdBothDirInformation {
  Dword NextEntryOffset;
  Dword FileIndex;
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  std::int64_t EndOfFile;
  std::int64_t AllocationSize;
  Dword FileAttributes;
  Dword FileNameLength;
  Dword EaSize;
  std::int8_t ShortNameLength;
  wchar_t ShortName[12];
  std::int64_t FileId;
  wchar_t FileName[1];
};

// GetFullPathNameW without the file-part output: the absolute form of path as
// Windows reads it ("." and ".." resolved, trailing dots and blanks of the
// last component dropped, separators collapsed). Returns the length written
// (without the terminator), or, when bufferLength is too small, the size
// needed (with it); 0 on failure.
Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer);
// CreateFileW with no security attributes and no template. Returns
// InvalidHandleValue() on failure.
Handle CreateFileW(const wchar_t* fileName, Dword desiredAccess, Dword shareMode, Dword creationDisposition,
                   Dword flagsAndAttributes);
bool GetFileInformationByHandleEx(Handle file, int fileInformationClass, void* fileInformation, Dword bufferSize);
bool SetFileInformationByHandle(Handle file, int fileInformationClass, const void* fileInformation, Dword bufferSize);
// WriteFile without OVERLAPPED, on a handle opened for synchronous I/O.
bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten);
// FlushFileBuffers: the file's data and its metadata written through to the
// disk before the call returns.
bool FlushFileBuffers(Handle file);

// ===================== nt_files =====================
// ntdll: entries opened relative to a held folder, folders listed and
// entries renamed through handles.

constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusNoMoreFiles = static_cast<NtStatus>(0x80000006u);
constexpr NtStatus kStatusNoSuchFile = static_cast<NtStatus>(0xC000000Fu);
constexpr NtStatus kStatusObjectNameNotFound = static_cast<NtStatus>(0xC0000034u);
constexpr NtStatus kStatusObjectNameCollision = static_cast<NtStatus>(0xC0000035u);
constexpr NtStatus kStatusObjectPathNotFound = static_cast<NtStatus>(0xC000003Au);
// A success code: the file is open, and an opportunistic lock another
// program holds on it is being broken (FILE_COMPLETE_IF_OPLOCKED asked not
// to wait for the holder's acknowledgement).
constexpr NtStatus kStatusOplockBreakInProgress = 0x00000108;
// What a system or file system answers a request it does not know
// (STATUS_NOT_IMPLEMENTED is Wine's answer to an information class it lacks).
constexpr NtStatus kStatusNotImplemented = static_cast<NtStatus>(0xC0000002u);
constexpr NtStatus kStatusInvalidInfoClass = static_cast<NtStatus>(0xC0000003u);
constexpr NtStatus kStatusInvalidParameter = static_cast<NtStatus>(0xC000000Du);
constexpr NtStatus kStatusNotSupported = static_cast<NtStatus>(0xC00000BBu);
// A request that was cancelled while it waited (CancelSynchronousIo).
constexpr NtStatus kStatusCancelled = static_cast<NtStatus>(0xC0000120u);

// NtCreateFile dispositions and options.
constexpr Dword kFileOpen = 1;
constexpr Dword kFileCreate = 2;
constexpr Dword kFileDirectoryFile = 0x00000001;
constexpr Dword kFileSynchronousIoNonalert = 0x00000020;
constexpr Dword kFileNonDirectoryFile = 0x00000040;
constexpr Dword kFileCompleteIfOplocked = 0x00000100;
constexpr Dword kFileOpenForBackupIntent = 0x00004000;
constexpr Dword kFileOpenReparsePoint = 0x00200000;
constexpr Dword kObjCaseInsensitive = 0x00000040;

// Placeholder compatibility modes: PHCM_EXPOSE_PLACEHOLDERS shows a cloud
// provider's placeholders as what they are (reparse points with a cloud
// tag); disguised, they would look like ordinary files and folders.
constexpr int kPhcmExposePlaceholders = 2;
constexpr int kPhcmErrorInvalidParameter = -1;

// FILE_INFORMATION_CLASS (NtQueryDirectoryFile, NtSetInformationFile).
constexpr int kFileRenameInformation = 10;
constexpr int kFileIdBothDirectoryInformation = 37;
// FileRenameInformationEx (Windows 10 1709 and later): the flags word takes
// the place of FILE_RENAME_INFORMATION's ReplaceIfExists.
constexpr int kFileRenameInformationEx = 65;
constexpr Dword kFileRenameFlagReplaceIfExists = 0x00000001;
constexpr Dword kFileRenameFlagPosixSemantics = 0x00000002;

// OBJECT_ATTRIBUTES. Length must be kObjectAttributesSize.
struct ObjectAttributes {
  Dword Length;
  Handle RootDirectory;
  UnicodeString* ObjectName;
  Dword Attributes;
  void* SecurityDescriptor;
  void* SecurityQualityOfService;
};
constexpr Dword kObjectAttributesSize = sizeof(ObjectAttributes);
// IO_STATUS_BLOCK.
struct IoStatusBlock {
  NtStatus Status;
  std::uintptr_t Information;
};

// NtCreateFile with no allocation size and no extended attributes. With
// objectAttributes->RootDirectory set, the name is relative to that folder.
NtStatus NtCreateFile(Handle* fileHandle, Dword desiredAccess, const ObjectAttributes* objectAttributes,
                      IoStatusBlock* ioStatusBlock, Dword fileAttributes, Dword shareAccess, Dword createDisposition,
                      Dword createOptions);
// NtQueryDirectoryFile with no event and no APC. The file name (a mask) is
// taken from the first call on a handle only.
NtStatus NtQueryDirectoryFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, void* fileInformation, Dword length,
                              int fileInformationClass, bool returnSingleEntry, const UnicodeString* fileName,
                              bool restartScan);
NtStatus NtSetInformationFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, const void* fileInformation,
                              Dword length, int fileInformationClass);
// RtlSetProcessPlaceholderCompatibilityMode (Windows 10 1803 and later,
// looked up at run time): the previous mode, or a negative PHCM_ERROR_*
// value; -1 (PHCM_ERROR_INVALID_PARAMETER) where the system has no such call.
int RtlSetProcessPlaceholderCompatibilityMode(int mode);

// ===================== shell =====================
// shell32 and ole32: shell folders, shell launches, and the shell link
// object (CLSID_ShellLink) as plain functions over its IShellLinkW and
// IPersistStream interfaces, with the memory stream it saves into.

// Shell folders (CSIDL).
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

// IStream::Seek origin.
constexpr Dword kStreamSeekSet = 0;

HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path);
// The apartment.
HResult CoInitialize(void* reserved);
// CoCreateInstance(CLSID_ShellLink, null, CLSCTX_INPROC_SERVER, IID_IShellLinkW).
HResult CreateShellLink(ShellLink* link);
HResult ShellLinkSetPath(ShellLink link, const wchar_t* path);
HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description);
// IShellLinkW::QueryInterface(IID_IPersistStream) and IPersistStream::Save:
// the shortcut's bytes written into a stream, so that the tool writes them
// itself through a file handle it holds.
HResult ShellLinkQueryPersistStream(ShellLink link, PersistStream* persistStream);
HResult PersistStreamSave(PersistStream persistStream, Stream stream, bool clearDirty);
Dword PersistStreamRelease(PersistStream persistStream);
// CreateStreamOnHGlobal(null, deleteOnRelease, stream): a growing memory stream.
HResult CreateStreamOnHGlobal(bool deleteOnRelease, Stream* stream);
HResult StreamSeek(Stream stream, std::int64_t move, Dword origin, std::uint64_t* newPosition);
HResult StreamRead(Stream stream, void* buffer, Dword bytes, Dword* bytesRead);
Dword StreamRelease(Stream stream);
Dword ShellLinkRelease(ShellLink link);

}  // namespace platform
