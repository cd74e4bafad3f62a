// File work that nobody can redirect: folders opened by handle, checked
// through the handle and held, and every entry opened relative to the held
// folder that contains it.
//
// The tool runs elevated inside folders that users without rights own. A
// path that is checked and then used by name can be redirected between the
// two (a folder renamed and a junction put in its place, or a junction to
// the object-manager directory "\RPC Control" whose symbolic links point at
// any file). So:
// - the folder a piece of work starts from (a profile directory, a shell
//   folder the tool resolved) is opened by path: links above it are
//   followed (an administrator may have moved the profiles), but the
//   folder itself must be a real folder;
// - every folder below it is opened by name relative to the handle of the
//   folder above (NtCreateFile with a root directory), never by a path that
//   would be parsed again from the top;
// - each is checked through its own handle (a directory, not a reparse
//   point) and held without FILE_SHARE_DELETE until the work inside it is
//   done, so nobody can rename, move or remove it meanwhile;
// - entries are opened with FILE_OPEN_REPARSE_POINT, so a link is handled
//   as the link itself, and deleted through that handle.
// A folder on the way that is a link, or any reparse point other than a
// cloud-files placeholder, or that cannot be opened and checked, ends the
// work at that place, silently, as a missing folder does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/platform.h"

// What an entry is, as its own handle tells.
enum class EntryKind {
  kMissing,      // no entry of that name
  kFile,         // a file
  kFolder,       // a real folder
  kLink,         // a junction or symbolic link (a name surrogate), to a folder or a file
  kOtherFile,    // a file that is a reparse point but no link (a cloud placeholder, a deduplicated file)
  kCloudFolder,  // a real folder that a cloud-files provider manages (OneDrive): a placeholder, no link
  kOtherFolder,  // any other folder that is a reparse point but no link: its listing goes to a provider
  kUnknown,      // it could not be opened or checked, or the folder's listing and the handle disagree
};

// Whether a folder of that kind is one the tool works in: a real folder, or
// one a cloud-files provider manages. A synced folder (OneDrive's folder
// backup moves a desktop into one) is a real folder on the disk that
// carries the provider's placeholder reparse point; it redirects nowhere,
// so it is opened, checked, held and entered like any other. The tree
// removal enters neither it nor any other reparse point.
inline bool IsFolderToWorkIn(EntryKind kind) { return kind == EntryKind::kFolder || kind == EntryKind::kCloudFolder; }

// The rights every held folder is opened with: list, read attributes,
// wait. Shared for reading and writing, never for deletion.
constexpr platform::Dword kHoldFolderAccess =
    platform::kFileListDirectory | platform::kFileReadAttributes | platform::kSynchronize;
// The rights to look at an entry and delete it.
constexpr platform::Dword kDeleteEntryAccess =
    platform::kDelete | platform::kFileReadAttributes | platform::kSynchronize;

// The "\\?\" form of the folder path names, as Windows reads that path:
// first its full form (GetFullPathNameW resolves "." and "..", drops
// trailing dots and blanks, collapses separators), then the prefix, so that
// nothing appended to it is trimmed again and MAX_PATH is no limit. A path
// given in that form already stays as it is. False when the path has no
// full form on a drive or a share.
bool VerbatimForm(const std::wstring& path, std::wstring* verbatim);

// Opens name in folder (a name relative to the folder's handle, taken as
// it is) with FILE_OPEN_REPARSE_POINT and the given rights, shared for
// reading and writing, and tells what it is from the opened handle. A
// folder is also checked against the folder's listing: where that listing
// shows a reparse point the handle does not (the two can only disagree when
// the entry was swapped meanwhile, or under Wine, whose handles see through
// unix symbolic links), the entry is kUnknown. listedAttributes are the
// attributes the caller's own listing of the folder gave the entry; without
// them a fresh listing is read (one that cannot be read adds nothing).
// entry holds the handle when the result is neither kMissing nor kUnknown.
EntryKind OpenEntry(platform::Handle folder, const std::wstring& name, platform::Dword access,
                    platform::UniqueFileHandle* entry, std::optional<platform::Dword> listedAttributes = std::nullopt);

// One entry of a folder listing: its name, exactly as listed, and the
// attributes the listing gives it.
struct ListedEntry {
  std::wstring name;
  platform::Dword attributes;
};

// Lists the folder that handle (opened with FILE_LIST_DIRECTORY for
// synchronous I/O) refers to, from its start, through buffer (any size that
// holds one entry of the longest name), appending each entry to entries;
// "." and ".." are left out. mask, when given, is the listing's name filter
// (wildcards as NtQueryDirectoryFile reads them); a handle keeps the mask of
// its first listing for its life. With firstCallOnly, one call only (a mask
// that names one entry).
// False when the listing fails before its end (entries then hold what was
// listed so far).
bool ListFolder(platform::Handle folder, const std::wstring* mask, std::vector<unsigned char>& buffer,
                std::vector<ListedEntry>* entries, bool firstCallOnly = false);

// Creates the new file name in folder (relative to the folder's handle, a
// name that is taken fails with STATUS_OBJECT_NAME_COLLISION) with the
// given rights, attributes and sharing, for synchronous I/O. status holds
// NtCreateFile's answer; file the handle when it succeeded.
bool CreateNewFileIn(platform::Handle folder, const std::wstring& name, platform::Dword access,
                     platform::Dword attributes, platform::Dword share, platform::UniqueFileHandle* file,
                     platform::NtStatus* status);

