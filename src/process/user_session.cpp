#include "process/user_session.h"

using namespace platform;

bool OwnSessionId(Dword* session) { return ProcessIdToSessionId(GetCurrentProcessId(), session); }

bool StartProcessAsUser(Handle primaryToken, StartCall call, const UserProcessStart& start, UniqueHandle* process) {
  // The user's own variables only: nothing of the elevated or SYSTEM
  // environment the tool runs with is passed on.
  UniqueEnvironmentBlock environment;
  Dword flags = start.creationFlags;
  if (CreateEnvironmentBlock(environment.put(), primaryToken, /*inherit=*/false)) {
    flags |= kCreateUnicodeEnvironment;
  } else if (start.userEnvironmentRequired) {
    return false;
  }
  // The call may write into the command line's buffer.
  std::wstring commandLine = L"\"" + start.executable + L"\"" + start.arguments;
  StartupInfo startup{};
  startup.dwFlags = kStartfUseShowWindow;
  startup.wShowWindow = kSwHide;
  startup.lpDesktop = start.desktop;
  const wchar_t* currentFolder = start.currentFolder.empty() ? nullptr : start.currentFolder.c_str();
  ProcessInformation started{};
  const bool ok =
      call == StartCall::kWithToken
          ? CreateProcessWithTokenW(primaryToken, kLogonWithProfile, start.executable.c_str(), &commandLine[0], flags,
                                    environment.get(), currentFolder, startup, &started)
          : CreateProcessAsUserW(primaryToken, start.executable.c_str(), &commandLine[0], flags, environment.get(),
                                 currentFolder, startup, &started);
  if (!ok) return false;
  StartedProcess owned(started);
  *process = std::move(owned.process);
  return true;
}
