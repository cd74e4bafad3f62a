// The simulated machine's shell: the shell folders of each account, and
// the shell link object with the memory streams it saves into. The calls
// are in shell.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

using platform::Dword;

struct FolderEntry {
  platform::HResult result = platform::kSOk;
  std::wstring path;
};

struct FolderLookup {
  int csidl;
  std::wstring account;  // the account the token belongs to; empty for no token
  bool tokenPassed;
  Dword flags;
  bool ownerWindowNull;
};

// A shell link object as the tool drove it.
struct ShellLinkState {
  std::wstring path;
  std::wstring description;
  bool released = false;
  int persistStreamRefs = 0;
};

// A memory stream (CreateStreamOnHGlobal).
struct StreamState {
  std::string bytes;
  std::uint64_t position = 0;
  bool released = false;
};

struct Shell {
  // ---- shell folders ----
  // Per account and CSIDL. An account without an entry falls back to
  // commonFolders (machine-wide folders), then to ERROR_FILE_NOT_FOUND.
  std::map<std::wstring, std::map<int, FolderEntry>> userFolders;
  std::map<int, FolderEntry> commonFolders;
  void SetFolder(const std::wstring& account, int csidl, const std::wstring& path,
                 platform::HResult result = platform::kSOk);
  std::vector<FolderLookup> folderLookups;

  // Message boxes the real system would have shown: nobody may be there to
  // answer them.
  int dialogs = 0;

  // ---- shell link objects and memory streams ----
  std::vector<ShellLinkState> shellLinks;
  std::vector<StreamState> streams;
  int comInitializeCalls = 0;
};

}  // namespace sim
