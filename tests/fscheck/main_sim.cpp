// The file-system check over the simulated machine, in the tree that
// tests/e2e/test_fs_check.sh makes under Wine with mkdir, echo, chmod a-w and
// ln -s. Files get FILE_ATTRIBUTE_ARCHIVE, as Windows gives every new file.
#include <cstring>

#include "fs_check.h"
#include "sim/machine.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--gaps") == 0) {
    PrintWineGaps();
    return 0;
  }
  using platform::kFileAttributeArchive;
  using platform::kFileAttributeReadonly;
  sim::Reset();
  sim::Machine& m = sim::machine();
  const std::wstring root = L"C:\\fscheck";
  m.files.AddDirectory(root);
  m.files.AddFile(root + L"\\file.txt", kFileAttributeArchive, "file\n");
  m.files.AddFile(root + L"\\full\\keep.txt", kFileAttributeArchive, "keep\n");
  m.files.AddFile(root + L"\\readonly.txt", kFileAttributeReadonly | kFileAttributeArchive, "read only\n");
  m.files.AddFile(root + L"\\existing.lnk", kFileAttributeArchive, "old shortcut\n");
  m.files.AddFile(root + L"\\todelete.txt", kFileAttributeArchive, "delete me\n");
  m.files.AddFile(root + L"\\todelete2.txt", kFileAttributeArchive, "delete me\n");
  m.files.AddFile(root + L"\\busy\\held.txt", kFileAttributeArchive, "held\n");
  m.files.AddFile(root + L"\\target\\precious.txt", kFileAttributeArchive, "precious\n");
  m.files.AddDirectoryLink(root + L"\\link", root + L"\\target", /*junction=*/false);
  return RunFsCheck(root);
}
