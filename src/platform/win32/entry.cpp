// The process entry of the product. The parameters are ignored: the tool
// reads its command line itself, and its exit code is always 0.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/app.h"
#include "platform/win32/unattended.h"
#include "platform/win32/watchdog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  InstallUnattendedEndings();
  win32::StartWatchdog();
  return RunClientMaintenance();
}
