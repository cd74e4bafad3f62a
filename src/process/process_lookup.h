// Which running processes have a given executable name, optionally within
// one Windows session. A fresh snapshot on every call; nothing is cached.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// A session to restrict a look-up to; empty means every session.
using SessionFilter = std::optional<platform::Dword>;

// The identifiers of every process whose main executable's base name equals
// name (letter case ignored) and that runs in the filter's session, in the
// system's enumeration order. Never fails: any failure gives a shorter or
// empty list. With a filter, processes of other sessions are never opened.
std::vector<platform::Dword> FindProcessesByName(const std::wstring& name, SessionFilter session);

// The base file name of the process's main executable (its first module).
// On failure returns false and leaves name as it was.
bool GetProcessBaseName(platform::Dword processId, std::wstring* name);

// Whether two names are equal regardless of letter case: same length, and
// every pair of units equal after the standard library's upper-casing.
bool NamesEqualIgnoreCase(const std::wstring& a, const std::wstring& b);
