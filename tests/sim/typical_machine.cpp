#include "sim/typical_machine.h"

#include "platform/platform.h"
#include "sim/names.h"

namespace sim {

using namespace platform;

void TypicalMachine::Build(Machine& m) {
  // The idle and System processes, as on every machine: neither can be opened
  // for its module list.
  Process& idle = m.processes.AddProcess(L"[System Process]", 0, 0);
  idle.pid = 0;
  idle.deniedAccess = 0xFFFFFFFF;
  Process& system = m.processes.AddProcess(L"System", 0, 4);
  system.nameReadable = false;
  system.user = L"SYSTEM";
  // The tool itself runs elevated as SYSTEM in the interactive session, as an
  // installer's custom action does.
  m.processes.Self().session = 1;
  m.processes.Self().user = L"SYSTEM";

  m.files.AddDirectory(L"C:\\Windows\\system32");
  m.files.AddFile(L"C:\\Windows\\explorer.exe");
  m.files.AddDirectory(L"C:\\Program Files");
  m.files.AddDirectory(L"C:\\Program Files (x86)");
  m.files.AddDirectory(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
  m.files.AddDirectory(L"C:\\Users\\Public\\Desktop");

  m.shell.SetFolder(L"", kCsidlCommonPrograms, L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
  m.shell.SetFolder(L"", kCsidlCommonDesktopDirectory, L"C:\\Users\\Public\\Desktop");
  m.shell.SetFolder(L"", kCsidlWindows, L"C:\\Windows");
  m.shell.SetFolder(L"", kCsidlProgramFiles, L"C:\\Program Files");
  m.shell.SetFolder(L"", kCsidlProgramFilesX86, L"C:\\Program Files (x86)");

  m.runtime.SetEnv(L"SystemDrive", L"C:");
  m.runtime.SetEnv(L"SystemRoot", L"C:\\Windows");
  m.runtime.SetEnv(L"windir", L"C:\\Windows");
  m.runtime.SetEnv(L"ProgramData", L"C:\\ProgramData");
  m.runtime.SetEnv(L"PUBLIC", L"C:\\Users\\Public");

  m.registry.Key(kProfileList);
  AddProfile(m, L"S-1-5-18", L"SYSTEM", L"%systemroot%\\system32\\config\\systemprofile");
  AddProfile(m, L"S-1-5-19", L"LOCAL SERVICE", L"%systemroot%\\ServiceProfiles\\LocalService");
  AddProfile(m, L"S-1-5-20", L"NETWORK SERVICE", L"%systemroot%\\ServiceProfiles\\NetworkService");
  AddProfile(m, L"S-1-5-21-1004336348-1177238915-682003330-1001", L"alice", L"%SystemDrive%\\Users\\alice");

  Process& explorer = m.processes.AddProcess(L"explorer.exe", 1);
  explorer.user = L"alice";
  m.windows.AddWindow(explorer.pid, true);

  // The services' session, where no one signs in, and alice's.
  m.users.sessions = {{0, kWtsDisconnected, L""}, {1, kWtsActive, L"alice"}};
  m.files.AddFile(m.runtime.modulePath);
}

void TypicalMachine::AddProfile(Machine& m, const std::wstring& sid, const std::wstring& user,
                                const std::wstring& profileDir, Dword type) {
  const std::wstring key = std::wstring(kProfileList) + L"\\" + sid;
  m.registry.SetString(key, L"ProfileImagePath", profileDir, type);
  // Expand the stored path the way the machine's environment would.
  std::wstring dir;
  for (std::size_t i = 0; i < profileDir.size(); ++i) {
    if (profileDir[i] == L'%') {
      const std::size_t end = profileDir.find(L'%', i + 1);
      if (end != std::wstring::npos) {
        auto it = m.runtime.environment.find(Fold(profileDir.substr(i + 1, end - i - 1)));
        if (it != m.runtime.environment.end()) {
          dir += it->second;
          i = end;
          continue;
        }
      }
    }
    dir += profileDir[i];
  }
  const std::wstring programs = dir + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  m.files.AddDirectory(programs + L"\\Startup");
  m.files.AddDirectory(dir + L"\\Desktop");
  m.files.AddDirectory(dir + L"\\AppData\\Local");
  m.files.FindNode(dir)->owner = user;  // a profile folder is its user's
  m.shell.SetFolder(user, kCsidlProfile, dir);
  m.shell.SetFolder(user, kCsidlPrograms, programs);
  m.shell.SetFolder(user, kCsidlStartup, programs + L"\\Startup");
  m.shell.SetFolder(user, kCsidlDesktopDirectory, dir + L"\\Desktop");
}

}  // namespace sim
