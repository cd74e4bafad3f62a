// The process entry of the product. The parameters are ignored: the tool
// reads its command line itself, and its exit code is always 0.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

#include "app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunClientMaintenance(); }

// The runtime's verbose terminate handler prints the type of an uncaught
// exception and pulls the C++ name demangler into the executable. The only
// exception this tool can meet is an exhausted allocation, which ends the run
// either way, so a plain abort does the same job in a fraction of the size.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
