// The simulated machine's kernel32 file calls: paths (GetFullPathNameW),
// opening by path (CreateFileW), and files by handle (attributes, listings,
// dispositions, writes). What they model is told in file_opens.h.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/file_opens.h"
#include "sim/machine.h"
#include "sim/shortcut_format.h"

namespace platform {

using sim::ErrorOfStatus;
using sim::FileEntry;
using sim::FsEventKind;
using sim::FsNode;
using sim::HandleEntry;
using sim::kSettableAttributes;
using sim::ListStep;
using sim::OpenRequest;
using sim::OpenResolved;
using sim::ReportedAttributes;

namespace {

// The checks of a delete disposition on the entry of a handle.
NtStatus CanDelete(const FsNode& n) {
  if (n.parent == nullptr || n.detached) return kStatusAccessDenied;
  if (n.attributes & kFileAttributeReadonly) return kStatusCannotDelete;
  // A link goes by itself; a real folder only when nothing is left in it,
  // entries still pending deletion included.
  if (n.isDirectory && n.linkTarget.empty() && !n.children.empty()) return kStatusDirectoryNotEmpty;
  return kStatusSuccess;
}

}  // namespace

// ---------------- paths ----------------

Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer) {
  Call c("GetFullPathNameW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring in = path != nullptr ? path : L"";
  // A verbatim path comes back as it is, and so does a device path (Windows
  // would tidy its separators and dots); anything else as Windows reads it.
  const bool asItIs = in.rfind(L"\\\\?\\", 0) == 0 || in.rfind(L"\\\\.\\", 0) == 0;
  const std::wstring full = asItIs ? in : c.m.files.CanonicalPath(in);
  if (full.empty()) {
    c.Fail(kErrorInvalidName);
    return 0;
  }
  const Dword needed = static_cast<Dword>(full.size() + 1);
  if (buffer == nullptr || bufferLength < needed) return needed;
  std::copy(full.begin(), full.end(), buffer);
  buffer[full.size()] = L'\0';
  return needed - 1;
}

Handle CreateFileW(const wchar_t* fileName, Dword desiredAccess, Dword shareMode, Dword creationDisposition,
                   Dword flagsAndAttributes) {
  Call c("CreateFileW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return InvalidHandleValue();
  }
  if (creationDisposition != kOpenExisting && creationDisposition != kCreateNew) {
    c.Fail(kErrorInvalidParameter);  // the other dispositions are not modelled
    return InvalidHandleValue();
  }
  const bool openLink = (flagsAndAttributes & kFileFlagOpenReparsePoint) != 0;
  Dword error = 0;
  FsNode* parent = nullptr;
  std::wstring finalName;
  FsNode* node = c.m.files.Resolve(fileName != nullptr ? fileName : L"", !openLink, &error, &parent, &finalName);
  if (node == nullptr && !(creationDisposition == kCreateNew && error == kErrorFileNotFound)) {
    c.Fail(error);
    return InvalidHandleValue();
  }
  OpenRequest r;
  r.access = desiredAccess;
  r.share = shareMode;
  r.create = creationDisposition == kCreateNew;
  r.folderNeedsBackupSemantics = (flagsAndAttributes & kFileFlagBackupSemantics) == 0;
  r.newAttributes = flagsAndAttributes & kSettableAttributes;
  r.options = kFileSynchronousIoNonalert;
  Handle h = nullptr;
  const NtStatus status = OpenResolved(c.m, node, parent, finalName, r, &h);
  if (status != kStatusSuccess) {
    c.Fail(ErrorOfStatus(status));
    return InvalidHandleValue();
  }
  c.m.lastError = 0;
  return h;
}

// ---------------- files by handle ----------------

bool GetFileInformationByHandleEx(Handle file, int fileInformationClass, void* fileInformation, Dword bufferSize) {
  Call c("GetFileInformationByHandleEx");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* h = FileEntry(c.m, file);
  if (h == nullptr) return c.Fail(kErrorInvalidHandle);
  switch (fileInformationClass) {
    case kFileAttributeTagInfo: {
      if (bufferSize < sizeof(FileAttributeTagInformation)) return c.Fail(kErrorInsufficientBuffer);
      if (!(h->access & (kFileReadAttributes | kGenericRead))) return c.Fail(kErrorAccessDenied);
      auto* info = static_cast<FileAttributeTagInformation*>(fileInformation);
      info->FileAttributes = ReportedAttributes(*h->node);
      info->ReparseTag = (h->node->attributes & kFileAttributeReparsePoint) ? h->node->reparseTag : 0;
      c.m.files.Touch(h->node);
      return true;
    }
    case kFileIdBothDirectoryRestartInfo:
    case kFileIdBothDirectoryInfo: {
      const NtStatus status = ListStep(c.m, *h, fileInformation, bufferSize,
                                       fileInformationClass == kFileIdBothDirectoryRestartInfo, false, nullptr);
      if (status == static_cast<NtStatus>(0x80000005u)) return c.Fail(kErrorMoreData);
      if (status == kStatusNoSuchFile) return c.Fail(kErrorNoMoreFiles);  // nothing at all to list
      if (status != kStatusSuccess) return c.Fail(ErrorOfStatus(status));
      return true;
    }
    default:
      return c.Fail(kErrorInvalidParameter);
  }
}

bool SetFileInformationByHandle(Handle file, int fileInformationClass, const void* fileInformation, Dword bufferSize) {
  Call c("SetFileInformationByHandle");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* h = FileEntry(c.m, file);
  if (h == nullptr) return c.Fail(kErrorInvalidHandle);
  FsNode* node = h->node;
  c.m.files.Touch(node);
  switch (fileInformationClass) {
    case kFileBasicInfo: {
      if (bufferSize < sizeof(FileBasicInformation)) return c.Fail(kErrorInsufficientBuffer);
      if (!(h->access & kFileWriteAttributes)) return c.Fail(kErrorAccessDenied);
      const Dword attributes = static_cast<const FileBasicInformation*>(fileInformation)->FileAttributes;
      if (attributes != 0) {
        node->attributes = (node->attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint)) |
                           (attributes & kSettableAttributes);
        c.m.files.Journal(FsEventKind::kAttributesChanged, node);
      }
      return true;
    }
    case kFileDispositionInfo:
    case kFileDispositionInfoEx: {
      bool remove = false, posix = false;
      if (fileInformationClass == kFileDispositionInfoEx) {
        if (!c.m.runtime.PosixDeleteSupported() || c.m.files.volumesWithoutPosix.count(c.m.files.DriveOf(node)) != 0) {
          return c.Fail(kErrorInvalidParameter);
        }
        if (bufferSize < sizeof(FileDispositionInformationEx)) return c.Fail(kErrorInsufficientBuffer);
        const Dword flags = static_cast<const FileDispositionInformationEx*>(fileInformation)->Flags;
        remove = (flags & kFileDispositionFlagDelete) != 0;
        posix = (flags & kFileDispositionFlagPosixSemantics) != 0;
      } else {
        if (bufferSize < sizeof(FileDispositionInformation)) return c.Fail(kErrorInsufficientBuffer);
        remove = static_cast<const FileDispositionInformation*>(fileInformation)->DeleteFile != 0;
      }
      if (!(h->access & kDelete)) return c.Fail(kErrorAccessDenied);
      if (!remove) {
        node->deletePending = false;
        return true;
      }
      // The disposition breaks an opportunistic lock another program holds,
      // and waits for its acknowledgement, until the call is cancelled.
      if (node->userOplock || node->readHandleOplock) {
        c.m.CancelledAfterItsBound(
            node, h->oplockBreakReported ? "a delete on a handle whose open reported an oplock's break" : nullptr);
        return c.Fail(kErrorOperationAborted);
      }
      const NtStatus status = CanDelete(*node);
      if (status != kStatusSuccess) return c.Fail(ErrorOfStatus(status));
      if (posix) {
        c.m.files.RemoveNode(node);  // the name goes now; the entry lives on until its handles close
      } else {
        node->deletePending = true;
      }
      return true;
    }
    default:
      return c.Fail(kErrorInvalidParameter);
  }
}

bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  Call c("WriteFile");
  if (bytesWritten != nullptr) *bytesWritten = 0;
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);  // nothing written (a full disk, say)
  if (file == sim::kStdoutHandle) {
    // A pipe nobody drains fills up: the write waits until it is cancelled.
    if (c.m.runtime.stdoutStalls) {
      c.m.clock.Advance(kFileCallBoundMs);
      return c.Fail(kErrorOperationAborted);
    }
    c.m.runtime.stdoutBytes.append(static_cast<const char*>(buffer), bytesToWrite);
    if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
    return true;
  }
  HandleEntry* h = FileEntry(c.m, file);
  if (h == nullptr) return c.Fail(kErrorInvalidHandle);
  if (!(h->access & (kFileWriteData | kFileAppendData))) return c.Fail(kErrorAccessDenied);
  if (!(h->options & kFileSynchronousIoNonalert)) return c.Fail(kErrorInvalidParameter);
  FsNode* node = h->node;
  if (node->isDirectory) return c.Fail(kErrorAccessDenied);
  const auto* bytes = static_cast<const char*>(buffer);
  // Into the cache: on the disk only once flushed.
  if (!node->unflushed) {
    node->durableContent = node->content;
    node->unflushed = true;
  }
  if (node->content.size() < h->position + bytesToWrite) node->content.resize(h->position + bytesToWrite);
  node->content.replace(h->position, bytesToWrite, bytes, bytesToWrite);
  h->position += bytesToWrite;
  node->isShortcut = sim::ParseShortcut(node->content, &node->shortcutTarget, &node->shortcutDescription);
  c.m.files.Journal(FsEventKind::kWritten, node);
  c.m.files.Touch(node);
  if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  return true;
}

// FlushFileBuffers needs a handle with write access (GENERIC_WRITE, as
// Microsoft documents it); the data written so far is then on the disk.
bool FlushFileBuffers(Handle file) {
  Call c("FlushFileBuffers");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  HandleEntry* h = FileEntry(c.m, file);
  if (h == nullptr) return c.Fail(kErrorInvalidHandle);
  if (!(h->access & (kFileWriteData | kFileAppendData))) return c.Fail(kErrorAccessDenied);
  h->node->durableContent = h->node->content;
  h->node->unflushed = false;
  return true;
}

}  // namespace platform
