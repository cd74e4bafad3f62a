// The file-system check on Windows (under Wine in tests/e2e/test_fs_check.sh):
// "fs-check.exe" runs it in C:\fscheck, "fs-check.exe --gaps" lists the known
// Wine gaps.
#include <cwchar>

#include "fs_check.h"

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--gaps") == 0) {
    PrintWineGaps();
    return 0;
  }
  return RunFsCheck(L"C:\\fscheck");
}
