#include "shortcuts/startup_shortcut.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "common/decimal_text.h"
#include "files/held_folder.h"
#include "platform/handles.h"
#include "profiles/profile_list.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// The new shortcut is written under a temporary name first, "~Vantorel
// Drive <process id>-<n>.tmp" in the start-up folder itself, so that the
// move into place is a rename inside one folder. The process id keeps two
// runs apart; n skips names that are already taken, so no file of the
// user's (or left by an earlier run) is ever overwritten or deleted.
constexpr const wchar_t* kTemporaryNamePrefix = L"~Vantorel Drive ";
constexpr const wchar_t* kTemporaryNameSuffix = L".tmp";
constexpr int kTemporaryNameAttempts = 16;
// Explorer opens every visible file of a Startup folder at logon, whatever
// its name; hidden ones it passes over. The temporary file is hidden from
// the moment it exists until just before it is renamed into place, so one
// that ever stayed behind (the run killed, or the file held open by a
// scanner so it can be neither moved nor deleted) starts nothing.
constexpr Dword kTemporaryAttributes = kFileAttributeHidden | kFileAttributeArchive;
constexpr Dword kShortcutAttributes = kFileAttributeArchive;
constexpr Dword kTemporaryAccess = kGenericWrite | kDelete | kSynchronize;
constexpr Dword kReadBufferBytes = 4096;

// Creates a new temporary file in the held folder; false when none could be.
bool CreateTemporaryFile(Handle folder, UniqueFileHandle* file) {
  const std::wstring stem = kTemporaryNamePrefix + DecimalText(GetCurrentProcessId()) + L"-";
  for (int n = 0; n < kTemporaryNameAttempts; ++n) {
    std::wstring name = stem + DecimalText(n) + kTemporaryNameSuffix;
    UnicodeString string{static_cast<std::uint16_t>(name.size() * sizeof(wchar_t)),
                         static_cast<std::uint16_t>(name.size() * sizeof(wchar_t)), &name[0]};
    ObjectAttributes attributes{};
    attributes.Length = kObjectAttributesSize;
    attributes.RootDirectory = folder;
    attributes.ObjectName = &string;
    attributes.Attributes = kObjCaseInsensitive;
    IoStatusBlock io{};
    Handle created = InvalidHandleValue();
    // Shared for reading only: nobody renames, deletes or writes it meanwhile.
    const NtStatus status =
        NtCreateFile(&created, kTemporaryAccess, &attributes, &io, kTemporaryAttributes, kFileShareRead, kFileCreate,
                     kFileNonDirectoryFile | kFileSynchronousIoNonalert);
    if (status == kStatusSuccess) {
      file->reset(created);
      return true;
    }
    if (status != kStatusObjectNameCollision) return false;
  }
  return false;
}

// Writes the whole of bytes through the handle.
bool WriteAll(Handle file, const std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    Dword written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<Dword>(bytes.size() - done), &written) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Renames the file of handle to name in the held folder, replacing an entry
// of that name in one step.
bool RenameInto(Handle file, Handle folder, const std::wstring& name) {
  const std::size_t bytes = offsetof(FileRenameInformation, FileName) + name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(bytes < sizeof(FileRenameInformation) ? sizeof(FileRenameInformation) : bytes);
  auto* info = reinterpret_cast<FileRenameInformation*>(buffer.data());
  info->ReplaceIfExists = 1;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<Dword>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), info->FileName);
  IoStatusBlock io{};
  return NtSetInformationFile(file, &io, info, static_cast<Dword>(buffer.size()), kFileRenameInformation) ==
         kStatusSuccess;
}

bool SetAttributes(Handle file, Dword attributes) {
  FileBasicInformation info{};  // times of 0 stay as they are
  info.FileAttributes = attributes;
  return SetFileInformationByHandle(file, kFileBasicInfo, &info, sizeof(info));
}

