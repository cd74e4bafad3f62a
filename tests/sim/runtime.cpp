// The simulated machine's runtime section: errors, time, the tool's own
// process settings, environment, command line, local memory, version and
// standard output (runtime.h), with the same results and last-error values
// as the real calls.
#include "sim/runtime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/call.h"
#include "sim/machine.h"

namespace platform {

// ---------------- errors, time ----------------

Dword GetLastError() { return M().lastError; }
void SetLastError(Dword error) { M().lastError = error; }

void Sleep(Dword milliseconds) {
  Call c("Sleep");
  c.m.clock.sleeps.push_back(milliseconds);
  c.m.clock.Advance(milliseconds);
}

bool QueryUnbiasedInterruptTime(std::uint64_t* unbiasedTime) {
  Call c("QueryUnbiasedInterruptTime");
  // The virtual clock is the machine's working time: it never runs while
  // the machine sleeps.
  *unbiasedTime = c.m.clock.now * 10000;
  return true;
}

// ---------------- the process itself ----------------

Dword SetErrorMode(Dword mode) {
  Call c("SetErrorMode");
  const Dword before = c.m.runtime.errorMode;
  c.m.runtime.errorMode = mode;
  return before;
}

bool SetDefaultDllDirectories(Dword directoryFlags) {
  Call c("SetDefaultDllDirectories");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Windows 7 without KB2533623 has no such function.
  if (c.m.runtime.osMajor < 6 || (c.m.runtime.osMajor == 6 && c.m.runtime.osMinor < 2)) {
    return c.Fail(kErrorCallNotImplemented);
  }
  if (directoryFlags == 0) return c.Fail(kErrorInvalidParameter);
  c.m.runtime.defaultDllDirectories = directoryFlags;
  return true;
}

Dword GetModuleFileNameW(wchar_t* fileName, Dword size) {
  Call c("GetModuleFileNameW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring& path = c.m.runtime.modulePath;
  if (size == 0) {
    c.Fail(kErrorInsufficientBuffer);
    return 0;
  }
  // Cut to fit, terminated, with ERROR_INSUFFICIENT_BUFFER and the size.
  if (path.size() >= size) {
    std::copy(path.begin(), path.begin() + (size - 1), fileName);
    fileName[size - 1] = L'\0';
    c.Fail(kErrorInsufficientBuffer);
    return size;
  }
  std::copy(path.begin(), path.end(), fileName);
  fileName[path.size()] = L'\0';
  c.m.lastError = 0;
  return static_cast<Dword>(path.size());
}

bool SetProcessMitigationPolicy(int policy, const void* buffer, std::size_t length) {
  Call c("SetProcessMitigationPolicy");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  // Windows 7 has no such function; the redirection trust policy came with
  // Windows 11 (build 22000): before it the policy is unknown.
  if (c.m.runtime.osMajor < 10) return c.Fail(kErrorCallNotImplemented);
  if (policy != kProcessRedirectionTrustPolicy || length != sizeof(Dword) || c.m.runtime.osBuild < 22000) {
    return c.Fail(kErrorInvalidParameter);
  }
  Dword flags = 0;
  std::memcpy(&flags, buffer, sizeof(flags));
  c.m.runtime.mitigationPolicies.emplace_back(policy, flags);
  return true;
}

// ---------------- environment, command line, version ----------------

Dword ExpandEnvironmentStringsW(const wchar_t* source, wchar_t* destination, Dword size) {
  Call c("ExpandEnvironmentStringsW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return 0;
  }
  const std::wstring s = source;
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'%') {
      const std::size_t end = s.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = c.m.runtime.environment.find(sim::Fold(s.substr(i + 1, end - i - 1)));
        if (it != c.m.runtime.environment.end()) {
          out += it->second;
          i = end;
          continue;
        }
        // An unknown variable stays as written, both percent signs included.
        out += s.substr(i, end - i + 1);
        i = end;
        continue;
      }
    }
    out += s[i];
  }
  const Dword needed = static_cast<Dword>(out.size() + 1);
  if (destination != nullptr && size >= needed) {
    std::copy(out.begin(), out.end(), destination);
    destination[out.size()] = L'\0';
  }
  return needed;
}

const wchar_t* GetCommandLineW() {
  Call c("GetCommandLineW");
  return c.m.runtime.commandLine.c_str();
}

