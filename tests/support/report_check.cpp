#include "report_check.h"

#include <functional>
#include <map>
#include <set>

#include "hostile_machine.h"
#include "known_names.h"

namespace hostile {

using sim::Fold;
using sim::FsEventKind;

namespace {

// text's parts between separators (one part more than separators).
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts(1);
  for (const wchar_t c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// A path as the tool wrote it, its ".." and "." steps taken (they come only
// from a profile list's text): every name is kept as it is, trailing dots
// and blanks included, as the tool used it below its starting folder.
std::wstring Stepped(const std::wstring& path) {
  std::vector<std::wstring> kept;
  for (const auto& part : Split(path, L'\\')) {
    if (part == L"..") {
      if (kept.size() > 1) kept.pop_back();
    } else if (part != L"." && !(part.empty() && !kept.empty())) {
      kept.push_back(part);
    }
  }
  const bool share = path.rfind(L"\\\\", 0) == 0;  // "\\server\share\..."
  std::wstring out;
  for (const auto& part : kept) out += (out.empty() ? L"" : L"\\") + part;
  if (share) out = L"\\\\" + out;
  return Fold(out);
}

std::wstring NameOf(const std::wstring& path) { return Fold(path.substr(path.rfind(L'\\') + 1)); }

bool Within(const std::wstring& path, const std::wstring& folder) {
  return path == folder ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == L'\\');
}

// "N file(s), M folder(s)" at the start of a tree line's detail.
bool TreeCounts(const std::wstring& detail, std::size_t* files, std::size_t* folders) {
  std::size_t at = 0;
  auto number = [&](std::size_t* out) {
    const std::size_t begin = at;
    std::size_t value = 0;
    while (at < detail.size() && detail[at] >= L'0' && detail[at] <= L'9') value = value * 10 + (detail[at++] - L'0');
    *out = value;
    return at > begin;
  };
  auto word = [&](const std::wstring& w) {
    if (detail.compare(at, w.size(), w) != 0) return false;
    at += w.size();
    return true;
  };
  return number(files) && (word(L" files, ") || word(L" file, ")) && number(folders) &&
         (word(L" folders") || word(L" folder"));
}

}  // namespace

std::vector<std::wstring> LogLines(const std::string& bytes) {
  std::vector<std::wstring> lines(1);
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    std::uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    for (int k = 1; k <= extra && i + k < bytes.size(); ++k)
      c = c << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    i += 1 + extra;
    if (c == L'\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<wchar_t>(c);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

bool AsksForLog(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return false;
  const bool stop = args[1] == L"--stop";
  for (std::size_t i = args[1] == L"--uninstall" ? 3 : 2; i < args.size(); ++i) {
    if (stop && args[i] == L"-timeout") {
      ++i;
    } else if (args[i] == L"-verbose") {
      return true;
    }
  }
  return false;
}

ReportCheck::ReportCheck(sim::Machine& m, const std::vector<std::wstring>& args)
    : args_(args),
      eventsBefore_(m.files.fsEvents.size()),
      terminationsBefore_(m.processes.terminations.size()),
      withTokenBefore_(m.users.createProcessWithToken.size()),
      asUserBefore_(m.users.createProcessAsUser.size()),
      bytesBefore_(m.runtime.stdoutBytes.size()) {
  std::function<void(const sim::FsNode*)> walk = [&](const sim::FsNode* n) {
    if (n->deletePending) pendingBefore_.insert(n->id);
    for (const auto& [name, child] : n->children) walk(child.get());
  };
  for (const auto& [letter, drive] : m.files.drives) walk(drive.get());
  for (const auto& [name, share] : m.files.shares) walk(share.get());
}

std::vector<std::string> ReportCheck::Violations(sim::Machine& m, const std::vector<std::wstring>& stayed) const {
  std::vector<std::string> v;
  const std::vector<std::wstring> lines = LogLines(m.runtime.stdoutBytes.substr(bytesBefore_));
  // A command line the system cannot split runs nothing; a failed write
  // (a full disk) ends the log where it failed.
  for (const char* call : {"CommandLineToArgvW", "GetStdHandle", "GetFileType", "WriteFile"}) {
    if (m.injections.count(call) != 0) return v;
  }
  const bool logged = AsksForLog(args_) && m.runtime.stdoutType != 0 && !m.runtime.stdoutStalls;
  if (!logged) {
    if (!lines.empty()) v.push_back("wrote a log nobody asked for: " + Printable(lines.front()));
    return v;
  }
  if (m.cut != sim::Cut::kNone) return v;  // a cut run ends its log where it was cut
  auto say = [&v](const std::string& what, const std::wstring& line) {
    v.push_back("log: " + what + ": " + Printable(line));
  };
  if (lines.empty() || lines.front().rfind(L"run\t", 0) != 0) say("no first line", lines.empty() ? L"" : lines.front());
  if (lines.empty() || lines.back().rfind(L"done\t" + args_[1] + L"\t", 0) != 0) {
    say("no last line", lines.empty() ? L"" : lines.back());
  }

  // What the machine saw the tool remove (not what it made itself in this
  // run), and the start-up shortcuts it put in place.
  std::set<std::uint64_t> made;
  std::map<std::wstring, FsEventKind> removed;  // by folded canonical path
  std::map<std::wstring, int> written;          // how often, by folded path
  for (std::size_t i = eventsBefore_; i < m.files.fsEvents.size(); ++i) {
    const auto& e = m.files.fsEvents[i];
    if (!e.byTool) continue;
    if (e.kind == FsEventKind::kCreated) made.insert(e.node);
    if ((e.kind == FsEventKind::kDeleted || e.kind == FsEventKind::kRemovedDirectory) && !made.count(e.node)) {
      removed[Fold(e.path)] = e.kind;
    }
    if (e.kind == FsEventKind::kMovedHere && made.count(e.node) && Fold(NameOf(e.path)) == Fold(kShortcutName)) {
      ++written[Fold(e.path)];
    }
  }
  // A deletion the system accepted but carries out only when the last
  // handle closes (without POSIX semantics, a scanner holding the file)
  // went as far as the tool can tell.
  std::function<void(const sim::FsNode*)> pending = [&](const sim::FsNode* n) {
    if (n->deletePending && !pendingBefore_.count(n->id))
      removed[Fold(m.files.PathOf(n))] = n->isDirectory ? FsEventKind::kRemovedDirectory : FsEventKind::kDeleted;
    for (const auto& [name, child] : n->children) pending(child.get());
  };
  for (const auto& [letter, drive] : m.files.drives) pending(drive.get());
  for (const auto& [name, share] : m.files.shares) pending(share.get());
  std::set<std::wstring> reported;
  std::vector<std::wstring> explained;  // what "left" and "skipped" lines name
  std::size_t ended = 0, started = 0;
  for (const auto& line : lines) {
    const std::vector<std::wstring> f = Split(line, L'\t');
    const std::wstring& word = f[0];
    const std::wstring path = f.size() > 1 ? Stepped(f[1]) : L"";
    const std::wstring detail = f.size() > 2 ? f[2] : L"";
    if (word == L"left" || word == L"skipped")
      explained.push_back(f.size() > 1 && f[1] == L"every profile" ? L"" : path);
    std::size_t files = 0, folders = 0;
    if ((word == L"removed" || word == L"left") && f.size() > 2 && TreeCounts(detail, &files, &folders)) {
      std::size_t seenFiles = 0, seenFolders = 0;
      // (A profile listed twice is worked twice: only what is not yet
      // reported counts.)
      for (const auto& [p, kind] : removed) {
        if (!Within(p, path) || !reported.insert(p).second) continue;
        (kind == FsEventKind::kDeleted ? seenFiles : seenFolders) += 1;
      }
      if (seenFiles != files || seenFolders != folders) say("a tree's counts are not what went", line);
      // The tree's own folder went when it says "removed", stayed when "left".
      if ((word == L"removed") != (removed.count(path) != 0)) say("a tree's word is not what became of it", line);
    } else if (word == L"removed") {
      if (!removed.count(path)) say("reported as removed, but it was not", line);
      if (!reported.insert(path).second) say("reported twice", line);
    } else if (word == L"left") {
      if (detail.empty()) say("left without a reason", line);
      // (Met again, by a profile listed twice, as the deletion it is.)
      if (removed.count(path) && detail != L"being deleted") say("reported as left, but it went", line);
    } else if (word == L"wrote") {
      if (written[path]-- <= 0) say("reported as written, but it was not", line);
    } else if (word == L"ended") {
      ++ended;
    } else if (word == L"started") {
      ++started;
    }
  }
  for (const auto& [p, kind] : removed) {
    if (!reported.count(p)) v.push_back("log: removed but not reported: " + Printable(p));
  }
  // ("every profile" stands for a folder above every entry.)
  for (const auto& entry : stayed) {
    bool named = false;
    for (const auto& folder : explained) named = named || folder.empty() || Within(Fold(entry), folder);
    if (!named) v.push_back("log: left without a word: " + Printable(entry));
  }
  for (const auto& [p, times] : written) {
    if (times > 0) v.push_back("log: written but not reported: " + Printable(p));
  }
  std::size_t terminations = 0;
  for (std::size_t i = terminationsBefore_; i < m.processes.terminations.size(); ++i) {
    terminations += m.processes.terminations[i].succeeded ? 1 : 0;
  }
  if (ended != terminations) {
    v.push_back("log: " + std::to_string(ended) + " processes reported ended, " + std::to_string(terminations) +
                " were");
  }
  std::size_t shells = 0;
  for (std::size_t i = withTokenBefore_; i < m.users.createProcessWithToken.size(); ++i) {
    shells += m.users.createProcessWithToken[i].succeeded &&
              Fold(NameOf(m.users.createProcessWithToken[i].applicationName)) == L"EXPLORER.EXE";
  }
  for (std::size_t i = asUserBefore_; i < m.users.createProcessAsUser.size(); ++i) {
    shells += m.users.createProcessAsUser[i].succeeded &&
              Fold(NameOf(m.users.createProcessAsUser[i].applicationName)) == L"EXPLORER.EXE";
  }
  if (started != shells) {
    v.push_back("log: " + std::to_string(started) + " shells reported started, " + std::to_string(shells) + " were");
  }
  return v;
}

}  // namespace hostile
