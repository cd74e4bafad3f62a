// The Win32 side of the seam's nt_files section: ntdll's entries opened
// relative to a held folder, folders listed and entries renamed through
// handles.
//
// A translation unit of its own, so that ntdll.dll becomes an import of a
// program only once that program calls one of these.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winternl.h>

#include <cstddef>

#include "platform/platform.h"
#include "platform/win32/same_layout.h"
#include "platform/win32/system_library.h"
#include "platform/win32/watchdog.h"

// The structures pass straight through: each is the real one (same_layout.h).

static_assert(sizeof(platform::NtStatus) == sizeof(NTSTATUS), "NTSTATUS");
CM_SAME_SIZE(UnicodeString, UNICODE_STRING);
CM_SAME_FIELD(UnicodeString, UNICODE_STRING, Length, Length);
CM_SAME_FIELD(UnicodeString, UNICODE_STRING, MaximumLength, MaximumLength);
CM_SAME_FIELD(UnicodeString, UNICODE_STRING, Buffer, Buffer);

CM_SAME_SIZE(ObjectAttributes, OBJECT_ATTRIBUTES);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, Length, Length);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, RootDirectory, RootDirectory);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, ObjectName, ObjectName);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, Attributes, Attributes);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, SecurityDescriptor, SecurityDescriptor);
CM_SAME_FIELD(ObjectAttributes, OBJECT_ATTRIBUTES, SecurityQualityOfService, SecurityQualityOfService);

CM_SAME_SIZE(IoStatusBlock, IO_STATUS_BLOCK);
CM_SAME_FIELD(IoStatusBlock, IO_STATUS_BLOCK, Status, Status);
CM_SAME_FIELD(IoStatusBlock, IO_STATUS_BLOCK, Information, Information);

CM_SAME_SIZE(FileRenameInformation, FILE_RENAME_INFORMATION);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFORMATION, ReplaceIfExists, ReplaceIfExists);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFORMATION, RootDirectory, RootDirectory);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFORMATION, FileNameLength, FileNameLength);
CM_SAME_FIELD(FileRenameInformation, FILE_RENAME_INFORMATION, FileName, FileName);
// FILE_RENAME_INFORMATION with its flags word (Windows 10 1709 and later), as
// the headers of that time declare it: Flags where ReplaceIfExists was.
static_assert(sizeof(platform::FileRenameInformationEx) == sizeof(FILE_RENAME_INFORMATION) &&
                  offsetof(platform::FileRenameInformationEx, RootDirectory) ==
                      offsetof(FILE_RENAME_INFORMATION, RootDirectory) &&
                  offsetof(platform::FileRenameInformationEx, FileName) == offsetof(FILE_RENAME_INFORMATION, FileName),
              "FILE_RENAME_INFORMATION with Flags");

static_assert(platform::kFileRenameInformation == FileRenameInformation &&
                  platform::kFileIdBothDirectoryInformation == FileIdBothDirectoryInformation,
              "FILE_INFORMATION_CLASS");
static_assert(platform::kFileOpen == FILE_OPEN && platform::kFileCreate == FILE_CREATE &&
                  platform::kFileDirectoryFile == FILE_DIRECTORY_FILE &&
                  platform::kFileNonDirectoryFile == FILE_NON_DIRECTORY_FILE &&
                  platform::kFileSynchronousIoNonalert == FILE_SYNCHRONOUS_IO_NONALERT &&
                  platform::kFileOpenForBackupIntent == FILE_OPEN_FOR_BACKUP_INTENT &&
                  platform::kFileOpenReparsePoint == FILE_OPEN_REPARSE_POINT &&
                  platform::kFileCompleteIfOplocked == FILE_COMPLETE_IF_OPLOCKED &&
                  platform::kObjCaseInsensitive == OBJ_CASE_INSENSITIVE,
              "NtCreateFile options");

// ntdll exports it; the headers' user-mode set does not declare it.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                                               PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, PVOID fileInformation,
                                               ULONG length, FILE_INFORMATION_CLASS fileInformationClass,
                                               BOOLEAN returnSingleEntry, PUNICODE_STRING fileName,
                                               BOOLEAN restartScan);

namespace platform {

NtStatus NtCreateFile(Handle* fileHandle, Dword desiredAccess, const ObjectAttributes* objectAttributes,
                      IoStatusBlock* ioStatusBlock, Dword fileAttributes, Dword shareAccess, Dword createDisposition,
                      Dword createOptions) {
  const ::win32::FileCallWatch watch;
  HANDLE h = nullptr;
  const NTSTATUS status = ::NtCreateFile(
      &h, desiredAccess, reinterpret_cast<POBJECT_ATTRIBUTES>(const_cast<ObjectAttributes*>(objectAttributes)),
      reinterpret_cast<PIO_STATUS_BLOCK>(ioStatusBlock), /*AllocationSize=*/nullptr, fileAttributes, shareAccess,
      createDisposition, createOptions, /*EaBuffer=*/nullptr, /*EaLength=*/0);
  if (NT_SUCCESS(status)) *fileHandle = reinterpret_cast<Handle>(h);
  return status;
}

NtStatus NtQueryDirectoryFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, void* fileInformation, Dword length,
                              int fileInformationClass, bool returnSingleEntry, const UnicodeString* fileName,
                              bool restartScan) {
  const ::win32::FileCallWatch watch;
  return ::NtQueryDirectoryFile(
      reinterpret_cast<HANDLE>(fileHandle), /*Event=*/nullptr, /*ApcRoutine=*/nullptr,
      /*ApcContext=*/nullptr, reinterpret_cast<PIO_STATUS_BLOCK>(ioStatusBlock), fileInformation, length,
      static_cast<FILE_INFORMATION_CLASS>(fileInformationClass), returnSingleEntry ? TRUE : FALSE,
      reinterpret_cast<PUNICODE_STRING>(const_cast<UnicodeString*>(fileName)), restartScan ? TRUE : FALSE);
}

NtStatus NtSetInformationFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, const void* fileInformation,
                              Dword length, int fileInformationClass) {
  const ::win32::FileCallWatch watch;
  return ::NtSetInformationFile(reinterpret_cast<HANDLE>(fileHandle), reinterpret_cast<PIO_STATUS_BLOCK>(ioStatusBlock),
                                const_cast<void*>(fileInformation), length,
                                static_cast<FILE_INFORMATION_CLASS>(fileInformationClass));
}

int RtlSetProcessPlaceholderCompatibilityMode(int mode) {
  const ::win32::CallWatch watch;
  // Windows 10 1803 and later only: looked up at run time, so that the tool
  // still starts on older systems (where placeholders are always exposed).
  using Function = CHAR(NTAPI*)(CHAR);
  static const Function setMode =
      win32::SystemFunction<Function>(L"ntdll.dll", "RtlSetProcessPlaceholderCompatibilityMode");
  if (setMode == nullptr) return kPhcmErrorInvalidParameter;
  return setMode(static_cast<CHAR>(mode));
}

}  // namespace platform
