// What the simulated file calls of kernel32 (files.cpp) and of ntdll
// (nt_files.cpp) share: opening an entry that resolution found, a folder
// listing step, and the mapping between Win32 errors and NTSTATUS.
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
#pragma once

#include <string>

#include "platform/platform.h"
#include "sim/constants.h"
#include "sim/machine.h"

namespace sim {

using platform::NtStatus;

// The attributes SetFileAttributesW and FILE_BASIC_INFO can set; the
// directory and reparse-point bits belong to the entry.
constexpr Dword kSettableAttributes = platform::kFileAttributeReadonly | platform::kFileAttributeHidden |
                                      platform::kFileAttributeSystem | platform::kFileAttributeArchive |
                                      0x100 /*temporary*/ | 0x1000 /*offline*/ | 0x2000 /*not content indexed*/;

// The attributes a listing or a handle reports for an entry.
inline Dword ReportedAttributes(const FsNode& n) {
  return n.attributes == 0 ? platform::kFileAttributeNormal : n.attributes;
}

// The status of an open that resolution failed with error.
NtStatus StatusOfError(Dword error);
// RtlNtStatusToDosError for the statuses these calls produce.
Dword ErrorOfStatus(NtStatus status);

// The entry of a file handle, or null.
HandleEntry* FileEntry(Machine& m, platform::Handle h);

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
                      platform::Handle* out);

// One folder listing step on a handle, shared by GetFileInformationByHandleEx
// and NtQueryDirectoryFile: FILE_ID_BOTH_DIR_INFO entries from where the
// handle's listing stands. The names are taken when the listing starts
// (the mask of the first call stays for the handle's life); an entry
// removed since is not returned, one added since does not appear.
NtStatus ListStep(Machine& m, HandleEntry& h, void* buffer, Dword length, bool restart, bool single,
                  const std::wstring* mask);

}  // namespace sim
