#include "common/report.h"

#include <map>

#include "common/decimal_text.h"
#include "common/utf8.h"

using namespace platform;

namespace report {
namespace {

struct Log {
  bool on = false;
  Handle out = nullptr;
  bool utf8 = false;     // a file or a pipe: UTF-8 through WriteFile; else the wide stream
  bool stopped = false;  // a write failed (a pipe nobody drains): no more lines
  std::uint64_t startedAt = 0;
  std::map<std::wstring, std::uint64_t> counts;  // by word, in the order of the words
};

Log& TheLog() {
  static Log log;
  return log;
}

void Write(const std::wstring& line) {
  Log& log = TheLog();
  if (log.stopped) return;
  if (!log.utf8) {
    WriteStdout((line + L"\n").c_str());
    return;
  }
  const std::string bytes = Utf8(line + L"\n");
  Dword written = 0;
  if (!WriteFile(log.out, bytes.data(), static_cast<Dword>(bytes.size()), &written) || written != bytes.size()) {
    log.stopped = true;
  }
}

}  // namespace

void Open(const std::wstring& firstLine) {
  Log& log = TheLog();
  log.out = GetStdHandle(kStdOutputHandle);
  if (log.out == nullptr) return;
  const Dword type = GetFileType(log.out);
  log.utf8 = type == kFileTypeDisk || type == kFileTypePipe;
  log.on = true;
  QueryUnbiasedInterruptTime(&log.startedAt);
  Write(firstLine);
}

bool On() { return TheLog().on; }

void Say(const wchar_t* word, const std::wstring& what, const std::wstring& detail) {
  Log& log = TheLog();
  if (!log.on) return;
  ++log.counts[word];
  Write(std::wstring(word) + L"\t" + what + (detail.empty() ? L"" : L"\t" + detail));
}

void Tree(const std::wstring& path, std::uint64_t files, std::uint64_t folders, std::uint64_t stayed) {
  Log& log = TheLog();
  if (!log.on) return;
  auto counted = [](std::uint64_t n, const wchar_t* one, const wchar_t* many) {
    return DecimalText(static_cast<std::int64_t>(n)) + L" " + (n == 1 ? one : many);
  };
  const std::wstring went = counted(files, L"file", L"files") + L", " + counted(folders, L"folder", L"folders");
  log.counts[L"removed"] += files + folders;
  if (stayed == 0) {
    Write(L"removed\t" + path + L"\t" + went);
    return;
  }
  ++log.counts[L"left"];
  Write(L"left\t" + path + L"\t" + went + L" removed; " + counted(stayed, L"entry", L"entries") + L" stayed");
}

std::wstring ReasonOf(Dword error) {
  switch (error) {
    case kErrorAccessDenied:
      return L"access denied, or read-only";
    case kErrorSharingViolation:
      return L"in use";
    case kErrorDirNotEmpty:
      return L"not empty";
    case kErrorOperationAborted:
      return L"stalled, cancelled after " + DecimalText(kFileCallBoundMs / 1000) + L" s";
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return L"not found";
    default:
      return L"error " + DecimalText(error);
  }
}

void Diagnostic(const wchar_t* text) {
  Log& log = TheLog();
  if (!log.on) {
    WriteStdout(text);
    return;
  }
  std::wstring line(text);
  if (!line.empty() && line.back() == L'\n') line.pop_back();
  Write(line);
}

void Close(const std::wstring& command) {
  Log& log = TheLog();
  if (!log.on) return;
  std::uint64_t now = log.startedAt;
  QueryUnbiasedInterruptTime(&now);
  const std::uint64_t ms = (now - log.startedAt) / 10000;  // 100 ns units
  std::wstring counts;
  for (const auto& [word, count] : log.counts)
    counts += (counts.empty() ? L"" : L", ") + word + L" " + DecimalText(count);
  Write(L"done\t" + command + L"\t" + DecimalText(ms / 1000) + L"." + DecimalText(ms % 1000 / 100) +
        DecimalText(ms % 100 / 10) + DecimalText(ms % 10) + L" s" + (counts.empty() ? L"" : L"\t" + counts));
  Forget();
}

void Forget() { TheLog() = Log(); }

}  // namespace report
