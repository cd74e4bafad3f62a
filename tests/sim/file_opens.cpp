#include "sim/file_opens.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "sim/names.h"

namespace sim {

using namespace platform;

namespace {

constexpr NtStatus kStatusBadNetworkPath = static_cast<NtStatus>(0xC00000BEu);
constexpr NtStatus kStatusReparsePointNotResolved = static_cast<NtStatus>(0xC0000280u);
constexpr Dword kErrorFileExists = 80;
constexpr Dword kErrorDiskFull = 112;

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

}  // namespace

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
    case kStatusCancelled:
      return kErrorOperationAborted;
    default:  // access denied, delete pending, cannot delete, a directory where a file was asked
      return kErrorAccessDenied;
  }
}

// Whether the tool may change node (or make an entry in it): always with its
// own rights, only the owner's entries while acting as a user.
bool MayChange(Machine& m, const FsNode* node) {
  return m.users.actingAs.empty() || Fold(m.files.OwnerOf(node)) == Fold(m.users.actingAs);
}

HandleEntry* FileEntry(Machine& m, Handle h) {
  HandleEntry* e = m.Lookup(h);
  return e != nullptr && e->kind == HandleKind::kFile ? e : nullptr;
}

NtStatus OpenResolved(Machine& m, FsNode* existing, FsNode* parent, const std::wstring& finalName, const OpenRequest& r,
                      Handle* out) {
  FsNode* node = existing;
  if (node == nullptr) {
    if (!r.create) return kStatusObjectNameNotFound;
    if (parent == nullptr || !parent->isDirectory || !parent->linkTarget.empty()) return kStatusObjectPathNotFound;
    if (parent->deletePending || parent->detached) return kStatusDeletePending;
    if (parent->denyWrite || !MayChange(m, parent)) return kStatusAccessDenied;
    auto made = std::make_unique<FsNode>();
    made->id = m.files.nextNodeId++;
    made->name = finalName;
    made->parent = parent;
    made->isDirectory = r.directory;
    made->attributes =
        (r.newAttributes & kSettableAttributes) | (r.directory ? kFileAttributeDirectory : kFileAttributeArchive);
    node = made.get();
    parent->children[Fold(finalName)] = std::move(made);
    m.files.Journal(FsEventKind::kCreated, node);
  } else {
    if (r.create) return kStatusObjectNameCollision;
    if (node->deletePending) return kStatusDeletePending;
    if (r.directory && !node->isDirectory) return kStatusNotADirectory;
    if (r.nonDirectory && node->isDirectory) return kStatusFileIsADirectory;
    if (r.folderNeedsBackupSemantics && node->isDirectory) return kStatusAccessDenied;
    if ((r.access & kDelete) && node->denyDelete) return kStatusAccessDenied;
    if ((r.access & (kDelete | kFileWriteData | kFileAppendData | kFileWriteAttributes | kGenericWrite)) &&
        !MayChange(m, node)) {
      return kStatusAccessDenied;
    }
    if ((r.access & kFileListDirectory) && node->isDirectory && node->denyList) return kStatusAccessDenied;
    if ((r.access & (kFileWriteData | kFileAppendData | kGenericWrite)) && !node->isDirectory &&
        (node->attributes & kFileAttributeReadonly)) {
      return kStatusAccessDenied;
    }
    if (!m.files.ShareAllows(node, r.access, r.share)) return kStatusSharingViolation;
  }
  // An open that asks for more than the entry's attributes breaks an
  // opportunistic lock another program holds on it, and waits for the
  // holder's acknowledgement, unless it asked not to: then it is open, and
  // says so with a success code of its own.
  constexpr Dword kNoBreakAccess = kFileReadAttributes | kFileWriteAttributes | kSynchronize;
  const bool breaksOplock = existing != nullptr && node->userOplock && (r.access & ~kNoBreakAccess) != 0;
  if (breaksOplock && !(r.options & kFileCompleteIfOplocked)) {
    m.CancelledAfterItsBound(node, "an open that waits for an oplock's break");
    return kStatusCancelled;
  }
  HandleEntry e(HandleKind::kFile);
  e.access = r.access;
  if (e.access & kGenericRead) e.access |= kFileReadData | kFileReadAttributes | kSynchronize;
  if (e.access & kGenericWrite) e.access |= kFileWriteData | kFileAppendData | kFileWriteAttributes | kSynchronize;
  e.share = r.share;
  e.options = r.options;
  e.node = node;
  e.byTool = !m.files.adversaryActing;
  e.oplockBreakReported = breaksOplock;
  *out = m.NewHandle(std::move(e));
  m.files.Touch(node);
  return breaksOplock ? kStatusOplockBreakInProgress : kStatusSuccess;
}

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
  m.files.Touch(dir);
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
    if (!dot) m.files.Touch(it->second.get());
    if (single) break;
  }
  if (!any) return first ? kStatusNoSuchFile : kStatusNoMoreFiles;
  return kStatusSuccess;
}

}  // namespace sim
