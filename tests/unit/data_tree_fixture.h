// The profiles and data trees that the uninstall clean-up and the tree
// removal are tested on.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "cleanup/uninstall.h"
#include "process/interactive_user.h"
#include "sim_fixture.h"

using namespace platform;  // NOLINT: test-only header

namespace data_tree {

inline const std::wstring kAlice = L"C:\\Users\\alice";
inline const std::wstring kBob = L"D:\\Profiles\\bob";
inline const std::wstring kSystem = L"C:\\Windows\\system32\\config\\systemprofile";

inline std::wstring Local(const std::wstring& profile) { return profile + L"\\AppData\\Local"; }

inline bool IsBelow(const std::wstring& path, const std::wstring& folder) {
  return sim::Fold(path) == sim::Fold(folder) || sim::Fold(path).rfind(sim::Fold(folder) + L"\\", 0) == 0;
}

// Every path of list that does not lie in any of the folders.
inline std::vector<std::wstring> Outside(const std::vector<std::wstring>& list,
                                         const std::vector<std::wstring>& folders) {
  std::vector<std::wstring> out;
  for (const auto& path : list) {
    if (std::none_of(folders.begin(), folders.end(), [&](const std::wstring& f) { return IsBelow(path, f); })) {
      out.push_back(path);
    }
  }
  return out;
}

}  // namespace data_tree

using namespace data_tree;  // NOLINT: test-only header

class UninstallTest : public TypicalMachineTest {
 protected:
  void SetUp() override {
    TypicalMachineTest::SetUp();
    sim::TypicalMachine::AddProfile(m(), L"S-1-5-21-9-9-9-1002", L"bob", kBob);
  }

  // A data tree with nested folders, hidden and system files, and names
  // that merely begin with dots.
  void AddDataTree(const std::wstring& root) {
    m().files.AddFile(root + L"\\settings.json");
    m().files.AddFile(root + L"\\logs\\sync.log");
    m().files.AddFile(root + L"\\logs\\old\\sync.1.log", kFileAttributeHidden);
    m().files.AddFile(root + L"\\cache\\a\\b\\c\\blob", kFileAttributeSystem | kFileAttributeHidden);
    m().files.AddDirectory(root + L"\\cache\\empty");
    m().files.AddFile(L"\\\\?\\" + root + L"\\...\\three dots");  // only a verbatim path can name "..."
    m().files.AddFile(L"\\\\?\\" + root + L"\\trailing dot.");
    m().files.AddFile(root + L"\\.git\\config");
    m().files.AddFile(root + L"\\.x");
    m().files.AddDirectory(root + L"\\hidden", kFileAttributeHidden);
  }

  // Runs the command handler on an argument vector given without program name.
  void Uninstall(std::vector<std::wstring> args) {
    args.insert(args.begin(), L"client-maintenance.exe");
    args.insert(args.begin() + 1, L"--uninstall");
    std::vector<wchar_t*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    RunUninstallCommand(FindInteractiveUser(), static_cast<int>(argv.size()), argv.data());
  }

  std::vector<std::wstring> Touched() {
    std::vector<std::wstring> paths;
    for (const auto& e : m().files.fsEvents) paths.push_back(e.path);
    return paths;
  }
};
