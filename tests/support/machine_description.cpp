// A generated machine as text, and wide strings as printable ASCII
// (hostile_machine.h): what the property test prints for a failing seed.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>

#include "hostile_machine.h"

namespace hostile {

using namespace platform;
using sim::Machine;

namespace {

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

std::string Hex(std::uint64_t v) {
  char buffer[24];
  std::snprintf(buffer, sizeof(buffer), "%llx", static_cast<unsigned long long>(v));
  return buffer;
}

}  // namespace

std::string Printable(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u{" + Hex(static_cast<std::uint32_t>(c)) + "}";
    }
  }
  return out;
}

std::string Describe(Machine& m) {
  std::ostringstream o;
  o << "os " << m.runtime.osMajor << " build " << m.runtime.osBuild << "; the tool: pid " << sim::Processes::kSelfPid
    << ", session " << m.processes.Self().session << (m.processes.Self().sessionReadable ? "" : " (unreadable)")
    << ", account " << Printable(m.processes.Self().user) << (m.processes.Self().elevated ? " elevated" : "")
    << (m.users.toolInJob ? (m.users.jobAllowsBreakaway ? ", in a job (breakaway ok)" : ", in a job") : "")
    << (m.users.secondaryLogonRunning ? "" : ", Secondary Logon disabled")
    << (m.users.logonSessionsRecorded ? "" : ", no logon records") << "\n";
  o << "environment:";
  for (const auto& [k, v] : m.runtime.environment) o << " " << Printable(k) << "=" << Printable(v);
  o << "\nprofile list:";
  std::function<void(const sim::RegKeyNode&, const std::string&)> key = [&](const sim::RegKeyNode& n,
                                                                            const std::string& indent) {
    o << indent << Printable(n.name);
    if (n.openResult) o << " [open fails " << n.openResult << "]";
    if (n.queryInfoResult) o << " [query info fails " << n.queryInfoResult << "]";
    for (auto i : n.enumFailIndexes) o << " [enumeration fails at " << i << "]";
    o << "\n";
    for (const auto& [name, value] : n.values) {
      o << indent << "  " << Printable(name) << " type " << value.type << ", " << value.bytes.size() << " bytes";
      if (value.queryResult) o << " [query fails " << value.queryResult << "]";
      std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
      if (!text.empty()) {
        std::copy(value.bytes.begin(), value.bytes.begin() + text.size() * sizeof(wchar_t),
                  reinterpret_cast<std::uint8_t*>(&text[0]));
      }
      o << ": \"" << Printable(text) << "\"";
      if (value.bytes.size() % sizeof(wchar_t)) o << " + " << value.bytes.size() % sizeof(wchar_t) << " odd bytes";
      o << "\n";
    }
    for (const auto& k : n.subkeys) key(*k, indent + "  ");
  };
  if (sim::RegKeyNode* list = m.registry.FindKey(kProfileList)) {
    o << "\n";
    key(*list, "  ");
  } else {
    o << " (none)\n";
  }
  auto folder = [&](int csidl, const sim::FolderEntry& e) {
    o << "  csidl " << csidl << ": " << Printable(e.path);
    if (e.result != kSOk) o << " [result 0x" << Hex(static_cast<std::uint32_t>(e.result)) << "]";
    o << "\n";
  };
  o << "machine folders:\n";
  for (const auto& [csidl, e] : m.shell.commonFolders) folder(csidl, e);
  for (const auto& [user, folders] : m.shell.userFolders) {
    o << "folders of " << Printable(user) << ":\n";
    for (const auto& [csidl, e] : folders) folder(csidl, e);
  }
  o << "processes:\n";
  for (const auto& p : m.processes.list) {
    o << "  " << p.pid << " " << Printable(p.exeName) << " session " << p.session << " user " << Printable(p.user)
      << " termination " << static_cast<int>(p.termination) << " delay " << p.terminationDelayMs;
    if (p.elevated) o << " elevated";
    if (p.deniedAccess) o << " denied 0x" << Hex(p.deniedAccess);
    if (p.tokenDeniedAccess) o << " token denied 0x" << Hex(p.tokenDeniedAccess);
    if (!p.sessionReadable) o << " session-unreadable";
    if (!p.nameReadable) o << " name-unreadable";
    if (p.exitsBeforeOpen) o << " exits-before-open";
    if (p.exitsOnEndSession) o << " exits-on-end-session";
    if (!p.respawns.empty()) o << " respawns " << Printable(p.respawns);
    if (!p.reusedBy.empty()) o << " identifier-reused-by " << Printable(p.reusedBy);
    for (const auto& w : m.windows.list) {
      if (w.ownerPid == p.pid) o << " window" << (w.visible ? "" : "(hidden)") << (w.postFails ? "(post fails)" : "");
    }
    o << "\n";
  }
  o << "sessions:";
  for (const auto& s : m.users.sessions) {
    o << " " << s.id << "(state " << s.state << ", " << Printable(s.domain) << "\\" << Printable(s.user);
    if (s.tokenError) o << ", token fails " << s.tokenError;
    o << ", a copy runs " << s.startedRunMs << " ms)";
  }
  o << "\n";
  o << "scheduled events: " << m.clock.events.size() << " at";
  for (const auto& e : m.clock.events) o << " " << e.at;
  o << "\ninjected failures:";
  for (const auto& [call, list] : m.injections) {
    for (const auto& i : list)
      o << " " << call << "(code " << i.code << ", skip " << i.skip << ", count " << i.count << ")";
  }
  o << "\nfiles:\n";
  std::function<void(const sim::FsNode*)> walk = [&](const sim::FsNode* n) {
    for (const auto& kv : n->children) {
      const sim::FsNode* c = kv.second.get();
      o << "  " << Printable(m.files.PathOf(c)) << (c->isDirectory ? "\\" : "");
      if (c->attributes & ~(kFileAttributeDirectory | kFileAttributeArchive)) o << " attr 0x" << Hex(c->attributes);
      if (!c->linkTarget.empty()) o << " -> " << Printable(c->linkTarget);
      if (c->inUse) o << " in-use";
      if (c->denyDelete) o << " deny-delete";
      if (c->denyList) o << " deny-list";
      if (c->denyWrite) o << " deny-write";
      if (c->scannerOpen) o << " open-by-a-scanner";
      if (c->userOplock) o << " oplocked";
      if (c->readHandleOplock) o << " read-handle oplocked";
      if ((c->attributes & kFileAttributeReparsePoint) && c->linkTarget.empty()) o << " placeholder";
      o << "\n";
      if (c->linkTarget.empty()) walk(c);
    }
  };
  for (const auto& d : m.files.drives) walk(d.second.get());
  for (const auto& sh : m.files.shares) walk(sh.second.get());
  o << "object-manager links:";
  for (const auto& [name, target] : m.files.objectLinks) o << " " << Printable(name) << " -> " << Printable(target);
  o << "\n";
  return o.str();
}

}  // namespace hostile
