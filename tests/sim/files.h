// The simulated machine's file system: drives and network shares of
// case-insensitive folders and files with attributes, junctions, symbolic
// links, object-manager links and cloud placeholders; the sharing of every
// open; a journal of every change. Its tree, paths and sharing are in
// file_system.cpp; the calls in files.cpp (kernel32) and nt_files.cpp
// (ntdll), over what they share in file_opens.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/handle_table.h"

namespace sim {

using platform::Dword;

struct FsNode {
  std::uint64_t id = 0;  // unique on its machine, never reused: the same entry wherever it is moved
  std::wstring name;     // as created (case kept)
  bool isDirectory = false;
  Dword attributes = 0;  // FILE_ATTRIBUTE_* (directory and reparse bits kept in step with the fields)
  // Links (junctions, symbolic links): the absolute path they point at. A
  // target that begins with a single backslash is an object-manager
  // directory ("\RPC Control"): a path through the link continues with the
  // object-manager symbolic link of the next name (FileSystem::objectLinks).
  std::wstring linkTarget;
  Dword reparseTag = 0;  // also set, without a linkTarget, on a reparse point that is not a link
  std::string content;
  // What of its data is on the disk. WriteFile changes content at once, as
  // the cache does; FlushFileBuffers writes it through. A power loss leaves
  // the durable data (names, renames, attributes and deletions are journaled
  // by NTFS and survive; file data is not).
  std::string durableContent;
  bool unflushed = false;
  // A user holds an opportunistic lock on it and never acknowledges a
  // break: an open that breaks it (any access beyond attributes and
  // synchronize) waits unless it asks FILE_COMPLETE_IF_OPLOCKED; a delete
  // disposition or a rename over it on a handle already open waits. Each
  // wait lasts until the call is cancelled (Machine::CancelledAfterItsBound).
  bool userOplock = false;
  // A user holds a Read-Handle oplock on it through a handle that shares
  // reading, writing and deletion, and never acknowledges a break: an open
  // without a sharing conflict breaks nothing and succeeds; a delete
  // disposition or a rename of it (or over it) breaks the handle caching
  // and waits for the acknowledgement.
  bool readHandleOplock = false;
  bool isShortcut = false;  // written through the shell link object
  std::wstring shortcutTarget, shortcutDescription;
  bool inUse = false;          // open elsewhere, sharing read only: delete, move and write fail with 32
  bool scannerOpen = false;    // open elsewhere, sharing everything (an indexer, a scanner): a delete
                               // without POSIX semantics stays pending while it is open
  bool deletePending = false;  // a delete disposition waits for the last handle to close
  bool denyDelete = false;     // an ACL refuses deletion: 5
  bool denyList = false;       // an ACL refuses listing a folder: 5
  bool denyWrite = false;      // an ACL refuses creating files in a folder: 5
  bool detached = false;       // no longer in the tree (deleted), kept alive by an open handle
  // The account that owns it and, unless set further down, everything in
  // it: a profile folder is its user's, what a user makes is hers. Empty:
  // the administrators' (the all-users folders, the system's). Only an open
  // made while acting as a user checks it (FileSystem::OwnerOf).
  std::wstring owner;
  std::map<std::wstring, std::unique_ptr<FsNode>> children;  // by folded name, which is also NTFS order
  FsNode* parent = nullptr;
};

enum class FsEventKind {
  kDeleted,
  kRemovedDirectory,
  kCreated,
  kOverwritten,
  kMovedAway,
  kMovedHere,
  kWritten,
  kAttributesChanged
};
struct FsEvent {
  FsEventKind kind;
  std::wstring path;  // canonical absolute path at the time
  std::uint64_t node = 0;
  std::uint64_t parent = 0;  // the folder it was in (kMovedHere: the folder it went to)
  bool byTool = true;        // false for what a test's adversary did meanwhile
  // Whose the entry was (kMovedHere: the folder it went to): who may have
  // made the change with only the rights of an owner.
  std::wstring owner;
};

class FileSystem {
 public:
  // Drive C: exists from the start. Sharing is checked against the file
  // handles of handles.
  explicit FileSystem(const HandleTable& handles);
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  wchar_t currentDrive = L'C';
  std::wstring currentDirectory = L"C:\\Windows\\system32";
  FsNode* AddDirectory(const std::wstring& path, Dword attributes = 0);
  FsNode* AddFile(const std::wstring& path, Dword attributes = 0, const std::string& content = "x");
  // A junction (tag mount point) or directory symbolic link to target.
  FsNode* AddDirectoryLink(const std::wstring& path, const std::wstring& target, bool junction = true);
  FsNode* AddFileLink(const std::wstring& path, const std::wstring& target);
  // A junction to an object-manager directory ("\RPC Control"), and an
  // object-manager symbolic link in it: what a user without rights can make.
  FsNode* AddObjectDirectoryJunction(const std::wstring& path, const std::wstring& objectDirectory);
  void AddObjectLink(const std::wstring& objectPath, const std::wstring& target);
  // A reparse point that is not a link (a cloud placeholder, by default).
  FsNode* AddPlaceholder(const std::wstring& path, bool directory, Dword tag = platform::kIoReparseTagCloud);
  FsNode* FindNode(const std::wstring& path);  // does not follow a final link; null if absent
  bool Exists(const std::wstring& path) { return FindNode(path) != nullptr; }
  // Whether a path names an existing file (not a folder), links followed.
  bool IsExistingFile(const std::wstring& path);
  // Every path below root (root excluded), canonical, sorted; links are listed, not followed.
  std::vector<std::wstring> ListTree(const std::wstring& root);
  std::vector<FsEvent> fsEvents;
  void Journal(FsEventKind kind, const FsNode* node);
  // Absolute, '\' separated, . and .. resolved: "C:\x" or "\\server\share\x".
  std::wstring CanonicalPath(const std::wstring& path);
  // Object-manager symbolic links by folded path ("\RPC CONTROL\NAME") -> the path they name.
  std::map<std::wstring, std::wstring> objectLinks;
  // The process's placeholder compatibility mode
  // (RtlSetProcessPlaceholderCompatibilityMode); 0 until the tool sets one.
  // Placeholders are always shown exposed here, as to most programs.
  int placeholderMode = 0;
  // Drives whose file system knows no POSIX delete or rename (FAT, exFAT):
  // those requests are refused with ERROR_INVALID_PARAMETER there.
  std::set<wchar_t> volumesWithoutPosix;
  // The drive letter a node lies on, 0 on a share.
  wchar_t DriveOf(const FsNode* node) const;
  // A power loss: every file's data is what was last written through; the
  // tool's handles are gone with their delete dispositions.
  void PowerLoss();

