// A DLL planted beside the tool under the name of a system DLL that is not a
// KnownDLL (userenv.dll, profapi.dll, wtsapi32.dll): when any process loads
// it, it leaves "<its own path>.loaded" beside itself. It exports the
// functions a program would import from those DLLs, so that a program that
// imports them statically starts with it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" {
__declspec(dllexport) BOOL WINAPI CreateEnvironmentBlock(void**, HANDLE, BOOL) { return FALSE; }
__declspec(dllexport) BOOL WINAPI DestroyEnvironmentBlock(void*) { return FALSE; }
__declspec(dllexport) BOOL WINAPI WTSEnumerateSessionsW(HANDLE, DWORD, DWORD, void**, DWORD*) { return FALSE; }
__declspec(dllexport) void WINAPI WTSFreeMemory(void*) {}
__declspec(dllexport) BOOL WINAPI WTSQueryUserToken(ULONG, HANDLE*) { return FALSE; }
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8];
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcatW(path, L".loaded");
  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
