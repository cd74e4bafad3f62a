#include "files/folder_tree.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/decimal_text.h"
#include "common/report.h"

#include "files/held_folder.h"
#include "platform/handles.h"

using namespace platform;

namespace {

// One listing call fills this much; a name is at most 255 units, so many
// entries fit.
constexpr Dword kListingBufferBytes = 64 * 1024;
constexpr Dword kListFolderAccess = kFileListDirectory | kSynchronize;

// What a tree removal did, for the decision log: only while it is on.
struct Tally {
  std::uint64_t files = 0, folders = 0;
  std::vector<std::pair<std::wstring, std::wstring>> left;  // the first ones, with their reasons
  std::uint64_t leftCount = 0;
  void Left(const std::wstring& path, const std::wstring& why) {
    if (left.size() < kLeftLinesShown) left.emplace_back(path, why.empty() ? L"could not be opened and checked" : why);
    ++leftCount;
  }
  static constexpr std::size_t kLeftLinesShown = 20;
};

// Removes what the real folder held by folder (opened with DELETE, and with
// the right to list it when listable) contains, then the folder. True when
// it went, false when something stayed. tally (with the folder's path) is
// null unless the decision log is on.
bool RemoveHeldTree(Handle folder, bool listable, std::vector<unsigned char>& buffer, Tally* tally,
                    const std::wstring& path) {
  std::vector<ListedEntry> entries;
  bool listed = false;
  if (listable) {
    listed = ListFolder(folder, /*mask=*/nullptr, buffer, &entries);
  } else {
    // Listed through a handle of its own that shares deletion, so that the
    // folder's own handle keeps it held.
    UniqueFileHandle listing;
    listed = ReopenEntry(folder, kListFolderAccess, &listing) &&
             ListFolder(listing.get(), /*mask=*/nullptr, buffer, &entries);
  }
  if (!listed) {
    if (tally != nullptr) tally->Left(path, L"cannot be listed");
    return false;
  }
  const std::uint64_t leftBefore = tally != nullptr ? tally->leftCount : 0;
  bool removed = true;
  for (const ListedEntry& listed : entries) {
    // What the entry is comes from its handle; the listing only chooses the
    // rights: a folder is also opened to be listed, a file as DeleteFileW
    // opens it.
    const bool listedFolder = (listed.attributes & kFileAttributeDirectory) != 0;
    const std::wstring inside = tally != nullptr ? path + L"\\" + listed.name : std::wstring();
    UniqueFileHandle entry;
    const EntryKind kind = OpenEntry(folder, listed.name, kDeleteEntryAccess | (listedFolder ? kFileListDirectory : 0),
                                     &entry, listed.attributes);
    switch (kind) {
      case EntryKind::kMissing:
        break;  // gone meanwhile
      case EntryKind::kFolder:
        // A sub-folder that stays keeps this folder too: that is how its
        // failure shows here.
        RemoveHeldTree(entry.get(), listedFolder, buffer, tally, inside);
        break;
      case EntryKind::kFile:
      case EntryKind::kLink:
        // A link goes as the link; what it points at is not touched.
        if (DeleteByHandle(entry.get())) {
          // (A link to a folder is a folder's entry: it counts as one.)
          if (tally != nullptr) ++(listedFolder ? tally->folders : tally->files);
        } else {
          removed = false;
          if (tally != nullptr) tally->Left(inside, LastRefusal());
        }
        break;
      case EntryKind::kOtherFile:
      case EntryKind::kCloudFolder:
      case EntryKind::kOtherFolder:
      case EntryKind::kUnknown:
        // Neither entered nor removed: a reparse point that is not a link
        // (its provider would be asked to act), or an entry that could not
        // be opened and checked.
        removed = false;
        if (tally != nullptr) tally->Left(inside, RefusalOf(kind));
        break;
    }
  }
  if (DeleteByHandle(folder)) {
    if (tally != nullptr) ++tally->folders;
    return removed;
  }
  // Nothing inside it stayed, as far as the tool knows, but it did.
  if (tally != nullptr && tally->leftCount == leftBefore) tally->Left(path, LastRefusal());
  return false;
}

void ReportTree(const std::wstring& path, bool removed, const Tally& tally) {
  // (A tree that stayed with nothing noted inside is the folder itself.)
  report::Tree(path, tally.files, tally.folders, removed ? 0 : std::max<std::uint64_t>(tally.leftCount, 1));
  for (const auto& [entry, why] : tally.left) report::Say(L"left", entry, why);
  if (tally.leftCount > tally.left.size()) {
    report::Say(L"left", path, L"and " + DecimalText(tally.leftCount - tally.left.size()) + L" more entries inside");
  }
}

}  // namespace

bool RemoveFolderTreeIn(Handle parent, const std::wstring& name, const std::wstring& reportAs) {
  UniqueFileHandle entry;
  const bool reported = report::On() && !reportAs.empty();
  switch (const EntryKind kind = OpenEntry(parent, name, kDeleteEntryAccess | kFileListDirectory, &entry)) {
    case EntryKind::kMissing:
      return true;
    case EntryKind::kLink: {
      // A link planted in the folder's place goes as a link.
      const bool gone = DeleteByHandle(entry.get());
      if (reported) ReportDeletion(gone, reportAs);
      return gone;
    }
    case EntryKind::kFolder: {
      std::vector<unsigned char> buffer(kListingBufferBytes);
      Tally tally;
      const bool removed =
          RemoveHeldTree(entry.get(), /*listable=*/true, buffer, reported ? &tally : nullptr, reportAs);
      if (reported) ReportTree(reportAs, removed, tally);
      return removed;
    }
    default:
      // A file of that name, a placeholder, or an entry that could not be
      // opened and checked.
      if (reported) report::Say(L"left", reportAs, RefusalOf(kind));
      return false;
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
