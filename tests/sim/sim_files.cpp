// The simulated machine's file system calls: by path (GetFullPathNameW,
// CreateFileW) and by handle (NtCreateFile relative to an open folder,
// listings, dispositions, renames, writes).
//
// What they model, as Windows does it:
// - sharing: every open (the tool's handles, and the opens elsewhere that
//   FsNode::inUse and FsNode::scannerOpen stand for) is checked against the
//   others as IoCheckShareAccess checks them, so a folder held without
//   FILE_SHARE_DELETE cannot be opened for DELETE (renamed, removed) by
//   anyone else;
// - links: a path is followed through junctions, symbolic links and
//   object-manager directories ("\RPC Control") on the way; an open with
//   FILE_OPEN_REPARSE_POINT (FILE_FLAG_OPEN_REPARSE_POINT) gets the final
//   link itself, and its handle reports the reparse tag; a name relative to
//   an open folder handle is looked up in that folder, whatever happens to
//   the path that led to it;
// - deletion: a delete disposition takes effect when the last handle
//   closes; until then the entry is "delete pending" (it cannot be opened
//   and keeps its folder from being removed). With POSIX semantics
//   (Windows 10 1709 and later) the name goes at once.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "sim/sim_call.h"
#include "sim/sim_machine.h"

namespace platform {

using sim::Fold;
using sim::FsEventKind;
using sim::FsNode;
using sim::HandleEntry;
using sim::HandleKind;
using sim::Machine;

namespace {

constexpr NtStatus kStatusInvalidInfoClass = static_cast<NtStatus>(0xC0000003u);
constexpr NtStatus kStatusBadNetworkPath = static_cast<NtStatus>(0xC00000BEu);
constexpr NtStatus kStatusReparsePointNotResolved = static_cast<NtStatus>(0xC0000280u);
constexpr Dword kErrorFileExists = 80;
constexpr Dword kErrorDiskFull = 112;

// The attributes SetFileAttributesW and FILE_BASIC_INFO can set; the
// directory and reparse-point bits belong to the entry.
constexpr Dword kSettableAttributes = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem |
                                      kFileAttributeArchive | 0x100 /*temporary*/ | 0x1000 /*offline*/ |
                                      0x2000 /*not content indexed*/;

Dword ReportedAttributes(const FsNode& n) { return n.attributes == 0 ? kFileAttributeNormal : n.attributes; }

NtStatus StatusOfError(Dword error) {
  switch (error) {
    case kErrorFileNotFound:
      return kStatusObjectNameNotFound;
    case kErrorPathNotFound:
      return kStatusObjectPathNotFound;
    case kErrorInvalidName:
      return kStatusObjectNameInvalid;
    case kErrorBadNetpath:
      return kStatusBadNetworkPath;
    case kErrorCantResolveFilename:
      return kStatusReparsePointNotResolved;
    default:
      return kStatusAccessDenied;
  }
}

// RtlNtStatusToDosError for the statuses these calls produce.
Dword ErrorOfStatus(NtStatus status) {
  switch (status) {
    case kStatusSuccess:
      return 0;
    case kStatusObjectNameNotFound:
    case kStatusNoSuchFile:
      return kErrorFileNotFound;
    case kStatusObjectPathNotFound:
      return kErrorPathNotFound;
    case kStatusSharingViolation:
      return kErrorSharingViolation;
    case kStatusObjectNameCollision:
      return kErrorFileExists;
    case kStatusDirectoryNotEmpty:
      return kErrorDirNotEmpty;
    case kStatusNotADirectory:
      return kErrorDirectory;
    case kStatusInvalidParameter:
    case kStatusInvalidInfoClass:
      return kErrorInvalidParameter;
    case kStatusObjectNameInvalid:
      return kErrorInvalidName;
    case kStatusNotSameDevice:
      return kErrorNotSameDevice;
    case kStatusDiskFull:
      return kErrorDiskFull;
    case kStatusNoMoreFiles:
      return kErrorNoMoreFiles;
    case kStatusInvalidHandle:
      return kErrorInvalidHandle;
    case kStatusBadNetworkPath:
      return kErrorBadNetpath;
    default:  // access denied, delete pending, cannot delete, a directory where a file was asked
      return kErrorAccessDenied;
  }
}

bool Matches(const std::wstring& pattern, const std::wstring& name) {
  // '*' and '?' as in FindFirstFileW, compared without letter case.
  const std::wstring p = Fold(pattern), n = Fold(name);
  std::size_t pi = 0, ni = 0, star = std::wstring::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == L'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == L'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::wstring::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == L'*') ++pi;
  return pi == p.size();
}

HandleEntry* FileEntry(Machine& m, Handle h) {
  HandleEntry* e = m.Lookup(h);
  return e != nullptr && e->kind == HandleKind::kFile ? e : nullptr;
}

// What an open asks for, in the terms both CreateFileW and NtCreateFile use.
struct OpenRequest {
  Dword access = 0;
  Dword share = 0;
  bool create = false;  // create a new entry; fail when the name is taken
  bool directory = false;
  bool nonDirectory = false;
  bool folderNeedsBackupSemantics = false;  // CreateFileW opens a folder only with FILE_FLAG_BACKUP_SEMANTICS
  Dword newAttributes = 0;
  Dword options = 0;
};

// Opens (or creates) the entry that resolution found: existing, or the
// free name finalName in parent. On success returns a handle in *out.
NtStatus OpenResolved(Machine& m, FsNode* existing, FsNode* parent, const std::wstring& finalName, const OpenRequest& r,
                      Handle* out) {
  FsNode* node = existing;
  if (node == nullptr) {
    if (!r.create) return kStatusObjectNameNotFound;
    if (parent == nullptr || !parent->isDirectory || !parent->linkTarget.empty()) return kStatusObjectPathNotFound;
    if (parent->deletePending || parent->detached) return kStatusDeletePending;
    if (parent->denyWrite) return kStatusAccessDenied;
    auto made = std::make_unique<FsNode>();
    made->id = m.nextNodeId++;
    made->name = finalName;
    made->parent = parent;
    made->isDirectory = r.directory;
    made->attributes =
        (r.newAttributes & kSettableAttributes) | (r.directory ? kFileAttributeDirectory : kFileAttributeArchive);
    node = made.get();
    parent->children[Fold(finalName)] = std::move(made);
    m.Journal(FsEventKind::kCreated, node);
  } else {
    if (r.create) return kStatusObjectNameCollision;
    if (node->deletePending) return kStatusDeletePending;
    if (r.directory && !node->isDirectory) return kStatusNotADirectory;
    if (r.nonDirectory && node->isDirectory) return kStatusFileIsADirectory;
    if (r.folderNeedsBackupSemantics && node->isDirectory) return kStatusAccessDenied;
    if ((r.access & kDelete) && node->denyDelete) return kStatusAccessDenied;
    if ((r.access & kFileListDirectory) && node->isDirectory && node->denyList) return kStatusAccessDenied;
    if ((r.access & (kFileWriteData | kFileAppendData | kGenericWrite)) && !node->isDirectory &&
        (node->attributes & kFileAttributeReadonly)) {
      return kStatusAccessDenied;
    }
    if (!m.ShareAllows(node, r.access, r.share)) return kStatusSharingViolation;
  }
  HandleEntry e(HandleKind::kFile);
  e.access = r.access;
  if (e.access & kGenericRead) e.access |= kFileReadData | kFileReadAttributes | kSynchronize;
  if (e.access & kGenericWrite) e.access |= kFileWriteData | kFileAppendData | kFileWriteAttributes | kSynchronize;
  e.share = r.share;
  e.options = r.options;
  e.node = node;
  e.byTool = !m.adversaryActing;
  *out = m.NewHandle(std::move(e));
  m.Touch(node);
  return kStatusSuccess;
}

// The checks of a delete disposition on the entry of a handle.
NtStatus CanDelete(const FsNode& n) {
  if (n.parent == nullptr || n.detached) return kStatusAccessDenied;
  if (n.attributes & kFileAttributeReadonly) return kStatusCannotDelete;
  // A link goes by itself; a real folder only when nothing is left in it,
  // entries still pending deletion included.
  if (n.isDirectory && n.linkTarget.empty() && !n.children.empty()) return kStatusDirectoryNotEmpty;
  return kStatusSuccess;
}

// One folder listing step on a handle, shared by GetFileInformationByHandleEx
// and NtQueryDirectoryFile: FILE_ID_BOTH_DIR_INFO entries from where the
// handle's listing stands. The names are taken when the listing starts
// (the mask of the first call stays for the handle's life); an entry
// removed since is not returned, one added since does not appear.
NtStatus ListStep(Machine& m, HandleEntry& h, void* buffer, Dword length, bool restart, bool single,
                  const std::wstring* mask) {
  FsNode* dir = h.node;
  if (!dir->isDirectory) return kStatusInvalidParameter;
  if (!(h.access & kFileListDirectory)) return kStatusAccessDenied;
  if (!(h.options & kFileSynchronousIoNonalert)) return kStatusInvalidParameter;  // no OVERLAPPED is passed
  const bool first = !h.listingStarted;
  if (first) h.listingMask = mask != nullptr ? *mask : L"*";
  if (first || restart) {
    h.listingStarted = true;
    h.listingNames.clear();
    h.listingNext = 0;
    if (dir->parent != nullptr && dir->linkTarget.empty() && !dir->detached) {
      for (const wchar_t* dot : {L".", L".."}) {
        if (Matches(h.listingMask, dot)) h.listingNames.push_back(dot);
      }
    }
    for (const auto& kv : dir->children) {
      if (Matches(h.listingMask, kv.second->name)) h.listingNames.push_back(kv.first);
    }
  }
  m.Touch(dir);
  auto* out = static_cast<unsigned char*>(buffer);
  Dword used = 0;
  FileIdBothDirInformation* previous = nullptr;
  bool any = false;
  while (h.listingNext < h.listingNames.size()) {
    const std::wstring& key = h.listingNames[h.listingNext];
    const bool dot = key == L"." || key == L"..";
    auto it = dir->children.find(key);
    if (!dot && it == dir->children.end()) {
      ++h.listingNext;  // gone since the listing started
      continue;
    }
    const std::wstring name = dot ? key : it->second->name;
    const Dword nameBytes = static_cast<Dword>(name.size() * sizeof(wchar_t));
    const Dword size = static_cast<Dword>(offsetof(FileIdBothDirInformation, FileName)) + nameBytes;
    const Dword aligned = (size + 7) & ~Dword{7};
    if (used + size > length) {
      if (!any) return static_cast<NtStatus>(0x80000005u);  // STATUS_BUFFER_OVERFLOW: not even one entry fits
      break;
    }
    auto* e = reinterpret_cast<FileIdBothDirInformation*>(out + used);
    std::memset(e, 0, size);
    e->FileAttributes = dot ? kFileAttributeDirectory : ReportedAttributes(*it->second);
    if (!dot && (it->second->attributes & kFileAttributeReparsePoint)) e->EaSize = it->second->reparseTag;
    e->FileId = dot ? 0 : static_cast<std::int64_t>(it->second->id);
    if (!dot && !it->second->isDirectory) e->EndOfFile = static_cast<std::int64_t>(it->second->content.size());
    e->FileNameLength = nameBytes;
    std::memcpy(e->FileName, name.data(), nameBytes);
    if (previous != nullptr)
      previous->NextEntryOffset = static_cast<Dword>(out + used - reinterpret_cast<unsigned char*>(previous));
    previous = e;
    used += aligned;
    any = true;
    ++h.listingNext;
    if (!dot) m.Touch(it->second.get());
    if (single) break;
  }
  if (!any) return first ? kStatusNoSuchFile : kStatusNoMoreFiles;
  return kStatusSuccess;
}

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

// ---------------- by path ----------------

Dword GetFullPathNameW(const wchar_t* path, Dword bufferLength, wchar_t* buffer) {
  Call c("GetFullPathNameW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring in = path != nullptr ? path : L"";
  // A verbatim path comes back as it is; anything else as Windows reads it.
  const std::wstring full = in.rfind(L"\\\\?\\", 0) == 0 ? in : c.m.CanonicalPath(in);
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
  FsNode* node = c.m.Resolve(fileName != nullptr ? fileName : L"", !openLink, &error, &parent, &finalName);
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

// ---------------- by handle ----------------

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
      node = c.m.ResolveBelow(root->node, parts, !openLink, &error, &parent, &finalName);
    }
  } else {
    std::wstring dos;
    if (!DosPathOfNtName(name, &dos)) return finish(kStatusObjectPathNotFound, 0);
    node = c.m.Resolve(dos, !openLink, &error, &parent, &finalName);
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
  if (status != kStatusSuccess) return finish(status, 0);
  *fileHandle = h;
  return finish(kStatusSuccess, r.create ? 2 /*FILE_CREATED*/ : 1 /*FILE_OPENED*/);
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
      c.m.Touch(h->node);
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
  c.m.Touch(node);
  switch (fileInformationClass) {
    case kFileBasicInfo: {
      if (bufferSize < sizeof(FileBasicInformation)) return c.Fail(kErrorInsufficientBuffer);
      if (!(h->access & kFileWriteAttributes)) return c.Fail(kErrorAccessDenied);
      const Dword attributes = static_cast<const FileBasicInformation*>(fileInformation)->FileAttributes;
      if (attributes != 0) {
        node->attributes = (node->attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint)) |
                           (attributes & kSettableAttributes);
        c.m.Journal(FsEventKind::kAttributesChanged, node);
      }
      return true;
    }
    case kFileDispositionInfo:
    case kFileDispositionInfoEx: {
      bool remove = false, posix = false;
      if (fileInformationClass == kFileDispositionInfoEx) {
        if (!c.m.PosixDeleteSupported()) return c.Fail(kErrorInvalidParameter);
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
      const NtStatus status = CanDelete(*node);
      if (status != kStatusSuccess) return c.Fail(ErrorOfStatus(status));
      if (posix) {
        c.m.RemoveNode(node);  // the name goes now; the entry lives on until its handles close
      } else {
        node->deletePending = true;
      }
      return true;
    }
    default:
      return c.Fail(kErrorInvalidParameter);
  }
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
  if (fileInformationClass != kFileRenameInformation) return finish(kStatusInvalidInfoClass);
  const auto* info = static_cast<const FileRenameInformation*>(fileInformation);
  if (length < sizeof(FileRenameInformation) ||
      offsetof(FileRenameInformation, FileName) + info->FileNameLength > length ||
      info->FileNameLength % sizeof(wchar_t) != 0) {
    return finish(kStatusInvalidParameter);
  }
  if (!(h->access & kDelete)) return finish(kStatusAccessDenied);
  FsNode* source = h->node;
  c.m.Touch(source);
  if (source->parent == nullptr || source->detached || source->deletePending) return finish(kStatusAccessDenied);
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
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
    c.m.Resolve(dos, false, &error, &folder, &newName);
    if (folder == nullptr) return finish(StatusOfError(error));
  }
  for (wchar_t ch : newName) {
    if (ch < 32 || std::wcschr(L"<>:\"|?*\\/", ch) != nullptr) return finish(kStatusObjectNameInvalid);
  }
  if (!folder->isDirectory || !folder->linkTarget.empty() || folder->detached) return finish(kStatusObjectPathNotFound);
  // The I/O manager opens the target folder for adding an entry, sharing
  // read and write: a folder someone holds for deletion refuses it.
  if (!c.m.ShareAllows(folder, kFileWriteData, kFileShareRead | kFileShareWrite)) {
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
    c.m.MoveNode(source, folder, newName);
    return finish(kStatusSuccess);
  }
  if (target != nullptr) {
    if (!info->ReplaceIfExists) return finish(kStatusObjectNameCollision);
    if (target->isDirectory || source->isDirectory) return finish(kStatusAccessDenied);
    if ((target->attributes & kFileAttributeReadonly) || target->denyDelete) return finish(kStatusAccessDenied);
    // A target that anyone holds open cannot be replaced.
    if (c.m.HasOpenHandles(target) || target->inUse || target->scannerOpen || target->deletePending) {
      return finish(kStatusAccessDenied);
    }
    c.m.Journal(FsEventKind::kOverwritten, target);
    folder->children.erase(it);
  }
  c.m.MoveNode(source, folder, newName);
  return finish(kStatusSuccess);
}

bool WriteFile(Handle file, const void* buffer, Dword bytesToWrite, Dword* bytesWritten) {
  Call c("WriteFile");
  if (bytesWritten != nullptr) *bytesWritten = 0;
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);  // nothing written (a full disk, say)
  HandleEntry* h = FileEntry(c.m, file);
  if (h == nullptr) return c.Fail(kErrorInvalidHandle);
  if (!(h->access & (kFileWriteData | kFileAppendData))) return c.Fail(kErrorAccessDenied);
  if (!(h->options & kFileSynchronousIoNonalert)) return c.Fail(kErrorInvalidParameter);
  FsNode* node = h->node;
  if (node->isDirectory) return c.Fail(kErrorAccessDenied);
  const auto* bytes = static_cast<const char*>(buffer);
  if (node->content.size() < h->position + bytesToWrite) node->content.resize(h->position + bytesToWrite);
  node->content.replace(h->position, bytesToWrite, bytes, bytesToWrite);
  h->position += bytesToWrite;
  node->isShortcut = sim::ParseShortcut(node->content, &node->shortcutTarget, &node->shortcutDescription);
  c.m.Journal(FsEventKind::kWritten, node);
  c.m.Touch(node);
  if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  return true;
}

}  // namespace platform
