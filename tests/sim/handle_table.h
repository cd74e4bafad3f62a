// The simulated machine's handles: one table for every kind the tool opens,
// so that a test can tell whether anything was left open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/constants.h"

namespace sim {

using platform::Dword;
struct FsNode;
struct RegKeyNode;

enum class HandleKind { kProcess, kThread, kToken, kRegKey, kFile, kSnapshot };

struct HandleEntry {
  explicit HandleEntry(HandleKind k) : kind(k) {}
  HandleKind kind;
  Dword access = 0;
  Dword pid = 0;                               // process and thread handles; the source process of a token
  platform::FileTime processCreationTime = 0;  // process handles: which process of that identifier
  std::wstring tokenUser;                      // tokens
  Dword tokenSession = 0;                      // tokens: the session a process started with it runs in
  bool primaryToken = false;                   // tokens
  bool tokenElevated = false;                  // tokens: what TokenElevation reports
  Dword tokenIntegrity = platform::kSecurityMandatoryMediumRid;  // tokens: the mandatory level's RID
  // Tokens: the tool's own process token or a duplicate of it, and one
  // computed from it at a lower level (SaferComputeTokenFromLevel); either
  // may start a process with CreateProcessAsUserW without
  // SeAssignPrimaryTokenPrivilege.
  bool tokenOwn = false;
  bool tokenRestrictedFromOwn = false;
  RegKeyNode* key = nullptr;  // registry keys
  std::wstring keyPath;
  // file handles: the entry, the sharing it allows, its open options, its
  // write position, and a folder listing's mask and remaining names
  FsNode* node = nullptr;
  Dword share = 0;
  Dword options = 0;
  std::uint64_t position = 0;
  bool listingStarted = false;
  std::wstring listingMask;
  std::vector<std::wstring> listingNames;  // folded, in listing order
  std::size_t listingNext = 0;
  bool byTool = true;                // false for the handles a test's adversary holds
  bool oplockBreakReported = false;  // file handles: the open broke an oplock and said so
  // process snapshots: the processes as they were, and the position
  std::vector<platform::ProcessEntry> snapshot;
  std::size_t snapshotNext = 0;
};

// Open handles by value.
using HandleTable = std::map<std::uintptr_t, HandleEntry>;

}  // namespace sim
