// One owner per handle: tiny move-only wrappers, one per kind of invalid
// value. Closing keeps the caller's last-error value intact, so a failure
// code read after a scope ends is the code of the failing call.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace platform {

template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  T get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // For out-parameters: closes what is held and hands out the slot.
  T* put() {
    reset();
    return &value_;
  }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) {
      const Dword lastError = GetLastError();
      Traits::Close(old);
      SetLastError(lastError);
    }
  }

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // processes, threads, tokens: null when invalid
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};
struct FileHandleTraits {  // files and folders: INVALID_HANDLE_VALUE when invalid, closed with CloseHandle
  static Handle Invalid() { return InvalidHandleValue(); }
  static void Close(Handle h) { CloseHandle(h); }
};
struct RegKeyTraits {
  static RegKey Invalid() { return nullptr; }
  static void Close(RegKey k) { RegCloseKey(k); }
};
struct ShellLinkTraits {
  static ShellLink Invalid() { return nullptr; }
  static void Close(ShellLink l) { ShellLinkRelease(l); }
};
struct PersistStreamTraits {
  static PersistStream Invalid() { return nullptr; }
  static void Close(PersistStream p) { PersistStreamRelease(p); }
};
struct StreamTraits {
  static Stream Invalid() { return nullptr; }
  static void Close(Stream s) { StreamRelease(s); }
};
struct EnvironmentBlockTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* e) { DestroyEnvironmentBlock(e); }
};

struct ServiceHandleTraits {  // the service control manager and its services
  static ScHandle Invalid() { return nullptr; }
  static void Close(ScHandle h) { CloseServiceHandle(h); }
};

// Memory the system allocated for the tool: LocalAlloc memory (the argument
// vector of CommandLineToArgvW), WTS memory (a session list) and LSA memory
// (a logon session's record).
template <typename T>
struct LocalMemoryTraits {
  static T Invalid() { return nullptr; }
  static void Close(T m) { LocalFree(m); }
};
template <typename T>
struct WtsMemoryTraits {
  static T Invalid() { return nullptr; }
  static void Close(T m) { WTSFreeMemory(m); }
};

template <typename T>
struct LsaMemoryTraits {
  static T Invalid() { return nullptr; }
  static void Close(T m) { LsaFreeReturnBuffer(m); }
};

using UniqueHandle = UniqueResource<Handle, KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<Handle, FileHandleTraits>;
using UniqueRegKey = UniqueResource<RegKey, RegKeyTraits>;
using UniqueShellLink = UniqueResource<ShellLink, ShellLinkTraits>;
using UniquePersistStream = UniqueResource<PersistStream, PersistStreamTraits>;
using UniqueStream = UniqueResource<Stream, StreamTraits>;
using UniqueEnvironmentBlock = UniqueResource<void*, EnvironmentBlockTraits>;
using UniqueServiceHandle = UniqueResource<ScHandle, ServiceHandleTraits>;
template <typename T>
using UniqueLocalMemory = UniqueResource<T, LocalMemoryTraits<T>>;
template <typename T>
using UniqueWtsMemory = UniqueResource<T, WtsMemoryTraits<T>>;
template <typename T>
using UniqueLsaMemory = UniqueResource<T, LsaMemoryTraits<T>>;

// The two handles a process start hands out (PROCESS_INFORMATION), each
// with its owner from the moment the start returns.
struct StartedProcess {
  explicit StartedProcess(const ProcessInformation& started) : process(started.hProcess), thread(started.hThread) {}
  UniqueHandle process;
  UniqueHandle thread;
};

}  // namespace platform
