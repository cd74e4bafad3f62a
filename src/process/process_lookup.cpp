#include "process/process_lookup.h"

#include <cwctype>

#include "platform/handles.h"

using namespace platform;

namespace {

constexpr Dword kFirstEnumerationBytes = 4096;  // room for 1024 identifiers
constexpr Dword kBaseNameAccess = kProcessQueryInformation | kProcessVmRead;

// The process heap block that holds EnumProcesses' raw identifier array.
class HeapBuffer {
 public:
  explicit HeapBuffer(Dword bytes) : data_(HeapAlloc(GetProcessHeap(), 0, bytes)), bytes_(bytes) {}
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  ~HeapBuffer() {
    if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
  }
  bool valid() const { return data_ != nullptr; }
  Dword* ids() const { return static_cast<Dword*>(data_); }
  Dword bytes() const { return bytes_; }
  // Doubles the block. On failure the old block is released and the buffer
  // becomes invalid.
  bool Grow() {
    void* bigger = HeapReAlloc(GetProcessHeap(), 0, data_, static_cast<std::size_t>(bytes_) * 2);
    if (bigger == nullptr) {
      HeapFree(GetProcessHeap(), 0, data_);
      data_ = nullptr;
      return false;
    }
    data_ = bigger;
    bytes_ *= 2;
    return true;
  }

 private:
  void* data_;
  Dword bytes_;
};

}  // namespace

std::vector<Dword> FindProcessesByName(const std::wstring& name, SessionFilter session) {
  std::vector<Dword> found;
  HeapBuffer buffer(kFirstEnumerationBytes);
  if (!buffer.valid()) return found;
  Dword written = 0;
  if (!EnumProcesses(buffer.ids(), buffer.bytes(), &written)) return found;
  // A full buffer may have cut the list short: grow it and ask again.
  while (written == buffer.bytes()) {
    if (!buffer.Grow()) return found;
    if (!EnumProcesses(buffer.ids(), buffer.bytes(), &written)) return found;
  }
  const Dword count = written / sizeof(Dword);
  for (Dword i = 0; i < count; ++i) {
    const Dword pid = buffer.ids()[i];
    if (session) {
      Dword processSession = 0;
      if (!ProcessIdToSessionId(pid, &processSession) || processSession != *session) continue;
    }
    std::wstring baseName;
    if (!GetProcessBaseName(pid, &baseName)) continue;
    if (NamesEqualIgnoreCase(baseName, name)) found.push_back(pid);
  }
  return found;
}

bool GetProcessBaseName(Dword processId, std::wstring* name) {
  UniqueHandle process(OpenProcess(kBaseNameAccess, /*inheritHandle=*/false, processId));
  if (!process) return false;
  Module firstModule = nullptr;
  Dword needed = 0;
  if (!EnumProcessModules(process.get(), &firstModule, sizeof(firstModule), &needed)) return false;
  wchar_t baseName[kMaxPath];
  if (GetModuleBaseNameW(process.get(), firstModule, baseName, kMaxPath) == 0) return false;
  baseName[kMaxPath - 1] = L'\0';  // a cut name comes back unterminated
  *name = baseName;
  return true;
}

bool NamesEqualIgnoreCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(static_cast<std::wint_t>(a[i])) != std::towupper(static_cast<std::wint_t>(b[i]))) return false;
  }
  return true;
}
