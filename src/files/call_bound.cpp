#include "files/call_bound.h"

#include <cwctype>
#include <set>
#include <vector>

#include "files/held_folder.h"

using namespace platform;

namespace {

PieceOfWork* g_running = nullptr;  // null outside any piece

// The pieces given up: their names as noted, and their keys, worked out
// before the next look (not at once: that would take calls between a
// failed call and its caller's look at GetLastError).
struct GivenUp {
  std::vector<std::wstring> noted;
  std::set<std::wstring> keys;
};
GivenUp& Record() {
  static GivenUp record;
  return record;
}

std::wstring KeyOf(const std::wstring& name) {
  std::wstring key;
  // The name as Windows reads it; one without a full form stays as it is.
  if (name.empty() || !VerbatimForm(name, &key)) key = name;
  while (key.size() > 1 && key.back() == L'\\') key.pop_back();
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  return key;
}

void GiveUpTheRunningPiece() {
  if (g_running != nullptr) Record().noted.push_back(g_running->name());
}

}  // namespace

PieceOfWork::PieceOfWork(const std::wstring& name) : outer_(g_running), name_(name) {
  if (outer_ == nullptr) Record() = GivenUp{};  // a command of its own: nothing given up yet
  g_running = this;
}
PieceOfWork::~PieceOfWork() { g_running = outer_; }

const std::wstring& PieceOfWork::key() {
  if (!keyKnown_) {
    keyKnown_ = true;
    key_ = KeyOf(name_);
  }
  return key_;
}

bool WorkGivenUp() {
  GivenUp& record = Record();
  if (g_running == nullptr || (record.noted.empty() && record.keys.empty())) return false;
  for (const std::wstring& name : record.noted) record.keys.insert(KeyOf(name));
  record.noted.clear();
  return record.keys.count(g_running->key()) != 0;
}

NtStatus NoteStatus(NtStatus status) {
  if (status == kStatusCancelled) GiveUpTheRunningPiece();
  return status;
}

bool NoteResult(bool succeeded) {
  if (!succeeded && GetLastError() == kErrorOperationAborted) GiveUpTheRunningPiece();
  return succeeded;
}
