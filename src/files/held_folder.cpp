#include "files/held_folder.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "common/report.h"
#include "files/call_bound.h"

using namespace platform;

namespace {

constexpr const wchar_t* kVerbatimPrefix = L"\\\\?\\";
constexpr const wchar_t* kVerbatimUncPrefix = L"\\\\?\\UNC\\";
constexpr const wchar_t* kNtPrefix = L"\\??\\";      // the NT name of a verbatim path: "\\?\" becomes "\??\"
constexpr std::size_t kVerbatimPrefixLength = 4;     // "\\?\"
constexpr std::size_t kVerbatimUncPrefixLength = 8;  // "\\?\UNC\"
constexpr std::size_t kVerbatimDriveRootLength = 7;  // "\\?\C:\"
// Room for one listed entry's name, in characters: twice MAX_PATH, more
// than any file system gives a name (255 on NTFS, FAT and exFAT).
constexpr std::size_t kOneEntryNameRoom = 520;
constexpr Dword kShareReadWrite = kFileShareRead | kFileShareWrite;
constexpr Dword kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
// Every entry is opened as itself (a link as the link), synchronously, and
// with the backup intent that RemoveDirectoryW and DeleteFileW use too.
constexpr Dword kEntryOptions = kFileOpenReparsePoint | kFileOpenForBackupIntent | kFileSynchronousIoNonalert;

// The latest refusal, for the decision log.
std::wstring& Refusal() {
  static std::wstring refusal;
  return refusal;
}
void Refuse(const std::wstring& why) {
  if (report::On()) Refusal() = why;
}
// An open's status in words.
void RefuseOpen(NtStatus status) {
  if (!report::On()) return;
  if (status == kStatusOplockBreakInProgress) {
    Refusal() = L"in use (an opportunistic lock)";
    return;
  }
  if (status == kStatusCancelled) {
    Refusal() = report::ReasonOf(kErrorOperationAborted);
    return;
  }
  switch (static_cast<std::uint32_t>(status)) {
    case 0xC0000043u:  // STATUS_SHARING_VIOLATION
      Refusal() = L"in use";
      break;
    case 0xC0000022u:  // STATUS_ACCESS_DENIED
      Refusal() = L"access denied";
      break;
    case 0xC0000056u:  // STATUS_DELETE_PENDING
      Refusal() = L"being deleted";
      break;
    default:
      Refusal() = L"cannot be opened (status 0x" + [status] {
        std::wstring hex;
        for (int shift = 28; shift >= 0; shift -= 4)
          hex += L"0123456789ABCDEF"[(static_cast<std::uint32_t>(status) >> shift) & 0xF];
        return hex;
      }() + L")";
  }
}
// A verbatim path as the log shows it: "\\?\C:\..." as "C:\...",
// "\\?\UNC\server\..." as "\\server\...", without a final separator.
std::wstring Displayed(const std::wstring& verbatim) {
  std::wstring text = verbatim.compare(0, kVerbatimUncPrefixLength, kVerbatimUncPrefix) == 0
                          ? L"\\" + verbatim.substr(kVerbatimUncPrefixLength - 1)
                          : verbatim.substr(kVerbatimPrefixLength);
  while (text.size() > 1 && text.back() == L'\\') text.pop_back();
  return text;
}
constexpr const wchar_t* kGivenUpReason = L"not tried: a stalled call gave up this part of the work";

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "\\?\C:\..." or "\\?\UNC\server\share...": the verbatim forms of a drive's and
// a share's paths. Every other "\\?\" path ("\\?\GLOBALROOT\...",
// "\\?\Volume{...}\...", "\\?\pipe\...") names a device, not a folder of a drive.
bool IsVerbatimFolderPath(const std::wstring& path) {
  if (path.compare(0, kVerbatimUncPrefixLength, kVerbatimUncPrefix) == 0) return true;
  return path.size() >= kVerbatimDriveRootLength && path.compare(0, kVerbatimPrefixLength, kVerbatimPrefix) == 0 &&
         IsDriveLetter(path[4]) && path[5] == L':' && path[6] == L'\\';
}

// A name relative to a folder handle, as NtCreateFile and
// NtQueryDirectoryFile take it.
struct RelativeName {
  explicit RelativeName(const std::wstring& name) : text(name) {
    string.Buffer = text.empty() ? nullptr : &text[0];
    string.Length = static_cast<std::uint16_t>(text.size() * sizeof(wchar_t));
    string.MaximumLength = string.Length;
  }
  std::wstring text;
  UnicodeString string{};
};

// NtCreateFile of name relative to folder, taken as it is.
NtStatus CreateRelative(Handle folder, const std::wstring& name, Dword access, Dword fileAttributes, Dword share,
                        Dword disposition, Dword options, UniqueFileHandle* out) {
  RelativeName relative(name);
  ObjectAttributes attributes{};
  attributes.Length = kObjectAttributesSize;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &relative.string;
  attributes.Attributes = kObjCaseInsensitive;
  IoStatusBlock io{};
  Handle opened = InvalidHandleValue();
  // A user may hold an opportunistic lock on anything of theirs and never
  // acknowledge its break: an open that breaks it would wait for ever. This
  // one does not wait; the entry then counts as in use, as a file another
  // program holds open does, and is passed over for this run.
  const NtStatus status = NoteStatus(NtCreateFile(&opened, access, &attributes, &io, fileAttributes, share, disposition,
                                                  options | kFileCompleteIfOplocked));
  if (status == kStatusOplockBreakInProgress) {
    UniqueFileHandle broken(opened);  // open all the same: closed at once
    return status;
  }
  if (status == kStatusSuccess) out->reset(opened);
  return status;
}

bool OpenRelative(Handle folder, const std::wstring& name, Dword access, Dword share, Dword options,
                  UniqueFileHandle* out, NtStatus* status) {
  *status = CreateRelative(folder, name, access, /*fileAttributes=*/0, share, kFileOpen, options, out);
  return *status == kStatusSuccess;
}

bool IsAbsent(NtStatus status) { return status == kStatusObjectNameNotFound || status == kStatusObjectPathNotFound; }

// What the handle's own attributes and reparse tag say the entry is.
EntryKind KindOf(Handle entry) {
  FileAttributeTagInformation info{};
  if (!NoteResult(GetFileInformationByHandleEx(entry, kFileAttributeTagInfo, &info, sizeof(info)))) {
    return EntryKind::kUnknown;
  }
  if (info.FileAttributes & kFileAttributeReparsePoint) {
    if (info.ReparseTag & kReparseTagNameSurrogateBit) return EntryKind::kLink;
    if (!(info.FileAttributes & kFileAttributeDirectory)) return EntryKind::kOtherFile;
    return IsCloudFilesTag(info.ReparseTag) ? EntryKind::kCloudFolder : EntryKind::kOtherFolder;
  }
  return (info.FileAttributes & kFileAttributeDirectory) ? EntryKind::kFolder : EntryKind::kFile;
}

// The attributes a fresh listing of folder gives for name; false when it
// cannot be read. The listing runs on a handle of its own, since a handle
// takes its listing's name from its first listing only.
bool ListedAttributes(Handle folder, const std::wstring& name, Dword* attributes) {
  UniqueFileHandle listing;
  NtStatus status;
  if (!OpenRelative(folder, L"", kFileListDirectory | kSynchronize, kShareAll, kFileSynchronousIoNonalert, &listing,
                    &status)) {
    return false;
  }
  std::vector<unsigned char> buffer(offsetof(FileIdBothDirInformation, FileName) + kOneEntryNameRoom * sizeof(wchar_t));
  std::vector<ListedEntry> entries;
  // One entry by its name: one call lists it.
  if (!ListFolder(listing.get(), &name, buffer, &entries, /*firstCallOnly=*/true) || entries.empty()) return false;
  *attributes = entries.front().attributes;
  return true;
}

// A folder by the handle, checked against its listing: a folder that the
// listing shows as a reparse point is not entered.
EntryKind Confirmed(EntryKind byHandle, Dword listedAttributes) {
  if (byHandle == EntryKind::kFolder && (listedAttributes & kFileAttributeReparsePoint)) return EntryKind::kUnknown;
  return byHandle;
}

}  // namespace

