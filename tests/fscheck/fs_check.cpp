// The file-system check: the file calls the tool's handle-based file work
// relies on, in the order it relies on them, written against the seam only.
// Linked with the simulated machine it shows what the simulator does; linked
// with the Win32 side and run under Wine it shows what Wine does; the two
// outputs must be equal line for line, except for the known Wine gaps below.
//
// The tree in the root folder (made by main_sim.cpp and by the test script):
//   file.txt, readonly.txt (read-only), existing.lnk, todelete.txt, todelete2.txt,
//   full\keep.txt, busy\held.txt, target\precious.txt,
//   link -> target (a directory symbolic link).
#include "fs_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/handles.h"
#include "platform/platform.h"
#include "sim/constants.h"

namespace {

using namespace platform;

// What Windows gives where Wine 8 gives something else. The Windows column is
// what the simulator must print; the test passes such a line as a known Wine
// gap only when Wine prints exactly the Wine column.
//
// Relied on for Windows (Microsoft's documentation):
// - CreateFileW, FILE_FLAG_OPEN_REPARSE_POINT: "normal reparse point
//   processing will not occur; CreateFile will attempt to open the reparse
//   point"; "Symbolic Link Effects on File Systems Functions": the handle is
//   then the link's, not its target's. A link that is not the last name
//   opened is followed, so "link\precious.txt" opens on both sides.
// - FILE_ATTRIBUTE_TAG_INFO / FILE_ATTRIBUTE_TAG_INFORMATION: with
//   FILE_ATTRIBUTE_REPARSE_POINT set, ReparseTag is the tag
//   (IO_REPARSE_TAG_SYMLINK, 0xA000000C, for a symbolic link).
// - FSCTL_SET_REPARSE_POINT: a reparse point cannot be set on a folder that
//   is not empty (STATUS_DIRECTORY_NOT_EMPTY), so a folder link is itself an
//   empty folder: nothing is found relative to its own handle, and its delete
//   disposition removes the link alone.
// - FILE_INFO_BY_HANDLE_CLASS, FILE_DISPOSITION_INFORMATION_EX (ntddk.h):
//   FileDispositionInfoEx with FILE_DISPOSITION_POSIX_SEMANTICS (Windows 10
//   1709 and later) deletes; MS-FSA, FileDispositionInformation: a read-only
//   file gives STATUS_CANNOT_DELETE (ERROR_ACCESS_DENIED), a folder that is
//   not empty STATUS_DIRECTORY_NOT_EMPTY (ERROR_DIR_NOT_EMPTY), with either
//   disposition.
// - DeleteFileW: opening a file that is pending deletion fails
//   (STATUS_DELETE_PENDING, reported as ERROR_ACCESS_DENIED) until its last
//   handle closes.
struct WineGap {
  const char* step;
  const char* windows;
  const char* wine;
  const char* why;
};
constexpr WineGap kWineGaps[] = {
    {"dispose-ex todelete.txt", "ok", "error=87",
     "Wine has no FileDispositionInfoEx; the tool falls back to FileDispositionInfo on 87"},
    {"dispose-ex readonly.txt", "error=5", "error=87", "the same: no FileDispositionInfoEx"},
    {"open todelete.txt after its handle closed", "status=0xC0000034", "status=0x00000000 attributes=0x20 tag=0x0",
     "follows from it: without FileDispositionInfoEx, nothing deleted todelete.txt"},
    {"dispose-ex full", "error=145", "error=87", "the same: no FileDispositionInfoEx"},
    {"open held.txt while it is delete-pending", "status=0xC0000056", "status=0x00000000 attributes=0x20 tag=0x0",
     "Wine opens a delete-pending file again; it still deletes it at the last close"},
    {"open link", "status=0x00000000 attributes=0x410 tag=0xA000000C", "status=0x00000000 attributes=0x10 tag=0x0",
     "Wine follows a unix symbolic link on open, even with FILE_OPEN_REPARSE_POINT: the handle is the target's"},
    {"open precious.txt relative to the link's handle", "status=0xC0000034",
     "status=0x00000000 attributes=0x20 tag=0x0",
     "follows from the link's handle being the target's: the link itself holds nothing"},
    {"dispose link", "ok", "error=145",
     "follows from it too: Wine sets the disposition on the target folder, which holds a file"},
};

constexpr Dword kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
constexpr Dword kShareNoDelete = kFileShareRead | kFileShareWrite;  // a held folder: no rename, no delete
constexpr Dword kOpenOptions = kFileOpenReparsePoint | kFileOpenForBackupIntent | kFileSynchronousIoNonalert;
constexpr Dword kFolderFlags = kFileFlagBackupSemantics | kFileFlagOpenReparsePoint;
constexpr Dword kHeldFolderAccess =
    kFileListDirectory | kFileWriteData | kFileExecute | kFileReadAttributes | kSynchronize;
constexpr Dword kDeleteAccess = kDelete | kFileReadAttributes | kSynchronize;

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }
std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