// The argument rules of CommandLineToArgvW: the program name ends at the
// first blank, or at the closing quote when it starts with one, and takes no
// escapes; in later arguments 2n backslashes before a quote give n
// backslashes and the quote opens or closes quoting, 2n+1 give n and a literal
// quote, and "" inside quotes gives a literal quote. An empty command line
// gives the module path alone.
wchar_t** CommandLineToArgvW(const wchar_t* commandLine, int* argumentCount) {
  Call c("CommandLineToArgvW");
  Dword code;
  if (c.Injected(&code)) {
    c.Fail(code);
    return nullptr;
  }
  std::vector<std::wstring> args;
  const wchar_t* p = commandLine;
  if (p == nullptr || *p == L'\0') {
    args.push_back(c.m.runtime.modulePath);
  } else {
    std::wstring a;
    if (*p == L'"') {
      ++p;
      while (*p && *p != L'"') a += *p++;
      if (*p == L'"') ++p;
    } else {
      while (*p && *p != L' ' && *p != L'\t') a += *p++;
    }
    args.push_back(a);
    for (;;) {
      while (*p == L' ' || *p == L'\t') ++p;
      if (!*p) break;
      std::wstring arg;
      bool quoted = false;
      while (*p) {
        if ((*p == L' ' || *p == L'\t') && !quoted) break;
        if (*p == L'\\') {
          std::size_t n = 0;
          while (*p == L'\\') {
            ++n;
            ++p;
          }
          if (*p == L'"') {
            arg.append(n / 2, L'\\');
            if (n % 2) {
              arg += L'"';
              ++p;
            }
          } else {
            arg.append(n, L'\\');
          }
          continue;
        }
        if (*p == L'"') {
          if (quoted && p[1] == L'"') {
            arg += L'"';
            p += 2;
            continue;
          }
          quoted = !quoted;
          ++p;
          continue;
        }
        arg += *p++;
      }
      args.push_back(arg);
    }
  }
  std::size_t chars = 0;
  for (const auto& a : args) chars += a.size() + 1;
  const std::size_t pointers = (args.size() + 1) * sizeof(wchar_t*);
  auto* block = static_cast<unsigned char*>(std::malloc(pointers + chars * sizeof(wchar_t)));
  auto** argv = reinterpret_cast<wchar_t**>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + pointers);
  for (std::size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::copy(args[i].begin(), args[i].end(), text);
    text += args[i].size();
    *text++ = L'\0';
  }
  argv[args.size()] = nullptr;
  c.m.runtime.localAllocations.insert(block);
  *argumentCount = static_cast<int>(args.size());
  return argv;
}

void* LocalFree(void* memory) {
  Call c("LocalFree");
  if (memory == nullptr) return nullptr;
  auto it = c.m.runtime.localAllocations.find(memory);
  if (it == c.m.runtime.localAllocations.end()) {
    c.Fail(kErrorInvalidHandle);
    return memory;
  }
  c.m.runtime.localAllocations.erase(it);
  std::free(memory);
  return nullptr;
}

bool GetVersionExW(OsVersionInfo* info) {
  Call c("GetVersionExW");
  Dword code;
  if (c.Injected(&code)) return c.Fail(code);
  if (info->dwOSVersionInfoSize != kOsVersionInfoSize && info->dwOSVersionInfoSize != 284) {
    return c.Fail(kErrorInsufficientBuffer);
  }
  info->dwMajorVersion = c.m.runtime.osMajor;
  info->dwMinorVersion = c.m.runtime.osMinor;
  info->dwBuildNumber = c.m.runtime.osBuild;
  info->dwPlatformId = 2;
  info->szCSDVersion[0] = L'\0';
  return true;
}

// ---------------- standard output ----------------

void WriteStdout(const wchar_t* text) {
  Call c("WriteStdout");
  c.m.runtime.stdoutText += text;
}

Handle GetStdHandle(Dword stdHandle) {
  Call c("GetStdHandle");
  if (stdHandle != kStdOutputHandle || c.m.runtime.stdoutType == 0) return nullptr;
  return sim::kStdoutHandle;
}

Dword GetFileType(Handle file) {
  Call c("GetFileType");
  return file == sim::kStdoutHandle ? c.m.runtime.stdoutType : 0;
}

}  // namespace platform
