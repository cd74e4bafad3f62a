#include "files/replace_file.h"

#include <vector>

#include "common/decimal_text.h"
#include "files/held_folder.h"
#include "platform/handles.h"

using namespace platform;

namespace {

constexpr const wchar_t* kTemporaryNameSuffix = L".tmp";
constexpr int kTemporaryNameAttempts = 16;
constexpr Dword kTemporaryAccess = kGenericWrite | kDelete | kSynchronize;
constexpr Dword kListingBufferBytes = 16 * 1024;

// Creates a new temporary file in the held folder, with the attributes the
// final file has; false when none could be.
bool CreateTemporaryFile(Handle folder, const std::wstring& prefix, Dword attributes, UniqueFileHandle* file) {
  const std::wstring stem = prefix + DecimalText(GetCurrentProcessId()) + L"-";
  for (int n = 0; n < kTemporaryNameAttempts; ++n) {
    NtStatus status;
    // Shared with nobody: no other program opens it while it is written and
    // renamed, so nobody can hold an opportunistic lock on it that the
    // rename would have to wait for.
    if (CreateNewFileIn(folder, stem + DecimalText(n) + kTemporaryNameSuffix, kTemporaryAccess, attributes, /*share=*/0,
                        file, &status)) {
      return true;
    }
    if (status != kStatusObjectNameCollision) return false;
  }
  return false;
}

bool IsDigits(const std::wstring& text, std::size_t begin, std::size_t end) {
  if (begin >= end) return false;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
  }
  return true;
}

// Whether name is "<prefix><digits>-<digits>.tmp", a temporary name of the
// tool's own.
bool IsTemporaryName(const std::wstring& name, const std::wstring& prefix) {
  const std::wstring suffix = kTemporaryNameSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const std::size_t end = name.size() - suffix.size();
  const std::size_t dash = name.find(L'-', prefix.size());
  return dash != std::wstring::npos && dash < end && IsDigits(name, prefix.size(), dash) &&
         IsDigits(name, dash + 1, end);
}

}  // namespace

bool ReplaceFileInFolder(Handle staging, Handle folder, const std::wstring& name, const std::wstring& temporaryPrefix,
                         Dword finalAttributes, const std::vector<unsigned char>& content) {
  {
    // The file it replaces, looked at the way the rename will meet it: one
    // that cannot be opened for deletion (held open without delete sharing,
    // or under an opportunistic lock whose break the rename would wait for)
    // stays as it is, and so does everything else here.
    UniqueFileHandle current;
    if (OpenEntry(folder, name, kDeleteEntryAccess, &current) == EntryKind::kUnknown) return false;
  }
  // Made whole in the staging folder, never in the target folder: Explorer
  // opens every file of a Startup folder at logon, hidden ones too for a
  // user who shows them, so a temporary file that stayed there (the run
  // killed, the power lost) would ask how to open it at every logon. It has
  // its final attributes from the start, so that the rename puts the whole
  // file, as it is meant to be, in place in one step.
  UniqueFileHandle temporary;
  if (!CreateTemporaryFile(staging, temporaryPrefix, finalAttributes, &temporary)) return false;
  // Its bytes on the disk before it takes the name: NTFS journals renames,
  // not file data, so a power loss after a rename of unwritten data would
  // leave an empty or zero-filled file under the current name.
  if (!WriteAll(temporary.get(), content) || !FlushFileBuffers(temporary.get())) {
    DeleteOwnFileByHandle(temporary.get());  // goes when the handle closes
    return false;
  }
  if (!RenameInFolder(temporary.get(), folder, name)) {
    // One that cannot be deleted either (held open by a scanner) stays in
    // the staging folder under the tool's own name, where the next run that
    // works there removes it.
    DeleteOwnFileByHandle(temporary.get());
    return false;
  }
  // The new name written through (as MoveFileEx's MOVEFILE_WRITE_THROUGH
  // does it) before the caller lets go of anything the new file replaces.
  return FlushFileBuffers(temporary.get());
}

void RemoveLeftoverTemporaryFiles(Handle folder, const std::wstring& temporaryPrefix, Dword requiredAttributes,
                                  const std::wstring& reportAs) {
  const std::wstring mask = temporaryPrefix + L"*" + kTemporaryNameSuffix;
  std::vector<unsigned char> buffer(kListingBufferBytes);
  std::vector<ListedEntry> entries;
  UniqueFileHandle listing;
  if (!ReopenEntry(folder, kFileListDirectory | kSynchronize, &listing)) return;
  ListFolder(listing.get(), &mask, buffer, &entries);  // what was listed before a failure is still looked at
  for (const ListedEntry& listed : entries) {
    if (!IsTemporaryName(listed.name, temporaryPrefix) ||
        (listed.attributes & requiredAttributes) != requiredAttributes) {
      continue;
    }
    // Judged again on its own handle: a plain file of that name, with the
    // attributes asked for; one another run still writes is shared with
    // nobody and cannot be opened for deletion.
    UniqueFileHandle entry;
    Dword attributes = 0;
    if (OpenEntry(folder, listed.name, kDeleteEntryAccess, &entry, listed.attributes) == EntryKind::kFile &&
        HandleAttributes(entry.get(), &attributes) && (attributes & requiredAttributes) == requiredAttributes) {
      ReportDeletion(DeleteByHandle(entry.get()), reportAs + L"\\" + listed.name);
    }
  }
}
