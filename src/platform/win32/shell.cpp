// The Win32 side of the seam's shell section: shell folders and shell
// launches (shell32), the shell link object and the memory stream it saves
// into (ole32).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/watchdog.h"
#include "platform/win32/windows_types.h"

static_assert(sizeof(std::uint64_t) == sizeof(ULARGE_INTEGER) && sizeof(platform::Dword) == sizeof(ULONG),
              "IStream::Seek and IStream::Read outputs");

namespace platform {

using win32::H;
using win32::P;
using win32::W;

namespace {

IShellLinkW* L(ShellLink l) { return reinterpret_cast<IShellLinkW*>(l); }
IPersistStream* PS(PersistStream p) { return reinterpret_cast<IPersistStream*>(p); }
IStream* S(Stream s) { return reinterpret_cast<IStream*>(s); }

}  // namespace

HResult SHGetFolderPathW(Hwnd owner, int csidl, Handle token, Dword flags, wchar_t* path) {
  const ::win32::CallWatch watch;
  return ::SHGetFolderPathW(W(owner), csidl, H(token), flags, path);
}

HResult CoInitialize(void* reserved) {
  const ::win32::CallWatch watch;
  return ::CoInitialize(reserved);
}
HResult CreateShellLink(ShellLink* link) {
  const ::win32::CallWatch watch;
  IShellLinkW* l = nullptr;
  const HRESULT hr =
      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&l));
  if (hr == S_OK) *link = reinterpret_cast<ShellLink>(l);
  return hr;
}
HResult ShellLinkSetPath(ShellLink link, const wchar_t* path) {
  const ::win32::CallWatch watch;
  return L(link)->SetPath(path);
}
HResult ShellLinkSetDescription(ShellLink link, const wchar_t* description) {
  const ::win32::CallWatch watch;
  return L(link)->SetDescription(description);
}
HResult ShellLinkQueryPersistStream(ShellLink link, PersistStream* persistStream) {
  const ::win32::CallWatch watch;
  IPersistStream* p = nullptr;
  const HRESULT hr = L(link)->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&p));
  if (hr == S_OK) *persistStream = reinterpret_cast<PersistStream>(p);
  return hr;
}
HResult PersistStreamSave(PersistStream persistStream, Stream stream, bool clearDirty) {
  const ::win32::CallWatch watch;
  return PS(persistStream)->Save(S(stream), clearDirty ? TRUE : FALSE);
}
Dword PersistStreamRelease(PersistStream persistStream) {
  const ::win32::CallWatch watch;
  return PS(persistStream)->Release();
}
HResult CreateStreamOnHGlobal(bool deleteOnRelease, Stream* stream) {
  const ::win32::CallWatch watch;
  IStream* s = nullptr;
  const HRESULT hr = ::CreateStreamOnHGlobal(nullptr, deleteOnRelease ? TRUE : FALSE, &s);
  if (hr == S_OK) *stream = reinterpret_cast<Stream>(s);
  return hr;
}
HResult StreamSeek(Stream stream, std::int64_t move, Dword origin, std::uint64_t* newPosition) {
  const ::win32::CallWatch watch;
  LARGE_INTEGER distance;
  distance.QuadPart = move;
  return S(stream)->Seek(distance, origin, reinterpret_cast<ULARGE_INTEGER*>(newPosition));
}
HResult StreamRead(Stream stream, void* buffer, Dword bytes, Dword* bytesRead) {
  const ::win32::CallWatch watch;
  return S(stream)->Read(buffer, bytes, reinterpret_cast<ULONG*>(bytesRead));
}
Dword StreamRelease(Stream stream) {
  const ::win32::CallWatch watch;
  return S(stream)->Release();
}
Dword ShellLinkRelease(ShellLink link) {
  const ::win32::CallWatch watch;
  return L(link)->Release();
}

}  // namespace platform
