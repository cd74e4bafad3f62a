#include "cleanup/folder_tree.h"

#include "platform/handles.h"

using namespace platform;

namespace {

// Paths in this form reach the file system as they are: no trimming of
// dots and blanks, no "." or ".." evaluation, no MAX_PATH limit.
constexpr const wchar_t* kVerbatimPrefix = L"\\\\?\\";

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The "\\?\" form of the folder path names, as Windows reads that path:
// first its full form (GetFullPathNameW resolves "." and "..", drops
// trailing dots and blanks, collapses separators), then the prefix, so that
// the names of the entries appended to it are taken exactly as listed. A
// path given in that form already stays as it is. False when the path has no
// full form on a drive or a share.
bool VerbatimForm(const std::wstring& path, std::wstring* verbatim) {
  if (path.compare(0, 4, kVerbatimPrefix) == 0) {
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

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsAbsent(Dword error) { return error == kErrorFileNotFound || error == kErrorPathNotFound; }

// Removes the link at path itself, never its target: a junction or a
// symbolic link to a folder goes with RemoveDirectoryW, one to a file with
// DeleteFileW.
bool RemoveLink(const std::wstring& path, Dword attributes) {
  return (attributes & kFileAttributeDirectory) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
}

// Removes the content of the real folder at path, then the folder. path is
// extended in place for each entry and restored before returning, so the
// whole walk shares one buffer.
int RemoveRealFolderTree(std::wstring& path) {
  const std::size_t length = path.size();
  FindData entry{};
  path += L"\\*";
  UniqueFindHandle find(FindFirstFileW(path.c_str(), &entry));
  path.resize(length);
  if (!find) return IsAbsent(GetLastError()) ? 0 : -1;

  int status = 0;
  do {
    if (IsDotOrDotDot(entry.cFileName)) continue;
    path += L'\\';
    path += entry.cFileName;
    const Dword attributes = entry.dwFileAttributes;
    if (attributes & kFileAttributeReparsePoint) {
      if (!RemoveLink(path, attributes)) status = -1;
    } else if (attributes & kFileAttributeDirectory) {
      // A sub-folder that stays keeps this folder too: that is how its
      // failure shows here.
      RemoveRealFolderTree(path);
    } else if (!DeleteFileW(path.c_str())) {
      status = -1;
    }
    path.resize(length);
  } while (FindNextFileW(find.get(), &entry));
  find.reset();

  if (!RemoveDirectoryW(path.c_str())) status = -1;
  return status;
}

}  // namespace

int RemoveFolderTree(const std::wstring& path) {
  std::wstring folder;
  if (!VerbatimForm(path, &folder)) return -1;
  // The folder itself may be a link planted in its place: look at it before
  // enumerating through it.
  const Dword attributes = GetFileAttributesW(folder.c_str());
  if (attributes == kInvalidFileAttributes) return IsAbsent(GetLastError()) ? 0 : -1;
  if (attributes & kFileAttributeReparsePoint) return RemoveLink(folder, attributes) ? 0 : -1;
  if (!(attributes & kFileAttributeDirectory)) return -1;
  return RemoveRealFolderTree(folder);
}