bool ListFolder(Handle folder, const std::wstring* mask, std::vector<unsigned char>& buffer,
                std::vector<ListedEntry>* entries, bool firstCallOnly) {
  std::unique_ptr<RelativeName> name;
  if (mask != nullptr) name = std::make_unique<RelativeName>(*mask);
  for (bool restart = true;; restart = false) {
    IoStatusBlock io{};
    const NtStatus status = NoteStatus(NtQueryDirectoryFile(
        folder, &io, buffer.data(), static_cast<Dword>(buffer.size()), kFileIdBothDirectoryInformation,
        /*returnSingleEntry=*/false, name ? &name->string : nullptr, /*restartScan=*/restart));
    // The end; or, on the first call, nothing matches at all.
    if (status == kStatusNoMoreFiles || status == kStatusNoSuchFile) return true;
    if (status != kStatusSuccess) return false;
    for (std::size_t at = 0;;) {
      const auto* e = reinterpret_cast<const FileIdBothDirInformation*>(buffer.data() + at);
      std::wstring entryName(e->FileName, e->FileNameLength / sizeof(wchar_t));
      if (entryName != L"." && entryName != L"..") entries->push_back({std::move(entryName), e->FileAttributes});
      if (e->NextEntryOffset == 0) break;
      at += e->NextEntryOffset;
    }
    if (firstCallOnly) return true;
  }
}

