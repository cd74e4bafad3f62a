// The run's decision log. With "-verbose" every command writes, on standard
// output, one line per decision: a word from a fixed list, the whole path or
// process it is about, and, for what was not done, the reason in words, the
// fields separated by tabs (no Windows path holds one). The installer's own
// log captures it. Without "-verbose" nothing of it exists: not a line, not
// a call.
//
// Written as UTF-8, without a byte-order mark, when standard output is a
// file or a pipe, so that every path arrives whole. Each write is one file
// call, bounded as every file call is: a pipe that nobody drains costs one
// bound, after which the log stops and the work goes on.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace report {

// Opens the log on standard output and writes firstLine as its first line;
// from then on On() is true. Without a standard output there is no log.
void Open(const std::wstring& firstLine);
bool On();
// "word<TAB>what", followed by "<TAB>detail" when there is one. Counted by
// its word for the last line.
void Say(const wchar_t* word, const std::wstring& what, const std::wstring& detail = std::wstring());
// A folder tree's removal, as one line: "removed" with its counts when it
// went, else "left" with what went and how many entries stayed (each of
// which the caller names on lines of their own). Its entries count as
// removed.
void Tree(const std::wstring& path, std::uint64_t files, std::uint64_t folders, std::uint64_t stayed);
// The reason, in words, of a call's error code.
std::wstring ReasonOf(platform::Dword error);
// A fixed diagnostic line (its text ends with a line break): into the log
// when it is open, as the tool always wrote it otherwise.
void Diagnostic(const wchar_t* text);
// The last line: "done", the command, how long it took and the counts.
// The log is closed then.
void Close(const std::wstring& command);
// The log closed without a last line (a run that ends by unwinding).
void Forget();
// Open for as long as it lives: Forget at its end.
struct Scope {
  Scope() = default;
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope() { Forget(); }
};

}  // namespace report