void Print(const std::string& step, const std::string& result) {
  std::printf("%s: %s\n", step.c_str(), result.c_str());
}
std::string Status(NtStatus status) {
  char text[32];
  std::snprintf(text, sizeof text, "status=0x%08X", static_cast<unsigned>(status));
  return text;
}
std::string Result(bool ok) {
  if (ok) return "ok";
  char text[32];
  std::snprintf(text, sizeof text, "error=%u", static_cast<unsigned>(GetLastError()));
  return text;
}
std::string Tag(Handle h) {
  FileAttributeTagInformation tag{};
  if (!GetFileInformationByHandleEx(h, kFileAttributeTagInfo, &tag, sizeof tag)) return Result(false);
  char text[64];
  std::snprintf(text, sizeof text, "attributes=0x%X tag=0x%X", static_cast<unsigned>(tag.FileAttributes),
                static_cast<unsigned>(tag.ReparseTag));
  return text;
}
// One listed entry: its attributes, and a file's size.
std::string Entry(const FileIdBothDirInformation& e) {
  char text[64];
  if (e.FileAttributes & kFileAttributeDirectory) {
    std::snprintf(text, sizeof text, "attributes=0x%X", static_cast<unsigned>(e.FileAttributes));
  } else {
    std::snprintf(text, sizeof text, "attributes=0x%X size=%lld", static_cast<unsigned>(e.FileAttributes),
                  static_cast<long long>(e.EndOfFile));
  }
  return text;
}

// NtCreateFile of name relative to the folder handle root.
NtStatus OpenRelative(Handle root, const std::wstring& name, Dword access, Dword share, Dword disposition,
                      Dword options, UniqueFileHandle* file, Dword attributes = 0) {
  UnicodeString objectName{static_cast<std::uint16_t>(name.size() * sizeof(wchar_t)),
                           static_cast<std::uint16_t>(name.size() * sizeof(wchar_t)),
                           const_cast<wchar_t*>(name.c_str())};
  ObjectAttributes object{kObjectAttributesSize, root, &objectName, kObjCaseInsensitive, nullptr, nullptr};
  IoStatusBlock io{};
  Handle h = InvalidHandleValue();
  const NtStatus status = NtCreateFile(&h, access, &object, &io, attributes, share, disposition, options);
  if (status == kStatusSuccess) file->reset(h);
  return status;
}
// Opens name for reading its attributes and prints the status and, when it
// opened, the attributes and tag read through the new handle.
void CheckOpen(const std::string& step, Handle root, const char* name, Dword options = 0) {
  UniqueFileHandle file;
  const NtStatus status = OpenRelative(root, Wide(name), kFileReadAttributes | kSynchronize, kShareAll, kFileOpen,
                                       kOpenOptions | options, &file);
  Print(step, status == kStatusSuccess ? Status(status) + " " + Tag(file.get()) : Status(status));
}
// The POSIX delete disposition, the plain one, or both in turn.
void Dispose(const char* name, Handle h, bool posix, bool plain) {
  if (posix) {
    const FileDispositionInformationEx ex{kFileDispositionFlagDelete | kFileDispositionFlagPosixSemantics};
    Print(std::string("dispose-ex ") + name,
          Result(SetFileInformationByHandle(h, kFileDispositionInfoEx, &ex, sizeof ex)));
  }
  if (plain) {
    const FileDispositionInformation info{1};
    Print(std::string("dispose ") + name,
          Result(SetFileInformationByHandle(h, kFileDispositionInfo, &info, sizeof info)));
  }
}

// A single-name NtQueryDirectoryFile on a fresh handle of root: the name is
// a mask taken from a handle's first query only.
void QueryOne(const std::wstring& root, const char* name) {
  const std::string step = std::string("query ") + name;
  UniqueFileHandle folder(
      CreateFileW(root.c_str(), kFileListDirectory | kSynchronize, kShareAll, kOpenExisting, kFolderFlags));
  if (!folder) return Print(step, "open " + Result(false));
  std::wstring mask = Wide(name);
  const UnicodeString fileName{static_cast<std::uint16_t>(mask.size() * sizeof(wchar_t)),
                               static_cast<std::uint16_t>(mask.size() * sizeof(wchar_t)), &mask[0]};
  alignas(8) unsigned char buffer[1024];
  IoStatusBlock io{};
  const NtStatus status =
      NtQueryDirectoryFile(folder.get(), &io, buffer, sizeof buffer, kFileIdBothDirectoryInformation,
                           /*returnSingleEntry=*/true, &fileName, /*restartScan=*/true);
  if (status != kStatusSuccess) return Print(step, Status(status));
  const auto& e = *reinterpret_cast<const FileIdBothDirInformation*>(buffer);
  Print(step, Status(status) + " name=" + Narrow(std::wstring(e.FileName, e.FileNameLength / sizeof(wchar_t))) + " " +
                  Entry(e));
}

