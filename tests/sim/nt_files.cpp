// The simulated machine's ntdll file calls: entries opened by name relative
// to a held folder (NtCreateFile), folder listings, renames. What they
// model is told in file_opens.h.
#include <cstddef>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/file_opens.h"
#include "sim/machine.h"

namespace platform {

using sim::FileEntry;
using sim::Fold;
using sim::FsEventKind;
using sim::FsNode;
using sim::HandleEntry;
using sim::ListStep;
using sim::OpenRequest;
using sim::OpenResolved;
using sim::StatusOfError;

namespace {

// The components of a name relative to a folder handle, taken as they are.
bool RelativeParts(const std::wstring& name, std::vector<std::wstring>* parts) {
  parts->clear();
  if (name.empty()) return true;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = name.find(L'\\', begin);
    const std::wstring part = name.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    if (part.empty() || part == L"." || part == L"..") return false;
    parts->push_back(part);
    if (end == std::wstring::npos) return true;
    begin = end + 1;
  }
}

// An NT path the tool could hand over without a root ("\??\C:\x",
// "\??\UNC\server\share\x") as the DOS path it names, in its verbatim form.
bool DosPathOfNtName(const std::wstring& name, std::wstring* dos) {
  if (name.compare(0, 4, L"\\??\\") != 0) return false;
  *dos = L"\\\\?\\" + name.substr(4);
  return true;
}

void CountIo(IoStatusBlock* io, NtStatus status, std::uintptr_t information) {
  if (io != nullptr) {
    io->Status = status;
    io->Information = information;
  }
}

}  // namespace

NtStatus NtCreateFile(Handle* fileHandle, Dword desiredAccess, const ObjectAttributes* objectAttributes,
                      IoStatusBlock* ioStatusBlock, Dword fileAttributes, Dword shareAccess, Dword createDisposition,
                      Dword createOptions) {
  Call c("NtCreateFile");
  auto finish = [&](NtStatus status, std::uintptr_t information) {
    CountIo(ioStatusBlock, status, information);
    return status;
  };
  Dword code;
  if (c.Injected(&code)) return finish(static_cast<NtStatus>(code), 0);
  if (objectAttributes == nullptr || objectAttributes->Length != kObjectAttributesSize ||
      objectAttributes->ObjectName == nullptr || objectAttributes->ObjectName->Length % sizeof(wchar_t) != 0 ||
      (objectAttributes->ObjectName->Length != 0 && objectAttributes->ObjectName->Buffer == nullptr)) {
    return finish(kStatusInvalidParameter, 0);
  }
  if ((createOptions & kFileDirectoryFile) && (createOptions & kFileNonDirectoryFile)) {
    return finish(kStatusInvalidParameter, 0);
  }
  // Synchronous I/O needs the right to wait on the handle.
  if ((createOptions & kFileSynchronousIoNonalert) && !(desiredAccess & kSynchronize)) {
    return finish(kStatusInvalidParameter, 0);
  }
  if (createDisposition != kFileOpen && createDisposition != kFileCreate) {
    return finish(kStatusInvalidParameter, 0);  // the other dispositions are not modelled
  }
  const UnicodeString& us = *objectAttributes->ObjectName;
  const std::wstring name(us.Buffer != nullptr ? us.Buffer : L"", us.Length / sizeof(wchar_t));
  const bool openLink = (createOptions & kFileOpenReparsePoint) != 0;
  FsNode* node = nullptr;
  FsNode* parent = nullptr;
  std::wstring finalName;
  Dword error = 0;
  if (objectAttributes->RootDirectory != nullptr) {
    HandleEntry* root = FileEntry(c.m, objectAttributes->RootDirectory);
    if (root == nullptr) return finish(kStatusInvalidHandle, 0);
    if (!root->node->isDirectory && !name.empty()) return finish(kStatusObjectPathNotFound, 0);
    std::vector<std::wstring> parts;
    if (!name.empty() && name[0] == L'\\') return finish(kStatusObjectNameInvalid, 0);
    if (!RelativeParts(name, &parts)) return finish(kStatusObjectNameInvalid, 0);
    if (parts.empty()) {
      node = root->node;  // an empty name opens the root itself again
    } else {
      node = c.m.files.ResolveBelow(root->node, parts, !openLink, &error, &parent, &finalName);
    }
  } else {
    std::wstring dos;
    if (!DosPathOfNtName(name, &dos)) return finish(kStatusObjectPathNotFound, 0);
    node = c.m.files.Resolve(dos, !openLink, &error, &parent, &finalName);
  }
  if (node == nullptr && !(createDisposition == kFileCreate && error == kErrorFileNotFound)) {
    return finish(StatusOfError(error), 0);
  }
  OpenRequest r;
  r.access = desiredAccess;
  r.share = shareAccess;
  r.create = createDisposition == kFileCreate;
  r.directory = (createOptions & kFileDirectoryFile) != 0;
  r.nonDirectory = (createOptions & kFileNonDirectoryFile) != 0;
  r.newAttributes = fileAttributes;
  r.options = createOptions;
  Handle h = nullptr;
  const NtStatus status = OpenResolved(c.m, node, parent, finalName, r, &h);
  // STATUS_OPLOCK_BREAK_IN_PROGRESS is a success code: the file is open.
  if (status != kStatusSuccess && status != kStatusOplockBreakInProgress) return finish(status, 0);
  *fileHandle = h;
  return finish(status, r.create ? 2 /*FILE_CREATED*/ : 1 /*FILE_OPENED*/);
}

