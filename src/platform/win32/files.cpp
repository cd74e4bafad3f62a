// The Win32 side of the seam's files section: paths, and files by handle
// (kernel32). The ntdll calls are in nt_files.cpp.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/same_layout.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/windows_types.h"

// The structures pass straight through: each is the real one (same_layout.h).

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
// FILE_RENAME_INFORMATION is checked beside it in nt_files.cpp.
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

// The information classes and flags pass through as numbers.
static_assert(platform::kFileBasicInfo == FileBasicInfo && platform::kFileDispositionInfo == FileDispositionInfo &&
                  platform::kFileAttributeTagInfo == FileAttributeTagInfo &&
                  platform::kFileIdBothDirectoryInfo == FileIdBothDirectoryInfo &&
                  platform::kFileIdBothDirectoryRestartInfo == FileIdBothDirectoryRestartInfo,
              "FILE_INFO_BY_HANDLE_CLASS");
static_assert(platform::kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS &&
                  platform::kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT &&
                  platform::kFileDispositionFlagDelete == FILE_DISPOSITION_FLAG_DELETE &&
                  platform::kFileDispositionFlagPosixSemantics == FILE_DISPOSITION_FLAG_POSIX_SEMANTICS,
              "CreateFileW flags, disposition flags");

namespace platform {

using win32::H;
using win32::P;

Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer) {
  const ::win32::FileCallWatch watch;
  return ::GetFullPathNameW(path, bufferLength, buffer, nullptr);
}

Handle CreateFileW(const wchar_t* fileName, Dword desiredAccess, Dword shareMode, Dword creationDisposition,
                   Dword flagsAndAttributes) {
  const ::win32::FileCallWatch watch;
  return P(
      ::CreateFileW(fileName, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr));
}
bool GetFileInformationByHandleEx(Handle file, int fileInformationClass, void* fileInformation, Dword bufferSize) {
  const ::win32::FileCallWatch watch;
  return ::GetFileInformationByHandleEx(H(file), static_cast<FILE_INFO_BY_HANDLE_CLASS>(fileInformationClass),
                                        fileInformation, bufferSize) != FALSE;
}
bool SetFileInformationByHandle(Handle file, int fileInformationClass, const void* fileInformation, Dword bufferSize) {
  const ::win32::FileCallWatch watch;
  return ::SetFileInformationByHandle(H(file), static_cast<FILE_INFO_BY_HANDLE_CLASS>(fileInformationClass),
                                      const_cast<void*>(fileInformation), bufferSize) != FALSE;
}
bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  const ::win32::FileCallWatch watch;
  // Without OVERLAPPED the count is required; WriteFile sets it, to 0 on failure.
  DWORD written = 0;
  const BOOL ok = ::WriteFile(H(file), buffer, bytesToWrite, &written, nullptr);
  if (bytesWritten != nullptr) *bytesWritten = written;
  return ok != FALSE;
}
bool FlushFileBuffers(Handle file) {
  const ::win32::FileCallWatch watch;
  return ::FlushFileBuffers(H(file)) != FALSE;
}

}  // namespace platform
