// Windows values that only the simulated machine and the tests need: result
// codes the tool never tells apart, access rights it never asks for, the
// value types of the registry. The tool's own values are in
// platform/platform.h; these sit beside them in namespace platform, with
// their real values, so that a test names them as the tool names its own.
// Plain values only: the file-system check includes it in its Windows build
// too.
#pragma once

#include "platform/platform.h"

namespace platform {

// --- Error codes (GetLastError values and registry results) ---
constexpr Dword kErrorInvalidHandle = 6;
constexpr Dword kErrorServiceDoesNotExist = 1060;
constexpr Dword kErrorBadLength = 24;
constexpr Dword kErrorNotEnoughMemory = 8;
constexpr Dword kErrorNotSameDevice = 17;
constexpr Dword kErrorNoMoreFiles = 18;
constexpr Dword kErrorBadNetpath = 53;
constexpr Dword kErrorCallNotImplemented = 120;
constexpr Dword kErrorInsufficientBuffer = 122;
constexpr Dword kErrorInvalidName = 123;
constexpr Dword kErrorMoreData = 234;
constexpr Dword kErrorNoMoreItems = 259;
constexpr Dword kErrorDirectory = 267;
constexpr Dword kErrorPartialCopy = 299;
constexpr Dword kErrorNoToken = 1008;
constexpr Dword kErrorServiceDisabled = 1058;
constexpr Dword kErrorPrivilegeNotHeld = 1314;
constexpr Dword kErrorNoneMapped = 1332;
constexpr Dword kErrorInvalidSid = 1337;
constexpr Dword kErrorCtxWinstationNotFound = 7022;
constexpr Dword kErrorInvalidWindowHandle = 1400;
constexpr Dword kErrorCantResolveFilename = 1921;

// --- HRESULTs ---
constexpr HResult kSFalse = 1;
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kRegdbEClassNotReg = static_cast<HResult>(0x80040154u);
constexpr HResult kCoENotInitialized = static_cast<HResult>(0x800401F0u);

// --- Processes and waits ---
constexpr Dword kProcessVmRead = 0x0010;  // never asked for: reading another process's memory
constexpr Dword kProcessQueryInformation = 0x0400;
constexpr Dword kInfinite = 0xFFFFFFFF;
constexpr Dword kWaitTimeout = 258;
constexpr Dword kWaitFailed = 0xFFFFFFFF;
constexpr Dword kStillActive = 259;

// --- Tokens ---
constexpr Dword kTokenAdjustDefault = 0x0080;
constexpr Dword kTokenAllAccess = 0xF01FF;
// Mandatory levels, as the RID of their S-1-16-x label SIDs.
constexpr Dword kSecurityMandatoryMediumRid = 0x2000;
constexpr Dword kSecurityMandatoryHighRid = 0x3000;
constexpr Dword kSecurityMandatorySystemRid = 0x4000;
// SID_NAME_USE values LookupAccountNameW reports.
constexpr int kSidTypeUser = 1;
constexpr int kSidTypeWellKnownGroup = 5;

// --- Registry value types ---
constexpr Dword kRegNone = 0;
constexpr Dword kRegSz = 1;
constexpr Dword kRegExpandSz = 2;
constexpr Dword kRegBinary = 3;
constexpr Dword kRegDword = 4;

// --- Files ---
constexpr Dword kFileAttributeReadonly = 0x00000001;
constexpr Dword kFileAttributeSystem = 0x00000004;
constexpr Dword kFileAttributeNormal = 0x00000080;
constexpr Dword kIoReparseTagMountPoint = 0xA0000003;  // junction
constexpr Dword kIoReparseTagSymlink = 0xA000000C;
// Access rights (CreateFileW, NtCreateFile).
constexpr Dword kFileReadData = 0x0001;   // FILE_LIST_DIRECTORY on a folder
constexpr Dword kFileWriteData = 0x0002;  // FILE_ADD_FILE on a folder
constexpr Dword kFileAppendData = 0x0004;
constexpr Dword kFileExecute = 0x0020;
constexpr Dword kFileWriteAttributes = 0x0100;
constexpr Dword kGenericRead = 0x80000000u;
// CreateFileW disposition.
constexpr Dword kCreateNew = 1;

// --- Files by handle: NTSTATUS ---
constexpr NtStatus kStatusInvalidHandle = static_cast<NtStatus>(0xC0000008u);
constexpr NtStatus kStatusAccessDenied = static_cast<NtStatus>(0xC0000022u);
constexpr NtStatus kStatusObjectNameInvalid = static_cast<NtStatus>(0xC0000033u);
constexpr NtStatus kStatusSharingViolation = static_cast<NtStatus>(0xC0000043u);
constexpr NtStatus kStatusDeletePending = static_cast<NtStatus>(0xC0000056u);
constexpr NtStatus kStatusDiskFull = static_cast<NtStatus>(0xC000007Fu);
constexpr NtStatus kStatusFileIsADirectory = static_cast<NtStatus>(0xC00000BAu);
constexpr NtStatus kStatusNotSameDevice = static_cast<NtStatus>(0xC00000D4u);
constexpr NtStatus kStatusDirectoryNotEmpty = static_cast<NtStatus>(0xC0000101u);
constexpr NtStatus kStatusNotADirectory = static_cast<NtStatus>(0xC0000103u);
constexpr NtStatus kStatusCannotDelete = static_cast<NtStatus>(0xC0000121u);

// --- IStream::Seek origin ---
constexpr Dword kStreamSeekCur = 1;

}  // namespace platform