NtStatus NtQueryDirectoryFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, void* fileInformation, Dword length,
                              int fileInformationClass, bool returnSingleEntry, const UnicodeString* fileName,
                              bool restartScan) {
  Call c("NtQueryDirectoryFile");
  Dword code;
  NtStatus status;
  if (c.Injected(&code)) {
    status = static_cast<NtStatus>(code);
  } else if (HandleEntry* h = FileEntry(c.m, fileHandle); h == nullptr) {
    status = kStatusInvalidHandle;
  } else if (fileInformationClass != kFileIdBothDirectoryInformation) {
    status = kStatusInvalidInfoClass;
  } else {
    std::wstring mask;
    if (fileName != nullptr) mask.assign(fileName->Buffer, fileName->Length / sizeof(wchar_t));
    status = ListStep(c.m, *h, fileInformation, length, restartScan, returnSingleEntry,
                      fileName != nullptr ? &mask : nullptr);
  }
  CountIo(ioStatusBlock, status, 0);
  return status;
}

NtStatus NtSetInformationFile(Handle fileHandle, IoStatusBlock* ioStatusBlock, const void* fileInformation,
                              Dword length, int fileInformationClass) {
  Call c("NtSetInformationFile");
  auto finish = [&](NtStatus status) {
    CountIo(ioStatusBlock, status, 0);
    return status;
  };
  Dword code;
  if (c.Injected(&code)) return finish(static_cast<NtStatus>(code));
  HandleEntry* h = FileEntry(c.m, fileHandle);
  if (h == nullptr) return finish(kStatusInvalidHandle);
  // FileRenameInformationEx came with Windows 10 1709; FAT and exFAT do not
  // know its POSIX semantics.
  const bool ex = fileInformationClass == kFileRenameInformationEx;
  if (!ex && fileInformationClass != kFileRenameInformation) return finish(kStatusInvalidInfoClass);
  if (ex && !c.m.runtime.PosixDeleteSupported()) return finish(kStatusInvalidInfoClass);
  const auto* info = static_cast<const FileRenameInformation*>(fileInformation);
  const Dword flags = ex ? static_cast<const FileRenameInformationEx*>(fileInformation)->Flags : 0;
  const bool replace = ex ? (flags & kFileRenameFlagReplaceIfExists) != 0 : info->ReplaceIfExists != 0;
  const bool posix = (flags & kFileRenameFlagPosixSemantics) != 0;
  if (posix && c.m.files.volumesWithoutPosix.count(c.m.files.DriveOf(h->node)) != 0) {
    return finish(kStatusInvalidParameter);
  }
  if (length < sizeof(FileRenameInformation) ||
      offsetof(FileRenameInformation, FileName) + info->FileNameLength > length ||
      info->FileNameLength % sizeof(wchar_t) != 0) {
    return finish(kStatusInvalidParameter);
  }
  if (!(h->access & kDelete)) return finish(kStatusAccessDenied);
  FsNode* source = h->node;
  c.m.files.Touch(source);
  if (source->parent == nullptr || source->detached || source->deletePending) return finish(kStatusAccessDenied);
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
  // Renaming an entry breaks the handle caching of a Read-Handle oplock on
  // it, and waits for the acknowledgement.
  if (source->readHandleOplock) {
    c.m.CancelledAfterItsBound(source);
    return finish(kStatusCancelled);
  }
  FsNode* folder = nullptr;
  std::wstring newName;
  if (info->RootDirectory != nullptr) {
    HandleEntry* root = FileEntry(c.m, info->RootDirectory);
    if (root == nullptr) return finish(kStatusInvalidHandle);
    std::vector<std::wstring> parts;
    if (!RelativeParts(name, &parts) || parts.size() != 1) return finish(kStatusObjectNameInvalid);
    folder = root->node;
    newName = parts[0];
  } else {
    std::wstring dos;
    if (!DosPathOfNtName(name, &dos)) return finish(kStatusObjectNameInvalid);
    Dword error = 0;
    c.m.files.Resolve(dos, false, &error, &folder, &newName);
    if (folder == nullptr) return finish(StatusOfError(error));
  }
  for (wchar_t ch : newName) {
    if (ch < 32 || std::wcschr(L"<>:\"|?*\\/", ch) != nullptr) return finish(kStatusObjectNameInvalid);
  }
  if (!folder->isDirectory || !folder->linkTarget.empty() || folder->detached) return finish(kStatusObjectPathNotFound);
  // The I/O manager opens the target folder for adding an entry, sharing
  // read and write: a folder someone holds for deletion refuses it.
  if (!c.m.files.ShareAllows(folder, kFileWriteData, kFileShareRead | kFileShareWrite)) {
    return finish(kStatusSharingViolation);
  }
  if (folder->denyWrite) return finish(kStatusAccessDenied);
  auto rootOf = [](const FsNode* n) {
    while (n->parent != nullptr) n = n->parent;
    return n;
  };
  if (rootOf(folder) != rootOf(source)) return finish(kStatusNotSameDevice);
  auto it = folder->children.find(Fold(newName));
  FsNode* target = it == folder->children.end() ? nullptr : it->second.get();
  if (target == source) {
    // Only the letter case changes.
    c.m.files.MoveNode(source, folder, newName);
    return finish(kStatusSuccess);
  }
  if (target != nullptr) {
    if (!replace) return finish(kStatusObjectNameCollision);
    if (target->isDirectory || source->isDirectory) return finish(kStatusAccessDenied);
    if ((target->attributes & kFileAttributeReadonly) || target->denyDelete) return finish(kStatusAccessDenied);
    // Replacing breaks an opportunistic lock on the target and waits for it.
    if (target->userOplock || target->readHandleOplock) {
      c.m.CancelledAfterItsBound(target);
      return finish(kStatusCancelled);
    }
    // A target that anyone holds open cannot be replaced; with POSIX
    // semantics, one held open by others that share deletion can.
    if (c.m.files.HasOpenHandles(target) || target->inUse || target->deletePending || (target->scannerOpen && !posix)) {
      return finish(kStatusAccessDenied);
    }
    c.m.files.Journal(FsEventKind::kOverwritten, target);
    folder->children.erase(it);
  }
  c.m.files.MoveNode(source, folder, newName);
  return finish(kStatusSuccess);
}

int RtlSetProcessPlaceholderCompatibilityMode(int mode) {
  Call c("RtlSetProcessPlaceholderCompatibilityMode");
  // Windows 10 1803 (build 17134) brought the call.
  if (c.m.runtime.osMajor < 10 || c.m.runtime.osBuild < 17134) return kPhcmErrorInvalidParameter;
  if (mode < 0 || mode > kPhcmExposePlaceholders) return kPhcmErrorInvalidParameter;
  return std::exchange(c.m.files.placeholderMode, mode);
}

}  // namespace platform
