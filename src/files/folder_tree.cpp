#include "files/folder_tree.h"

#include <vector>

#include "files/held_folder.h"
#include "platform/handles.h"

using namespace platform;

namespace {

// One listing call fills this much; a name is at most 255 units, so many
// entries fit.
constexpr Dword kListingBufferBytes = 64 * 1024;
constexpr Dword kListFolderAccess = kFileListDirectory | kSynchronize;

// Removes what the real folder held by folder (opened with DELETE, and with
// the right to list it when listable) contains, then the folder. True when
// it went, false when something stayed.
bool RemoveHeldTree(Handle folder, bool listable, std::vector<unsigned char>& buffer) {
  std::vector<ListedEntry> entries;
  if (listable) {
    if (!ListFolder(folder, /*mask=*/nullptr, buffer, &entries)) return false;
  } else {
    // Listed through a handle of its own that shares deletion, so that the
    // folder's own handle keeps it held.
    UniqueFileHandle listing;
    if (!ReopenEntry(folder, kListFolderAccess, &listing) ||
        !ListFolder(listing.get(), /*mask=*/nullptr, buffer, &entries))
      return false;
  }
  bool removed = true;
  for (const ListedEntry& listed : entries) {
    // What the entry is comes from its handle; the listing only chooses the
    // rights: a folder is also opened to be listed, a file as DeleteFileW
    // opens it.
    const bool listedFolder = (listed.attributes & kFileAttributeDirectory) != 0;
    UniqueFileHandle entry;
    switch (OpenEntry(folder, listed.name, kDeleteEntryAccess | (listedFolder ? kFileListDirectory : 0), &entry,
                      listed.attributes)) {
      case EntryKind::kMissing:
        break;  // gone meanwhile
      case EntryKind::kFolder:
        // A sub-folder that stays keeps this folder too: that is how its
        // failure shows here.
        RemoveHeldTree(entry.get(), listedFolder, buffer);
        break;
      case EntryKind::kFile:
      case EntryKind::kLink:
        // A link goes as the link; what it points at is not touched.
        if (!DeleteByHandle(entry.get())) removed = false;
        break;
      case EntryKind::kOtherFile:
      case EntryKind::kCloudFolder:
      case EntryKind::kOtherFolder:
      case EntryKind::kUnknown:
        // Neither entered nor removed: a reparse point that is not a link
        // (its provider would be asked to act), or an entry that could not
        // be opened and checked.
        removed = false;
        break;
    }
  }
  if (!DeleteByHandle(folder)) removed = false;
  return removed;
}

}  // namespace

bool RemoveFolderTreeIn(Handle parent, const std::wstring& name) {
  UniqueFileHandle entry;
  switch (OpenEntry(parent, name, kDeleteEntryAccess | kFileListDirectory, &entry)) {
    case EntryKind::kMissing:
      return true;
    case EntryKind::kLink:
      // A link planted in the folder's place goes as a link.
      return DeleteByHandle(entry.get());
    case EntryKind::kFolder: {
      std::vector<unsigned char> buffer(kListingBufferBytes);
      return RemoveHeldTree(entry.get(), /*listable=*/true, buffer);
    }
    default:
      return false;  // a file of that name, a placeholder, or an entry that could not be opened and checked
  }
}

bool RemoveFolderTree(const std::wstring& path) {
  std::wstring verbatim;
  if (!VerbatimForm(path, &verbatim)) return false;
  // The folder that holds it is the start of the work: it may be reached
  // through links; the folder itself is then opened inside it.
  const std::size_t slash = verbatim.rfind(L'\\');
  const std::wstring parent = verbatim.substr(0, slash);
  const std::wstring name = verbatim.substr(slash + 1);
  if (name.empty()) return false;
  FolderChain chain;
  // A folder that is not there is removed already.
  if (!chain.Open({parent, L""})) return chain.missing();
  return RemoveFolderTreeIn(chain.last(), name);
}
