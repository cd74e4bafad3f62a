// Imports CreateEnvironmentBlock from userenv.dll the ordinary way, as the
// tool once did: shows that a userenv.dll planted beside a program that
// imports it is loaded (where the system does so).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <userenv.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  void* environment = nullptr;
  if (CreateEnvironmentBlock(&environment, nullptr, FALSE)) DestroyEnvironmentBlock(environment);
  return 0;
}
