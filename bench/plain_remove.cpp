// plain-remove.exe FOLDER: removes FOLDER and everything in it, depth first,
// by name: FindFirstFileW / DeleteFileW / RemoveDirectoryW on its \\?\ path.
// The plain removal that bench/uninstall_bench.sh times "--uninstall"
// against; a link is removed as a link, never entered. Not shipped.
//
// Exit code 0 when FOLDER is gone, 1 otherwise.
#include <windows.h>

#include <string>

namespace {

// Removes the folder at path (a \\?\ path) with everything in it.
bool RemoveTree(std::wstring& path) {
  const std::size_t length = path.size();
  path += L"\\*";
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(path.c_str(), &entry);
  path.resize(length);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      path += L'\\';
      path += name;
      const DWORD attributes = entry.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::DeleteFileW(path.c_str());
      } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        ::RemoveDirectoryW(path.c_str());
      } else {
        RemoveTree(path);
      }
      path.resize(length);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  wchar_t full[MAX_PATH];
  const DWORD n = ::GetFullPathNameW(argv[1], MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return 1;
  std::wstring path = L"\\\\?\\";
  path += full;
  return RemoveTree(path) ? 0 : 1;
}