bool CreateNewFileIn(Handle folder, const std::wstring& name, Dword access, Dword attributes, Dword share,
                     UniqueFileHandle* file, NtStatus* status) {
  *status = CreateRelative(folder, name, access, attributes, share, kFileCreate,
                           kFileNonDirectoryFile | kFileSynchronousIoNonalert, file);
  return *status == kStatusSuccess;
}

bool WriteAll(Handle file, const std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    Dword written = 0;
    if (!NoteResult(WriteFile(file, bytes.data() + done, static_cast<Dword>(bytes.size() - done), &written)) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool SetAttributesByHandle(Handle file, Dword attributes) {
  FileBasicInformation info{};  // times of 0 stay as they are
  info.FileAttributes = attributes;
  return NoteResult(SetFileInformationByHandle(file, kFileBasicInfo, &info, sizeof(info)));
}

bool RenameInFolder(Handle file, Handle folder, const std::wstring& name) {
  const std::size_t bytes = offsetof(FileRenameInformation, FileName) + name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(bytes < sizeof(FileRenameInformation) ? sizeof(FileRenameInformation) : bytes);
  // With POSIX semantics (Windows 10 1709 and later, on NTFS) the rename also
  // replaces a file that another program holds open with deletion shared (an
  // indexer, a scanner); the plain rename is refused there.
  auto* ex = reinterpret_cast<FileRenameInformationEx*>(buffer.data());
  ex->Flags = kFileRenameFlagReplaceIfExists | kFileRenameFlagPosixSemantics;
  ex->RootDirectory = folder;
  ex->FileNameLength = static_cast<Dword>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), ex->FileName);
  IoStatusBlock io{};
  const NtStatus status =
      NoteStatus(NtSetInformationFile(file, &io, ex, static_cast<Dword>(buffer.size()), kFileRenameInformationEx));
  if (status == kStatusSuccess) return true;
  // Only a system or a file system that does not know the request is asked
  // the plain way; any other refusal would be the plain rename's too.
  if (status != kStatusInvalidInfoClass && status != kStatusInvalidParameter && status != kStatusNotSupported &&
      status != kStatusNotImplemented) {
    return false;
  }
  std::fill(buffer.begin(), buffer.end(), 0);
  auto* info = reinterpret_cast<FileRenameInformation*>(buffer.data());
  info->ReplaceIfExists = 1;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<Dword>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), info->FileName);
  return NoteStatus(NtSetInformationFile(file, &io, info, static_cast<Dword>(buffer.size()), kFileRenameInformation)) ==
         kStatusSuccess;
}

bool HandleAttributes(Handle entry, Dword* attributes) {
  FileAttributeTagInformation info{};
  if (!NoteResult(GetFileInformationByHandleEx(entry, kFileAttributeTagInfo, &info, sizeof(info)))) return false;
  *attributes = info.FileAttributes;
  return true;
}

bool VerbatimForm(const std::wstring& path, std::wstring* verbatim) {
  if (path.compare(0, kVerbatimPrefixLength, kVerbatimPrefix) == 0) {
    if (!IsVerbatimFolderPath(path)) return false;
    *verbatim = path;
    return true;
  }
  const Dword needed = GetFullPathNameW(path.c_str(), 0, nullptr);
  if (needed == 0) return false;
  std::wstring full(needed, L'\0');
  const Dword written = GetFullPathNameW(path.c_str(), needed, &full[0]);
  if (written == 0 || written >= needed) return false;
  full.resize(written);
  if (full.size() >= 3 && IsDriveLetter(full[0]) && full[1] == L':' && full[2] == L'\\') {
    *verbatim = kVerbatimPrefix + full;
    return true;
  }
  if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\' && full[2] != L'?' && full[2] != L'.') {
    *verbatim = std::wstring(kVerbatimPrefix) + L"UNC" + full.substr(1);
    return true;
  }
  return false;  // a device path, or something Windows itself would not read as a folder path
}

