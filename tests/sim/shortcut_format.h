// The bytes the simulated shell link object writes for a shortcut, and
// their reading back.
#pragma once

#include <string>

namespace sim {

std::string ShortcutBytes(const std::wstring& target, const std::wstring& description);
// False for anything else, a cut-off save included.
bool ParseShortcut(const std::string& bytes, std::wstring* target, std::wstring* description);

}  // namespace sim