// Writes the whole of bytes through the handle; false when a write failed
// or wrote nothing.
bool WriteAll(platform::Handle file, const std::vector<unsigned char>& bytes);

// Sets the entry's attributes through its handle (times stay as they are).
bool SetAttributesByHandle(platform::Handle file, platform::Dword attributes);

// Renames the entry of handle (opened with DELETE) to name in the held
// folder, replacing an entry of that name in one step: with POSIX
// semantics where the system and the volume know them (an entry of that
// name that another program holds open with deletion shared is replaced
// too), the plain way elsewhere.
bool RenameInFolder(platform::Handle file, platform::Handle folder, const std::wstring& name);

// The entry's attributes, as its handle tells them.
bool HandleAttributes(platform::Handle entry, platform::Dword* attributes);

// Opens the entry that handle refers to again with other rights (a
// relative open with an empty name), shared for reading, writing and
// deletion so that it sits beside the first handle.
bool ReopenEntry(platform::Handle handle, platform::Dword access, platform::UniqueFileHandle* reopened);

// Every open below a held folder, and that of a drive's or a share's root
// a chain starts from, asks not to wait for the break of an
// opportunistic lock another program holds (FILE_COMPLETE_IF_OPLOCKED); an
// entry whose open would have waited is closed at once and counts as one
// that could not be opened (in use). A call on a handle already open (a
// delete disposition, a rename over an oplocked file) can still wait for a
// break: that call is cancelled after its bound (files/call_bound.h).
//
// Marks the entry of handle (opened with DELETE) for deletion: with POSIX
// semantics where Windows offers them (Windows 10 1709 and later), so that
// an entry someone else holds open is gone from its folder at once instead
// of pending until they close it; otherwise the plain way, deleted when the
// last handle closes. Read-only files and folders that are not empty
// refuse. A link goes as the link. True when the deletion was accepted.
// In a piece of work that a stuck call gave up (files/call_bound.h) it is
// refused without a call.
bool DeleteByHandle(platform::Handle handle);
// The same for a file of the tool's own that it created shared with nobody,
// which nobody else can hold or lock: it is deleted even in a piece given up.
bool DeleteOwnFileByHandle(platform::Handle handle);

// Deletes the entry name in folder when it is a file (a cloud placeholder
// of one included: its provider then removes it where it syncs it) or a
// link; a real folder, or a reparse point folder, of that name stays. True
// when it went.
bool DeleteFileNamed(platform::Handle folder, const std::wstring& name);

// Removes the folder name in folder when it is an empty real folder, or,
// when a link stands in its place, that link (what it points at stays).
// Nothing inside is ever deleted.
bool RemoveFolderIfEmpty(platform::Handle folder, const std::wstring& name);

// For the decision log (common/report.h): why the latest DeleteByHandle,
// DeleteFileNamed, RemoveFolderIfEmpty, OpenEntry or FolderChain::Open did
// not do what was asked, in words; empty when there was nothing to do (no
// entry of that name). Worked out only while the log is on: without it,
// not a call more.
std::wstring LastRefusal();
// The words for an entry of that kind that is not worked in.
std::wstring RefusalOfKind(EntryKind kind);
// The same, and for one that could not be opened and checked, the latest
// refusal.
std::wstring RefusalOf(EntryKind kind);
// Into the decision log: "removed path" when gone, else "left path" with
// the latest refusal, when there is one (nothing for an entry not there).
void ReportDeletion(bool gone, const std::wstring& path);

// A folder as the tool reaches it: the folder path a piece of work starts
// from, and the plain folder names below it (empty, or "\name" repeated).
// root is read as Windows reads root followed by a backslash, so that "C:"
// means the drive's root folder and "C:\x." the folder "C:\x", as the path
// root + below would be read.
struct FolderPath {
  std::wstring root;
  std::wstring below;
  // As a path, for the decision log.
  std::wstring Text() const { return root + below; }
};

// A chain of held folders: the folder a piece of work starts from, and
// the folders below it down to the one the work is done in.
class FolderChain {
 public:
  // Opens the root by path, then each name below it relative to the one
  // above, each checked and held. False, holding nothing, when any of them
  // is missing, a link, or cannot be opened and checked, and without a
  // call in a piece of work given up (files/call_bound.h).
  bool Open(const FolderPath& folder);

  // The handle of the last folder of the chain.
  platform::Handle last() const { return held_.back().get(); }
  // The handle of the held folder that holds the last one; null when the
  // chain is one folder only.
  platform::Handle above() const { return held_.size() < 2 ? nullptr : held_[held_.size() - 2].get(); }
  // After Open failed: whether a folder on the way is not there at all.
  bool missing() const { return missing_; }
  // While the decision log is on, after Open: the last folder's path as
  // Windows read it (its start in full form), for the log; folder's own
  // text when Open failed before reading it.
  std::wstring Named(const FolderPath& folder) const { return text_.empty() ? folder.Text() : text_; }
  const std::wstring& text() const { return text_; }

 private:
  std::vector<platform::UniqueFileHandle> held_;
  bool missing_ = false;
  std::wstring text_;
};