// Lists the folder by handle, a few entries per call so that the listing
// has to go on from where it stopped, and prints the entries sorted by name.
void List(Handle folder) {
  alignas(8) unsigned char buffer[512];
  std::vector<std::pair<std::string, std::string>> entries;
  int infoClass = kFileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, infoClass, buffer, sizeof buffer)) {
    infoClass = kFileIdBothDirectoryInfo;
    for (std::size_t offset = 0;;) {
      const auto& e = *reinterpret_cast<const FileIdBothDirInformation*>(buffer + offset);
      const std::wstring name(e.FileName, e.FileNameLength / sizeof(wchar_t));
      // (What the deletes above left is shown by their own steps: under Wine
      // the POSIX one deletes nothing.)
      if (name != L"." && name != L".." && name.compare(0, 8, L"todelete") != 0) {
        entries.emplace_back(Narrow(name), Entry(e));
      }
      if (e.NextEntryOffset == 0) break;
      offset += e.NextEntryOffset;
    }
  }
  const std::string end = Result(false);
  std::sort(entries.begin(), entries.end());
  for (const auto& entry : entries) Print("list " + entry.first, entry.second);
  Print("list end", end);
}

// NtSetInformationFile(FileRenameInformation) to name, relative to folder.
NtStatus RenameRelative(Handle file, Handle folder, const std::wstring& name) {
  const std::size_t nameBytes = name.size() * sizeof(wchar_t);
  const std::size_t length =
      std::max(sizeof(FileRenameInformation), offsetof(FileRenameInformation, FileName) + nameBytes);
  std::vector<std::uint64_t> storage(length / sizeof(std::uint64_t) + 1);
  auto* info = reinterpret_cast<FileRenameInformation*>(storage.data());
  info->ReplaceIfExists = 1;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<Dword>(nameBytes);
  std::memcpy(info->FileName, name.data(), nameBytes);
  IoStatusBlock io{};
  return NtSetInformationFile(file, &io, info, static_cast<Dword>(length), kFileRenameInformation);
}

}  // namespace

void PrintWineGaps() {
  for (const WineGap& gap : kWineGaps) std::printf("%s\t%s\t%s\n", gap.step, gap.windows, gap.wine);
}