EntryKind OpenEntry(Handle folder, const std::wstring& name, Dword access, UniqueFileHandle* entry,
                    std::optional<Dword> listedAttributes) {
  UniqueFileHandle opened;
  NtStatus status;
  if (!OpenRelative(folder, name, access, kShareReadWrite, kEntryOptions, &opened, &status)) {
    if (IsAbsent(status)) {
      Refuse(L"");
      return EntryKind::kMissing;
    }
    RefuseOpen(status);
    return EntryKind::kUnknown;
  }
  EntryKind kind = KindOf(opened.get());
  Dword listed = 0;
  if (listedAttributes) {
    kind = Confirmed(kind, *listedAttributes);
  } else if (kind == EntryKind::kFolder && ListedAttributes(folder, name, &listed)) {
    kind = Confirmed(kind, listed);
  }
  if (kind != EntryKind::kUnknown) *entry = std::move(opened);
  return kind;
}

bool ReopenEntry(Handle handle, Dword access, UniqueFileHandle* reopened) {
  NtStatus status;
  return OpenRelative(handle, L"", access, kShareAll, kEntryOptions, reopened, &status);
}

bool DeleteByHandle(Handle handle) {
  if (WorkGivenUp()) {  // it could wait as long again
    Refuse(kGivenUpReason);
    return false;
  }
  return DeleteOwnFileByHandle(handle);
}

bool DeleteOwnFileByHandle(Handle handle) {
  // Asked the POSIX way first, every time: a volume that does not know it
  // (FAT, exFAT, some network file systems, and every volume of Windows
  // before 10 1709) refuses the request as such (ERROR_INVALID_PARAMETER),
  // at the cost of one call that does nothing, and is then asked the plain
  // way. Nothing is remembered between entries: no state, no extra call.
  FileDispositionInformationEx posix{kFileDispositionFlagDelete | kFileDispositionFlagPosixSemantics};
  if (NoteResult(SetFileInformationByHandle(handle, kFileDispositionInfoEx, &posix, sizeof(posix)))) return true;
  const Dword error = GetLastError();
  // Refused for what it is (a read-only file, a folder not empty, an entry
  // in use), or cancelled after its bound: the plain way would refuse it
  // too, or wait as long again.
  if (error == kErrorAccessDenied || error == kErrorDirNotEmpty || error == kErrorSharingViolation ||
      error == kErrorOperationAborted) {
    Refuse(report::ReasonOf(error));
    return false;
  }
  FileDispositionInformation plain{1};
  if (NoteResult(SetFileInformationByHandle(handle, kFileDispositionInfo, &plain, sizeof(plain)))) return true;
  if (report::On()) Refuse(report::ReasonOf(GetLastError()));
  return false;
}

bool DeleteFileNamed(Handle folder, const std::wstring& name) {
  Refuse(L"");
  UniqueFileHandle entry;
  const EntryKind kind = OpenEntry(folder, name, kDeleteEntryAccess, &entry);
  if (kind != EntryKind::kFile && kind != EntryKind::kLink && kind != EntryKind::kOtherFile) {
    if (kind != EntryKind::kMissing && kind != EntryKind::kUnknown) Refuse(RefusalOfKind(kind));
    return false;
  }
  return DeleteByHandle(entry.get());
}

std::wstring LastRefusal() { return Refusal(); }

void ReportDeletion(bool gone, const std::wstring& path) {
  if (!report::On()) return;
  if (gone) {
    report::Say(L"removed", path);
  } else if (!Refusal().empty()) {
    report::Say(L"left", path, Refusal());
  }
}

std::wstring RefusalOf(EntryKind kind) {
  if (kind != EntryKind::kUnknown) return RefusalOfKind(kind);
  return Refusal().empty() ? L"could not be opened and checked" : Refusal();
}

std::wstring RefusalOfKind(EntryKind kind) {
  switch (kind) {
    case EntryKind::kLink:
      return L"a link, not followed";
    case EntryKind::kFolder:
      return L"a folder";
    case EntryKind::kFile:
      return L"a file";
    case EntryKind::kCloudFolder:
    case EntryKind::kOtherFile:
      return L"a cloud file or folder, the provider's";
    case EntryKind::kOtherFolder:
      return L"a reparse point, not followed";
    default:
      return L"";
  }
}

