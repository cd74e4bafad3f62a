#include "cleanup/empty_folders.h"

#include <string>

#include "files/held_folder.h"
#include "platform/platform.h"
#include "profiles/shell_folders.h"
#include "shortcuts/shortcut_names.h"

using namespace platform;

namespace {

void RemoveEmptyFolderIn(const std::wstring& folder, const wchar_t* name) {
  FolderChain chain;
  if (chain.Open({folder, L""})) {
    ReportDeletion(RemoveFolderIfEmpty(chain.last(), name), chain.text() + L"\\" + name);
  } else {
    ReportDeletion(false, chain.Named({folder, L""}));
  }
}

}  // namespace

void RemoveAllUsersEmptyFolders(const InteractiveUser& user) {
  std::wstring programs;
  if (LookUpShellFolder(user, kCsidlCommonPrograms, &programs)) RemoveEmptyFolderIn(programs, kProgramGroupFolder);
  // The maker's folder in the program-files folder: the parent of the
  // client's installation folder.
  std::wstring programFiles;
  if (GetProgramFilesFolder(user, &programFiles)) RemoveEmptyFolderIn(programFiles, kMakerFolderName);
}
