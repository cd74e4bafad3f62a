// The simulated machine's registry: HKEY_LOCAL_MACHINE as a tree of keys
// with typed values stored as raw bytes, and results a test can make any
// open, query or enumeration return. The calls are in registry.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/constants.h"

namespace sim {

using platform::Dword;

struct RegValue {
  Dword type = platform::kRegSz;
  std::vector<std::uint8_t> bytes;
  Dword queryResult = 0;  // non-zero: RegQueryValueExW returns this
};

struct RegKeyNode {
  std::wstring name;
  std::vector<std::unique_ptr<RegKeyNode>> subkeys;  // enumeration order
  std::map<std::wstring, RegValue> values;           // by folded name
  Dword openResult = 0;                              // non-zero: RegOpenKeyExW of this key returns it
  Dword queryInfoResult = 0;                         // non-zero: RegQueryInfoKeyW returns it
  std::set<Dword> enumFailIndexes;                   // RegEnumKeyExW returns ERROR_ACCESS_DENIED at these indexes

  RegKeyNode* Child(const std::wstring& name) const;

  // Folded name -> position in subkeys, so that a key of many subkeys (a
  // machine with thousands of profiles) is not searched from the front on
  // every open. Checked on every hit and brought up to date when subkeys has
  // changed size, so tests may still change subkeys directly.
  mutable std::unordered_map<std::wstring, std::size_t> childIndex;
  mutable std::size_t childIndexCount = 0;
};

// Raw value bytes of a string: the wchar_t units and, unless told otherwise,
// a terminating zero.
std::vector<std::uint8_t> StringBytes(const std::wstring& text, bool terminated = true);

struct Registry {
  RegKeyNode hklm;
  RegKeyNode& Key(const std::wstring& path);  // creates missing keys
  RegKeyNode* FindKey(const std::wstring& path);
  void SetString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value,
                 Dword type = platform::kRegSz);
  void SetValueBytes(const std::wstring& keyPath, const std::wstring& name, Dword type,
                     std::vector<std::uint8_t> bytes);
  std::vector<std::pair<std::wstring, Dword>> regOpens;  // (path, access) of every RegOpenKeyExW
};

}  // namespace sim