bool RemoveFolderIfEmpty(Handle folder, const std::wstring& name) {
  Refuse(L"");
  UniqueFileHandle entry;
  const EntryKind kind = OpenEntry(folder, name, kDeleteEntryAccess, &entry);
  // A real folder goes only when empty: the disposition is refused otherwise.
  if (!IsFolderToWorkIn(kind) && kind != EntryKind::kLink) {
    if (kind != EntryKind::kMissing && kind != EntryKind::kUnknown) Refuse(RefusalOfKind(kind));
    return false;
  }
  return DeleteByHandle(entry.get());
}

bool FolderChain::Open(const FolderPath& folder) {
  Refuse(L"");
  held_.clear();
  missing_ = false;
  text_.clear();
  if (WorkGivenUp()) {  // not a call more in a piece of work given up (but the log's)
    Refuse(kGivenUpReason);
    std::wstring full;
    if (report::On() && VerbatimForm(folder.root + L"\\", &full)) text_ = Displayed(full) + folder.below;
    return false;
  }
  std::wstring path;
  if (!VerbatimForm(folder.root + L"\\", &path)) return false;
  // A drive's or share's root folder ("\\?\C:\", "\\?\UNC\server\share\")
  // keeps its separator; any other folder loses it and is opened by name
  // inside the folder that holds it, which may be reached through links.
  const bool unc = path.compare(0, kVerbatimUncPrefixLength, kVerbatimUncPrefix) == 0;
  const std::size_t server = unc ? path.find(L'\\', kVerbatimUncPrefixLength) : std::wstring::npos;
  const std::size_t share = server == std::wstring::npos ? std::wstring::npos : path.find(L'\\', server + 1);
  const std::size_t rootLength = !unc                          ? kVerbatimDriveRootLength
                                 : share == std::wstring::npos ? path.size()
                                                               : share + 1;
  while (path.size() > rootLength && path.back() == L'\\') path.pop_back();
  if (report::On()) text_ = Displayed(path) + folder.below;

  std::vector<UniqueFileHandle> held;
  if (path.size() <= rootLength) {
    // By its NT name ("\??\C:\", "\??\UNC\server\share\"), so that this open
    // too asks not to wait for the break of an oplock someone holds on it.
    UniqueFileHandle root;
    NtStatus status;
    if (!OpenRelative(/*folder=*/nullptr, kNtPrefix + path.substr(kVerbatimPrefixLength), kHoldFolderAccess,
                      kShareReadWrite, kEntryOptions, &root, &status) ||
        !IsFolderToWorkIn(KindOf(root.get()))) {
      RefuseOpen(status);
      return false;
    }
    held.push_back(std::move(root));
  } else {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring above = path.substr(0, slash < rootLength ? rootLength : slash);
    UniqueFileHandle parent(CreateFileW(above.c_str(), kFileReadAttributes | kSynchronize, kShareAll, kOpenExisting,
                                        kFileFlagBackupSemantics));
    if (!NoteResult(static_cast<bool>(parent))) {
      missing_ = GetLastError() == kErrorFileNotFound || GetLastError() == kErrorPathNotFound;
      if (report::On()) Refuse(missing_ ? L"" : report::ReasonOf(GetLastError()));
      return false;
    }
    UniqueFileHandle root;
    const EntryKind kind = OpenEntry(parent.get(), path.substr(slash + 1), kHoldFolderAccess, &root);
    missing_ = kind == EntryKind::kMissing;
    if (!IsFolderToWorkIn(kind)) {
      if (kind != EntryKind::kUnknown) Refuse(RefusalOfKind(kind));
      return false;
    }
    held.push_back(std::move(root));
  }

  const std::wstring& below = folder.below;
  if (!below.empty() && below[0] != L'\\') return false;
  std::size_t begin = below.empty() ? std::wstring::npos : 1;
  while (begin != std::wstring::npos) {
    const std::size_t end = below.find(L'\\', begin);
    const std::wstring name = below.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    UniqueFileHandle next;
    const EntryKind kind =
        name.empty() ? EntryKind::kUnknown : OpenEntry(held.back().get(), name, kHoldFolderAccess, &next);
    missing_ = kind == EntryKind::kMissing;
    if (!IsFolderToWorkIn(kind)) {
      if (kind != EntryKind::kUnknown) Refuse(RefusalOfKind(kind));
      return false;
    }
    held.push_back(std::move(next));
    begin = end == std::wstring::npos ? std::wstring::npos : end + 1;
  }
  held_ = std::move(held);
  return true;
}
