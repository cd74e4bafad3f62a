#include "files/replace_file.h"

#include "common/decimal_text.h"
#include "files/held_folder.h"
#include "platform/handles.h"

using namespace platform;

namespace {

constexpr const wchar_t* kTemporaryNameSuffix = L".tmp";
constexpr int kTemporaryNameAttempts = 16;
// Hidden from the moment it exists until just before it is renamed into
// place: Explorer opens every visible file of a Startup folder at logon,
// whatever its name, and passes over hidden ones, so one that ever stayed
// behind (the run killed, or the file held open by a scanner so it can be
// neither moved nor deleted) starts nothing.
constexpr Dword kTemporaryAttributes = kFileAttributeHidden | kFileAttributeArchive;
constexpr Dword kTemporaryAccess = kGenericWrite | kDelete | kSynchronize;

// Creates a new temporary file in the held folder; false when none could be.
bool CreateTemporaryFile(Handle folder, const std::wstring& prefix, UniqueFileHandle* file) {
  const std::wstring stem = prefix + DecimalText(GetCurrentProcessId()) + L"-";
  for (int n = 0; n < kTemporaryNameAttempts; ++n) {
    NtStatus status;
    // Shared for reading only: nobody renames, deletes or writes it meanwhile.
    if (CreateNewFileIn(folder, stem + DecimalText(n) + kTemporaryNameSuffix, kTemporaryAccess, kTemporaryAttributes,
                        kFileShareRead, file, &status)) {
      return true;
    }
    if (status != kStatusObjectNameCollision) return false;
  }
  return false;
}

}  // namespace

bool ReplaceFileInFolder(Handle folder, const std::wstring& name, const std::wstring& temporaryPrefix,
                         Dword finalAttributes, FileWriter write, const void* context) {
  UniqueFileHandle temporary;
  if (!CreateTemporaryFile(folder, temporaryPrefix, &temporary)) return false;
  // Shown just before the rename, not after it: a file that could not be
  // shown once it had replaced the current one would have lost the user the
  // one that was there.
  if (!write(temporary.get(), context) || !SetAttributesByHandle(temporary.get(), finalAttributes)) {
    DeleteByHandle(temporary.get());  // goes when the handle closes
    return false;
  }
  if (!RenameInFolder(temporary.get(), folder, name)) {
    if (!DeleteByHandle(temporary.get())) SetAttributesByHandle(temporary.get(), kTemporaryAttributes);
    return false;
  }
  return true;
}
