// The simulated machine's shell: shell folders and the shell link object
// with its memory streams (shell.h), with the same results as the real
// calls.
#include "sim/shell.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"
#include "sim/shortcut_format.h"

namespace sim {

void Shell::SetFolder(const std::wstring& account, int csidl, const std::wstring& path, platform::HResult result) {
  FolderEntry e{result, path};
  if (account.empty()) {
    commonFolders[csidl] = e;
  } else {
    userFolders[account][csidl] = e;
  }
}

}  // namespace sim

namespace platform {

using sim::HandleEntry;
using sim::HandleKind;
using sim::Machine;

// ---------------- shell ----------------

HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path) {
  Call c("SHGetFolderPathW");
  std::wstring account;
  if (token != nullptr) {
    HandleEntry* e = c.m.Lookup(token);
    if (e == nullptr || e->kind != HandleKind::kToken) return kEInvalidArg;
    account = e->tokenUser;
  }
  c.m.shell.folderLookups.push_back({csidl, account, token != nullptr, flags, owner == nullptr});
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  const std::wstring who = token != nullptr ? account : c.m.processes.Self().user;
  const sim::FolderEntry* entry = nullptr;
  auto u = c.m.shell.userFolders.find(who);
  if (u != c.m.shell.userFolders.end()) {
    auto f = u->second.find(csidl);
    if (f != u->second.end()) entry = &f->second;
  }
  if (entry == nullptr) {
    auto f = c.m.shell.commonFolders.find(csidl);
    if (f != c.m.shell.commonFolders.end()) entry = &f->second;
  }
  if (entry == nullptr) return HResultFromWin32(kErrorFileNotFound);
  // S_FALSE ("the folder does not exist") still fills the buffer.
  if (entry->result == kSOk || entry->result == kSFalse) {
    const std::size_t n = std::min<std::size_t>(entry->path.size(), kMaxPath - 1);
    std::copy(entry->path.begin(), entry->path.begin() + n, path);
    path[n] = L'\0';
  }
  return entry->result;
}

// ---------------- COM: the shell link object ----------------

namespace {
sim::ShellLinkState* LinkState(Machine& m, std::uintptr_t id) {
  if (id == 0 || id > m.shell.shellLinks.size()) return nullptr;
  return &m.shell.shellLinks[id - 1];
}
}  // namespace

HResult CoInitialize(void* /*reserved*/) {
  Call c("CoInitialize");
  return c.m.shell.comInitializeCalls++ == 0 ? kSOk : kSFalse;
}

HResult CreateShellLink(ShellLink* link) {
  Call c("CreateShellLink");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  if (c.m.shell.comInitializeCalls == 0) return kCoENotInitialized;
  c.m.shell.shellLinks.push_back({});
  *link = reinterpret_cast<ShellLink>(static_cast<std::uintptr_t>(c.m.shell.shellLinks.size()));
  return kSOk;
}

HResult ShellLinkSetPath(ShellLink link, const wchar_t* path) {
  Call c("ShellLinkSetPath");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  s->path = path;
  return kSOk;
}

HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description) {
  Call c("ShellLinkSetDescription");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  s->description = description;
  return kSOk;
}

Dword ShellLinkRelease(ShellLink link) {
  Call c("ShellLinkRelease");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr) return 0;
  s->released = true;
  return 0;
}

HResult ShellLinkQueryPersistStream(ShellLink link, PersistStream* persistStream) {
  Call c("ShellLinkQueryPersistStream");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(link));
  if (s == nullptr || s->released) return kEInvalidArg;
  ++s->persistStreamRefs;
  *persistStream = reinterpret_cast<PersistStream>(link);
  return kSOk;
}

namespace {
sim::StreamState* StreamOf(Machine& m, Stream stream) {
  const auto id = reinterpret_cast<std::uintptr_t>(stream);
  if (id == 0 || id > m.shell.streams.size() || m.shell.streams[id - 1].released) return nullptr;
  return &m.shell.streams[id - 1];
}
void StreamWrite(sim::StreamState& s, const std::string& bytes) {
  if (s.bytes.size() < s.position + bytes.size()) s.bytes.resize(s.position + bytes.size());
  s.bytes.replace(s.position, bytes.size(), bytes);
  s.position += bytes.size();
}
}  // namespace

HResult PersistStreamSave(PersistStream persistStream, Stream stream, bool /*clearDirty*/) {
  Call c("PersistStreamSave");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(persistStream));
  if (s == nullptr || s->persistStreamRefs <= 0) return kEInvalidArg;
  sim::StreamState* out = StreamOf(c.m, stream);
  if (out == nullptr) return kEInvalidArg;
  const std::string bytes = sim::ShortcutBytes(s->path, s->description);
  Dword code;
  if (c.Injected(&code)) {
    // A save that fails part-way leaves what it had written in the stream.
    StreamWrite(*out, bytes.substr(0, bytes.size() / 2));
    return static_cast<HResult>(code);
  }
  StreamWrite(*out, bytes);
  return kSOk;
}

Dword PersistStreamRelease(PersistStream persistStream) {
  Call c("PersistStreamRelease");
  sim::ShellLinkState* s = LinkState(c.m, reinterpret_cast<std::uintptr_t>(persistStream));
  if (s == nullptr) return 0;
  return static_cast<Dword>(--s->persistStreamRefs);
}

HResult CreateStreamOnHGlobal(bool /*deleteOnRelease*/, Stream* stream) {
  Call c("CreateStreamOnHGlobal");
  Dword code;
  if (c.Injected(&code)) return static_cast<HResult>(code);
  c.m.shell.streams.push_back({});
  *stream = reinterpret_cast<Stream>(static_cast<std::uintptr_t>(c.m.shell.streams.size()));
  return kSOk;
}

HResult StreamSeek(Stream stream, std::int64_t move, Dword origin, std::uint64_t* newPosition) {
  Call c("StreamSeek");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return kEInvalidArg;
  const std::int64_t base = origin == kStreamSeekSet   ? 0
                            : origin == kStreamSeekCur ? static_cast<std::int64_t>(s->position)
                                                       : static_cast<std::int64_t>(s->bytes.size());
  if (origin > 2 || base + move < 0) return static_cast<HResult>(0x80030019u);  // STG_E_INVALIDFUNCTION
  s->position = static_cast<std::uint64_t>(base + move);
  if (newPosition != nullptr) *newPosition = s->position;
  return kSOk;
}

HResult StreamRead(Stream stream, void* buffer, Dword bytes, Dword* bytesRead) {
  Call c("StreamRead");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return kEInvalidArg;
  const std::uint64_t available = s->position < s->bytes.size() ? s->bytes.size() - s->position : 0;
  const Dword n = static_cast<Dword>(std::min<std::uint64_t>(available, bytes));
  if (n != 0) std::memcpy(buffer, s->bytes.data() + s->position, n);
  s->position += n;
  if (bytesRead != nullptr) *bytesRead = n;
  return n < bytes ? kSFalse : kSOk;
}

Dword StreamRelease(Stream stream) {
  Call c("StreamRelease");
  sim::StreamState* s = StreamOf(c.m, stream);
  if (s == nullptr) return 0;
  s->released = true;
  return 0;
}

}  // namespace platform
