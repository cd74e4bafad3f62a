// A shortcut as the simulated shell link object saves it: a tag, then the
// target and the description, each ended by a zero unit.
#include "sim/shortcut_format.h"

#include <cstring>

namespace sim {

namespace {
constexpr const char kShortcutTag[] = "SIMLNK1";
void PutText(std::string& out, const std::wstring& text) {
  for (wchar_t c : text) out.append(reinterpret_cast<const char*>(&c), sizeof(c));
  const wchar_t zero = 0;
  out.append(reinterpret_cast<const char*>(&zero), sizeof(zero));
}
bool TakeText(const std::string& in, std::size_t* at, std::wstring* text) {
  text->clear();
  while (*at + sizeof(wchar_t) <= in.size()) {
    wchar_t c;
    std::memcpy(&c, in.data() + *at, sizeof(c));
    *at += sizeof(c);
    if (c == 0) return true;
    *text += c;
  }
  return false;
}
}  // namespace

std::string ShortcutBytes(const std::wstring& target, const std::wstring& description) {
  std::string out(kShortcutTag, sizeof(kShortcutTag));
  PutText(out, target);
  PutText(out, description);
  return out;
}

bool ParseShortcut(const std::string& bytes, std::wstring* target, std::wstring* description) {
  if (bytes.compare(0, sizeof(kShortcutTag), std::string(kShortcutTag, sizeof(kShortcutTag))) != 0) return false;
  std::size_t at = sizeof(kShortcutTag);
  std::wstring t, d;
  if (!TakeText(bytes, &at, &t) || !TakeText(bytes, &at, &d) || at != bytes.size()) return false;
  *target = t;
  *description = d;
  return true;
}

}  // namespace sim
