#include "cleanup/empty_folders.h"

#include <string>

#include "platform/platform.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

// The maker's folder in the program-files folder: the parent of the client's
// installation folder.
constexpr const wchar_t* kMakerFolder = L"Vantorel";

}  // namespace

void RemoveAllUsersEmptyFolders() {
  std::wstring programs;
  if (LookUpShellFolder(kCsidlCommonPrograms, &programs)) {
    RemoveDirectoryW((programs + L"\\" + kProgramGroupFolder).c_str());
  }
  std::wstring programFiles;
  if (GetProgramFilesFolder(&programFiles) >= 0) {
    RemoveDirectoryW((programFiles + L"\\" + kMakerFolder).c_str());
  }
}