// Whether the held folder has an entry of that name, of any kind. One that
// cannot even be opened to look at it counts as not there: the upgrade never
// turns on start at logon for a user on a guess.
bool Present(Handle folder, const std::wstring& name) {
  UniqueFileHandle entry;
  const EntryKind kind = OpenEntry(folder, name, kFileReadAttributes | kSynchronize, &entry);
  return kind != EntryKind::kMissing && kind != EntryKind::kUnknown;
}

// Puts a new shortcut to target at "Vantorel Drive.lnk" in the held folder,
// replacing any file there in one step. True when it is in place; false
// when nothing there changed.
bool PutShortcutInPlace(Handle folder, const std::wstring& target) {
  UniqueFileHandle temporary;
  if (!CreateTemporaryFile(folder, &temporary)) return false;
  // Shown just before the rename, not after it: a shortcut that could not
  // be shown once it had replaced the current one would have lost the user
  // the one that started the client.
  if (!WriteShortcut(temporary.get(), target, kStartupShortcutDescription) ||
      !SetAttributes(temporary.get(), kShortcutAttributes)) {
    DeleteByHandle(temporary.get());  // goes when the handle closes
    return false;
  }
  if (!RenameInto(temporary.get(), folder, kCurrentShortcutName)) {
    if (!DeleteByHandle(temporary.get())) SetAttributes(temporary.get(), kTemporaryAttributes);
    return false;
  }
  return true;
}

}  // namespace

bool WriteShortcut(Handle file, const std::wstring& target, const std::wstring& description) {
  UniqueShellLink link;
  if (CreateShellLink(link.put()) != kSOk) return false;
  // S_FALSE here only means the target does not exist yet, which is fine
  // during an installation; a failure would leave a shortcut to nothing.
  if (ShellLinkSetPath(link.get(), target.c_str()) < 0) return false;
  ShellLinkSetDescription(link.get(), description.c_str());
  UniquePersistStream persist;
  if (ShellLinkQueryPersistStream(link.get(), persist.put()) != kSOk) return false;
  UniqueStream stream;
  if (CreateStreamOnHGlobal(/*deleteOnRelease=*/true, stream.put()) != kSOk) return false;
  if (PersistStreamSave(persist.get(), stream.get(), /*clearDirty=*/true) != kSOk) return false;
  // The bytes saved, from the start of the stream.
  if (StreamSeek(stream.get(), 0, kStreamSeekSet, nullptr) != kSOk) return false;
  std::vector<unsigned char> bytes;
  for (;;) {
    unsigned char chunk[kReadBufferBytes];
    Dword read = 0;
    if (StreamRead(stream.get(), chunk, sizeof(chunk), &read) < 0) return false;
    bytes.insert(bytes.end(), chunk, chunk + read);
    if (read < sizeof(chunk)) break;
  }
  return !bytes.empty() && WriteAll(file, bytes);
}

void ReplaceStartupShortcut(const FolderPath& folder, const std::wstring& target) {
  FolderChain chain;
  if (!chain.Open(folder)) return;
  const Handle held = chain.last();

  std::vector<std::wstring> present;
  for (const std::wstring& name : StartupShortcutNames()) {
    if (Present(held, name)) present.push_back(name);
  }
  // No start-up shortcut: the user does not have the client start at logon.
  if (present.empty()) return;

  // The new shortcut first: until it is in place, every old one stays.
  if (!PutShortcutInPlace(held, target)) return;
  for (const std::wstring& old : present) {
    if (old != kCurrentShortcutName) DeleteFileNamed(held, old);  // one that cannot go stays beside the new one
  }
}

void UpgradeStartupShortcut() {
  // The shell link object needs an apartment. It is never left: the process
  // ends soon after this command.
  CoInitialize(/*reserved=*/nullptr);

  std::wstring programFiles;
  if (GetProgramFilesFolder(&programFiles) < 0) return;
  const std::wstring launcher = programFiles + kLauncherRelativePath;

  std::wstring startupRelative;
  if (!GetProfileRelativeFolder(kCsidlProfile, kCsidlStartup, &startupRelative)) return;

  ForEachProfileDirectory([&](const std::wstring& profileDirectory) {
    ReplaceStartupShortcut({profileDirectory, startupRelative}, launcher);
  });
}
