#include "app/interactive_user_token.h"

#include "platform/handles.h"
#include "process/process_lookup.h"

using namespace platform;

namespace {
Handle g_interactiveUserToken = nullptr;
constexpr const wchar_t* kShellExecutable = L"explorer.exe";
}  // namespace

void OpenInteractiveUserToken() {
  Dword session = 0;
  // Without its own session the tool cannot tell which desktop is its own:
  // it takes no token rather than a shell of whatever session 0 would match.
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return;
  const std::vector<Dword> shells = FindProcessesByName(kShellExecutable, session);
  if (shells.empty()) return;
  UniqueHandle process(OpenProcess(kProcessQueryInformation, /*inheritHandle=*/false, shells.front()));
  if (!process) return;
  Handle token = nullptr;
  if (OpenProcessToken(process.get(), kTokenQuery | kTokenImpersonate, &token)) g_interactiveUserToken = token;
}

void CloseInteractiveUserToken() {
  if (g_interactiveUserToken != nullptr) {
    CloseHandle(g_interactiveUserToken);
    g_interactiveUserToken = nullptr;
  }
}

Handle InteractiveUserToken() { return g_interactiveUserToken; }
