// The simulated machine's registry (registry.h), with the same result codes
// as the real calls.
#include "sim/registry.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"
#include "sim/names.h"

namespace sim {

std::vector<std::uint8_t> StringBytes(const std::wstring& text, bool terminated) {
  std::vector<std::uint8_t> bytes((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t), 0);
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
  return bytes;
}

RegKeyNode* RegKeyNode::Child(const std::wstring& childName) const {
  const std::wstring folded = Fold(childName);
  auto hit = [&]() -> RegKeyNode* {
    auto it = childIndex.find(folded);
    if (it == childIndex.end() || it->second >= subkeys.size()) return nullptr;
    RegKeyNode* k = subkeys[it->second].get();
    return Fold(k->name) == folded ? k : nullptr;
  };
  if (RegKeyNode* k = hit()) return k;
  if (childIndex.count(folded) == 0 && childIndexCount == subkeys.size()) return nullptr;
  // Stale or incomplete: index again, the first of equal names winning as a
  // search from the front would find it.
  childIndex.clear();
  for (std::size_t i = 0; i < subkeys.size(); ++i) childIndex.emplace(Fold(subkeys[i]->name), i);
  childIndexCount = subkeys.size();
  return hit();
}

RegKeyNode& Registry::Key(const std::wstring& path) {
  RegKeyNode* node = &hklm;
  for (const auto& part : SplitPath(path, L'\\')) {
    if (part.empty()) continue;
    RegKeyNode* child = node->Child(part);
    if (child == nullptr) {
      const bool indexed = node->childIndexCount == node->subkeys.size();
      node->subkeys.push_back(std::make_unique<RegKeyNode>());
      child = node->subkeys.back().get();
      child->name = part;
      if (indexed) {
        node->childIndex.emplace(Fold(part), node->subkeys.size() - 1);
        node->childIndexCount = node->subkeys.size();
      }
    }
    node = child;
  }
  return *node;
}

RegKeyNode* Registry::FindKey(const std::wstring& path) {
  RegKeyNode* node = &hklm;
  for (const auto& part : SplitPath(path, L'\\')) {
    if (part.empty()) continue;
    node = node->Child(part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

void Registry::SetString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value, Dword type) {
  SetValueBytes(keyPath, name, type, StringBytes(value));
}

void Registry::SetValueBytes(const std::wstring& keyPath, const std::wstring& name, Dword type,
                             std::vector<std::uint8_t> bytes) {
  RegValue v;
  v.type = type;
  v.bytes = std::move(bytes);
  Key(keyPath).values[Fold(name)] = std::move(v);
}

}  // namespace sim

namespace platform {

using sim::HandleEntry;
using sim::HandleKind;
using sim::Machine;

namespace {

HandleEntry* KeyEntry(Machine& m, RegKey k, Long* rc) {
  HandleEntry* e = m.Lookup(reinterpret_cast<Handle>(k));
  if (e == nullptr || e->kind != HandleKind::kRegKey) {
    *rc = static_cast<Long>(kErrorInvalidHandle);
    return nullptr;
  }
  return e;
}

}  // namespace

Long RegOpenKeyExW(RegKey key, const wchar_t* subKey, Dword /*options*/, Dword desiredAccess, RegKey* result) {
  Call c("RegOpenKeyExW");
  const std::wstring sub = subKey ? subKey : L"";
  std::wstring base;
  sim::RegKeyNode* node = nullptr;
  if (key == HkeyLocalMachine()) {
    node = &c.m.registry.hklm;
  } else {
    Long rc;
    HandleEntry* e = KeyEntry(c.m, key, &rc);
    if (e == nullptr) return rc;
    node = e->key;
    base = e->keyPath;
  }
  const std::wstring path = base.empty() ? sub : (sub.empty() ? base : base + L"\\" + sub);
  c.m.registry.regOpens.emplace_back(path, desiredAccess);
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  std::wstring part;
  auto step = [&](const std::wstring& name) -> bool {
    node = node->Child(name);
    return node != nullptr;
  };
  for (std::size_t i = 0; i <= sub.size(); ++i) {
    if (i == sub.size() || sub[i] == L'\\') {
      if (!part.empty() && !step(part)) return static_cast<Long>(kErrorFileNotFound);
      if (!part.empty() && node->openResult != 0) return static_cast<Long>(node->openResult);
      part.clear();
    } else {
      part += sub[i];
    }
  }
  HandleEntry e(HandleKind::kRegKey);
  e.access = desiredAccess;
  e.key = node;
  e.keyPath = path;
  *result = reinterpret_cast<RegKey>(c.m.NewHandle(std::move(e)));
  return 0;
}

Long RegQueryInfoKeyW(RegKey key, Dword* subKeys, Dword* maxSubKeyLength) {
  Call c("RegQueryInfoKeyW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0001) == 0) return static_cast<Long>(kErrorAccessDenied);  // KEY_QUERY_VALUE
  if (e->key->queryInfoResult != 0) return static_cast<Long>(e->key->queryInfoResult);
  Dword longest = 0;
  for (const auto& k : e->key->subkeys) longest = std::max<Dword>(longest, static_cast<Dword>(k->name.size()));
  if (subKeys) *subKeys = static_cast<Dword>(e->key->subkeys.size());
  if (maxSubKeyLength) *maxSubKeyLength = longest;
  return 0;
}

Long RegEnumKeyExW(RegKey key, Dword index, wchar_t* name, Dword* nameLength) {
  Call c("RegEnumKeyExW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0008) == 0) return static_cast<Long>(kErrorAccessDenied);  // KEY_ENUMERATE_SUB_KEYS
  if (index >= e->key->subkeys.size()) return static_cast<Long>(kErrorNoMoreItems);
  if (e->key->enumFailIndexes.count(index)) return static_cast<Long>(kErrorAccessDenied);
  const std::wstring& n = e->key->subkeys[index]->name;
  if (*nameLength < n.size() + 1) return static_cast<Long>(kErrorMoreData);
  std::copy(n.begin(), n.end(), name);
  name[n.size()] = L'\0';
  *nameLength = static_cast<Dword>(n.size());
  return 0;
}

Long RegQueryValueExW(RegKey key, const wchar_t* valueName, Dword* type, std::uint8_t* data, Dword* dataBytes) {
  Call c("RegQueryValueExW");
  Long rc;
  HandleEntry* e = KeyEntry(c.m, key, &rc);
  if (e == nullptr) return rc;
  Dword code;
  if (c.Injected(&code)) return static_cast<Long>(code);
  if ((e->access & 0x0001) == 0) return static_cast<Long>(kErrorAccessDenied);
  auto it = e->key->values.find(sim::Fold(valueName ? valueName : L""));
  if (it == e->key->values.end()) return static_cast<Long>(kErrorFileNotFound);
  const sim::RegValue& v = it->second;
  if (v.queryResult != 0) return static_cast<Long>(v.queryResult);
  const Dword size = static_cast<Dword>(v.bytes.size());
  if (type) *type = v.type;
  if (data == nullptr) {
    if (dataBytes) *dataBytes = size;
    return 0;
  }
  if (dataBytes == nullptr) return static_cast<Long>(kErrorInvalidParameter);
  if (*dataBytes < size) {
    *dataBytes = size;
    return static_cast<Long>(kErrorMoreData);
  }
  if (size) std::memcpy(data, v.bytes.data(), size);
  *dataBytes = size;
  return 0;
}

Long RegCloseKey(RegKey key) {
  Call c("RegCloseKey");
  if (key == HkeyLocalMachine()) return 0;
  auto it = c.m.handles.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == c.m.handles.end() || it->second.kind != HandleKind::kRegKey) {
    return static_cast<Long>(kErrorInvalidHandle);
  }
  c.m.handles.erase(it);
  return 0;
}

}  // namespace platform