int RunFsCheck(const std::wstring& root) {
  // The root by path, checked through its handle and held without delete
  // sharing: nobody can rename or delete it while it is used.
  UniqueFileHandle folder(CreateFileW(root.c_str(), kHeldFolderAccess, kShareNoDelete, kOpenExisting, kFolderFlags));
  Print("open root", Result(folder.valid()));
  if (!folder) return 0;
  Print("root tag", Tag(folder.get()));
  {
    UniqueFileHandle other(CreateFileW(root.c_str(), kDelete, kShareAll, kOpenExisting, kFolderFlags));
    Print("root opened for DELETE by another caller", Result(other.valid()));
  }
  {
    // A drive's root as a chain that starts there opens it: by its NT name,
    // asking not to wait for an oplock's break.
    UniqueFileHandle drive;
    const NtStatus status = OpenRelative(nullptr, L"\\??\\" + root.substr(0, 3), kHeldFolderAccess, kShareNoDelete,
                                         kFileOpen, kOpenOptions | kFileCompleteIfOplocked, &drive);
    FileAttributeTagInformation tag{};
    const bool folder = status == kStatusSuccess &&
                        GetFileInformationByHandleEx(drive.get(), kFileAttributeTagInfo, &tag, sizeof tag) &&
                        (tag.FileAttributes & kFileAttributeDirectory) &&
                        !(tag.FileAttributes & kFileAttributeReparsePoint);
    Print("open the drive's root by its NT name", Status(status) + (folder ? " a folder" : ""));
  }

  // Entries opened relative to the held folder.
  const Handle dir = folder.get();
  CheckOpen("open file.txt", dir, "file.txt");
  CheckOpen("open full", dir, "full");
  CheckOpen("open missing", dir, "missing");
  CheckOpen("open FULL", dir, "FULL");
  CheckOpen("open full as a file", dir, "full", kFileNonDirectoryFile);
  CheckOpen("open file.txt as a folder", dir, "file.txt", kFileDirectoryFile);

  QueryOne(root, "FULL");
  QueryOne(root, "link");
  QueryOne(root, "missing");

  // The start-up shortcut's way in: a hidden temporary file created relative
  // to the folder, written, renamed over the old name, then made visible.
  {
    UniqueFileHandle file;
    const NtStatus created = OpenRelative(
        dir, L"~new.tmp", kGenericWrite | kDelete | kFileReadAttributes | kSynchronize, kFileShareRead, kFileCreate,
        kFileNonDirectoryFile | kFileSynchronousIoNonalert, &file, kFileAttributeHidden | kFileAttributeArchive);
    Print("create ~new.tmp hidden",
          created == kStatusSuccess ? Status(created) + " " + Tag(file.get()) : Status(created));
    if (file) {
      Dword written = 0;
      const bool wrote = WriteFile(file.get(), "hello", 5, &written);
      Print("write ~new.tmp", Result(wrote) + " written=" + std::to_string(written));
      UniqueFileHandle again;
      Print("create ~new.tmp again", Status(OpenRelative(dir, L"~new.tmp", kGenericWrite | kSynchronize, kShareAll,
                                                         kFileCreate, kFileNonDirectoryFile, &again)));
      Print("rename ~new.tmp over existing.lnk", Status(RenameRelative(file.get(), dir, L"existing.lnk")));
      const FileBasicInformation visible{0, 0, 0, 0, kFileAttributeArchive};
      const std::string cleared =
          Result(SetFileInformationByHandle(file.get(), kFileBasicInfo, &visible, sizeof visible));
      Print("clear hidden", cleared + " " + Tag(file.get()));
    }
  }

  // Deletes by handle: a file each way, a read-only file, a folder that
  // holds a file.
  const struct {
    const char* name;
    bool posix, plain;
  } deletes[] = {{"todelete.txt", true, false},
                 {"todelete2.txt", false, true},
                 {"readonly.txt", true, true},
                 {"full", true, true}};
  for (const auto& d : deletes) {
    UniqueFileHandle entry;
    const NtStatus opened = OpenRelative(dir, Wide(d.name), kDeleteAccess, kShareAll, kFileOpen, kOpenOptions, &entry);
    if (opened != kStatusSuccess) {
      Print(std::string("open ") + d.name + " for delete", Status(opened));
      continue;
    }
    Dispose(d.name, entry.get(), d.posix, d.plain);
  }
  CheckOpen("open todelete.txt after its handle closed", dir, "todelete.txt");
  CheckOpen("open todelete2.txt after its handle closed", dir, "todelete2.txt");

  // A folder whose entry another handle keeps open (sharing delete): the
  // entry stays delete-pending, and the folder is not empty, until that
  // handle closes.
  {
    UniqueFileHandle holder(
        CreateFileW((root + L"\\busy\\held.txt").c_str(), kGenericRead, kShareAll, kOpenExisting, 0));
    Print("hold busy\\held.txt", Result(holder.valid()));
    UniqueFileHandle busy;
    Print("open busy", Status(OpenRelative(dir, L"busy", kDeleteAccess | kFileListDirectory, kShareNoDelete, kFileOpen,
                                           kOpenOptions | kFileDirectoryFile, &busy)));
    {
      UniqueFileHandle entry;
      Print("open held.txt",
            Status(OpenRelative(busy.get(), L"held.txt", kDeleteAccess, kShareAll, kFileOpen, kOpenOptions, &entry)));
      const FileDispositionInformation plain{1};
      Print("dispose held.txt",
            Result(SetFileInformationByHandle(entry.get(), kFileDispositionInfo, &plain, sizeof plain)));
    }
    CheckOpen("open held.txt while it is delete-pending", busy.get(), "held.txt");
    const FileDispositionInformation plain{1};
    Print("dispose busy while held.txt is open",
          Result(SetFileInformationByHandle(busy.get(), kFileDispositionInfo, &plain, sizeof plain)));
    holder.reset();
    Print("dispose busy after held.txt closed",
          Result(SetFileInformationByHandle(busy.get(), kFileDispositionInfo, &plain, sizeof plain)));
  }

  // A folder symbolic link in the way.
  {
    UniqueFileHandle link;
    const NtStatus opened = OpenRelative(dir, L"link", kDeleteAccess | kFileListDirectory | kFileExecute, kShareAll,
                                         kFileOpen, kOpenOptions, &link);
    Print("open link", opened == kStatusSuccess ? Status(opened) + " " + Tag(link.get()) : Status(opened));
    if (link) {
      CheckOpen("open precious.txt relative to the link's handle", link.get(), "precious.txt");
      // Set, then taken back, so that the link stays for the listing below.
      const FileDispositionInformation remove{1}, keep{0};
      Print("dispose link",
            Result(SetFileInformationByHandle(link.get(), kFileDispositionInfo, &remove, sizeof remove)));
      Print("undo dispose link",
            Result(SetFileInformationByHandle(link.get(), kFileDispositionInfo, &keep, sizeof keep)));
    }
    CheckOpen("open link\\precious.txt, a link on the way", dir, "link\\precious.txt");
  }

  List(dir);
  return 0;
}