  // Sharing: whether an open asking access (generic rights mapped) with
  // sharing share would be granted next to every open of node, the tool's
  // handles and the opens elsewhere that inUse and scannerOpen stand for.
  bool ShareAllows(const FsNode* node, Dword access, Dword share) const;
  bool HasOpenHandles(const FsNode* node) const;
  // Removes node from the tree with a journal entry; a node that a handle
  // still refers to is kept alive, detached, until that handle closes.
  void RemoveNode(FsNode* node);
  // Renames node within its folder or moves it to folder, with journal
  // entries; no checks (the callers make them).
  void MoveNode(FsNode* node, FsNode* folder, const std::wstring& name);
  // A new entry made directly in folder, with a journal entry (a test's
  // adversary planting its links).
  FsNode* AddChild(FsNode* folder, const std::wstring& name, bool directory);
  // What a test's adversary does is journaled as not done by the tool.
  bool adversaryActing = false;
  // The entries the latest file-system calls reached, for an adversary to race.
  std::vector<std::uint64_t> recentNodes;
  void Touch(const FsNode* node);
  FsNode* NodeById(std::uint64_t id);

  std::map<wchar_t, std::unique_ptr<FsNode>> drives;
  // Network shares by folded "\\SERVER\SHARE"; their root node is named "\\server\share".
  std::map<std::wstring, std::unique_ptr<FsNode>> shares;
  // The root node (drive or share) of a canonical path, and where its
  // components begin; null when there is none (and create is false).
  FsNode* RootOf(const std::wstring& canonical, std::size_t* rest, bool create = false);
  std::uint64_t nextNodeId = 1;

  // Path resolution. Resolve returns the node for a path; when followFinal is
  // false a final reparse point is returned itself rather than its target.
  // error receives 2 (final missing), 3 (a folder on the way missing), etc.
  FsNode* Resolve(const std::wstring& path, bool followFinal, Dword* error, FsNode** parentOut = nullptr,
                  std::wstring* finalName = nullptr);
  // The same from a folder, for names relative to an open handle: parts are
  // taken as they are (no normalisation); links on the way are followed.
  FsNode* ResolveBelow(FsNode* start, const std::vector<std::wstring>& parts, bool followFinal, Dword* error,
                       FsNode** parentOut = nullptr, std::wstring* finalName = nullptr);
  std::wstring PathOf(const FsNode* node) const;
  // The account that owns node, as FsNode::owner says: its own, or its
  // nearest folder's that has one; empty for the administrators.
  std::wstring OwnerOf(const FsNode* node) const;
  // Who makes what the adversary makes (FileSystem::AddChild): her entries.
  std::wstring adversaryAccount = L"alice";

 private:
  FsNode* ResolveFrom(FsNode* start, const std::vector<std::wstring>* parts, const std::wstring& path, bool followFinal,
                      Dword* error, FsNode** parentOut, std::wstring* finalName);
  FsNode* MakeNode(const std::wstring& path, bool directory);

  const HandleTable& handles_;
  std::vector<std::unique_ptr<FsNode>> detachedNodes_;  // deleted while a handle was open
};

}  // namespace sim
