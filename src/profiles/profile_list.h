// The machine's user profiles, from the registry's profile list, and the walk
// over them that every all-profiles command performs.
#pragma once

#include <string>
#include <vector>

#include "common/report.h"
#include "files/call_bound.h"
#include "platform/platform.h"

// HKEY_LOCAL_MACHINE\...\ProfileList: one subkey per profile.
constexpr const wchar_t* kProfileListKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Every registry key the tool opens is opened read-only, in the 64-bit view.
constexpr platform::Dword kRegistryAccess = platform::kKeyRead | platform::kKeyWow6464Key;

// Appends the name of every immediate subkey of key, in the registry's
// enumeration order. Prints "Failed to query registry info\n" when the key
// cannot be queried; a subkey that cannot be read at its index is skipped.
void EnumerateSubkeyNames(platform::RegKey key, std::vector<std::wstring>* names);

// Reads "ProfileImagePath" of the key at keyPath (under HKEY_LOCAL_MACHINE)
// and expands its environment references. True with profileDirectory set,
// or false with it unchanged. Prints "Failed to open reg
// key\n" or "Failed to get value for sub key '<path>', res: <code>\n" when the
// key or the value cannot be read. A value without a terminating zero is read
// up to the bytes the registry returned; a failed expansion is a failure.
bool ReadProfileImagePath(const std::wstring& keyPath, std::wstring* profileDirectory);

// Lists the profile subkeys: opens the profile list key, enumerates it and
// closes it again. False, silently, when the key cannot be opened.
bool ListProfileKeys(std::vector<std::wstring>* names);

// The profile walk. Lists the profiles (the list key is closed before the
// first profile is visited), then reads each profile's directory in list
// order and calls visit(profileDirectory). A profile whose directory cannot
// be read, or reads as empty, is skipped: its work would otherwise run
// against paths relative to the root of the current drive. Each visit is a
// piece of work of its own (files/call_bound.h).
template <typename Visit>
void ForEachProfileDirectory(Visit&& visit) {
  std::vector<std::wstring> profiles;
  if (!ListProfileKeys(&profiles)) return;
  for (const std::wstring& profile : profiles) {
    std::wstring directory;
    if (!ReadProfileImagePath(std::wstring(kProfileListKey) + L"\\" + profile, &directory) || directory.empty()) {
      if (report::On()) report::Say(L"skipped", L"profile " + profile, L"no profile folder");
      continue;
    }
    // A profile whose work a stuck call gave up earlier in the command
    // opens no folder again (files/call_bound.h).
    const PieceOfWork piece(directory);
    visit(directory);
  }
}
