// client-maintenance-ca.dll: the Windows Installer custom action through
// which the example MSI (examples/msi/vantorel-drive.wxs) runs
// client-maintenance.exe.
//
// RunClientMaintenance is meant to be scheduled as a deferred, not
// impersonated custom action (it then runs as SYSTEM); its CustomActionData,
// the value of the property named like the action, holds the tool's arguments,
// for example "--uninstall VantorelDrive". The DLL carries the tool as a
// resource, and each call:
//  1. writes it to a new folder of its own in the temporary folder (for
//     SYSTEM, C:\Windows\Temp), whose access list lets only SYSTEM, the
//     administrators and the folder's owner change anything: nobody else
//     can replace the copy or plant a DLL beside it before it runs
//     elevated. The users may read and run it: "--stop" from SYSTEM's
//     session 0 starts this very copy in each signed-in user's session, as
//     that user;
//  2. runs it with those arguments, no window, standard output and standard
//     error read through a pipe, the current folder its own folder;
//  3. writes each line of that output, then the exit code, to the
//     installation log (msiexec /l*v) with MsiProcessMessage;
//  4. deletes the copy and its folder.
// So the tool is on disk before InstallFiles (to stop an older client on a
// first installation) and after RemoveFolders (where no copy in the
// installation folder may hold the maker folder it is to remove), and its
// output, which Windows Installer never collects from an EXE custom action,
// reaches the log.
//
// It always returns ERROR_SUCCESS: a clean-up step must never fail, or roll
// back, an installation. Whatever goes wrong is written to the log.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>

#include <string>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this DLL's own module

namespace {

constexpr wchar_t kToolResource[] = L"CLIENT_MAINTENANCE";
constexpr wchar_t kToolName[] = L"client-maintenance.exe";
constexpr wchar_t kFolderPrefix[] = L"VantorelDrive-maintenance-";
// Protected access list, inherited by the copy: full access for SYSTEM, the
// administrators and the owner (the account that creates the folder); read
// and execute, nothing more, for the users (BUILTIN\Users, which holds every
// signed-in account), so that the copies "--stop" starts as each user can run.
constexpr wchar_t kPrivateFolderAcl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;FRFX;;;BU)";
constexpr int kFolderAttempts = 100;
// Deleting an image right after its process ended can briefly fail while the
// system still maps it; try a few times.
constexpr int kDeleteAttempts = 20;
constexpr DWORD kDeleteRetryMs = 100;

// One line in the installation log. The text goes in field 1 and the
// template is "[1]": a template is formatted, so brackets and backslashes
// in the text itself would be taken as properties and escapes.
void LogLine(MSIHANDLE session, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"[1]");
  MsiRecordSetStringW(record, 1, text.c_str());
  MsiProcessMessage(session, INSTALLMESSAGE_INFO, record);
}

std::wstring ErrorText(const wchar_t* what, DWORD error) {
  return std::wstring(kToolName) + L": " + what + L" failed, error " + std::to_wstring(error);
}

std::wstring CustomActionData(MSIHANDLE session) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  if (MsiGetPropertyW(session, L"CustomActionData", empty, &size) != ERROR_MORE_DATA) return L"";
  std::vector<wchar_t> value(size + 1);
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(session, L"CustomActionData", value.data(), &size) != ERROR_SUCCESS) return L"";
  return std::wstring(value.data(), size);
}

// Makes a new folder in the temporary folder, open to SYSTEM, the
// administrators and its owner only. True and `folder` set on success.
bool MakePrivateFolder(std::wstring* folder, DWORD* error) {
  wchar_t temp[MAX_PATH + 1] = L"";
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) {
    *error = GetLastError();
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderAcl, SDDL_REVISION_1, &descriptor, nullptr)) {
    *error = GetLastError();
    return false;
  }
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor, FALSE};
  bool made = false;
  for (int attempt = 0; attempt < kFolderAttempts && !made; ++attempt) {
    const std::wstring candidate = std::wstring(temp) + kFolderPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(attempt);
    // A folder that already exists is never used: someone else made it.
    if (CreateDirectoryW(candidate.c_str(), &security)) {
      *folder = candidate;
      made = true;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = GetLastError();
      break;
    }
  }
  LocalFree(descriptor);
  return made;
}

// Writes the tool carried as a resource to `path`, which must not exist.
bool WriteTool(const std::wstring& path, DWORD* error) {
  const HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
  HRSRC resource = FindResourceW(self, kToolResource, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = resource ? LoadResource(self, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = resource ? SizeofResource(self, resource) : 0;
  if (bytes == nullptr || size == 0) {
    *error = GetLastError();
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
  if (!ok) *error = GetLastError();
  CloseHandle(file);
  return ok;
}

// Runs `exe` with `arguments` in `folder`, collecting what it writes to
// standard output and standard error. True with the exit code on success.
bool RunCaptured(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder,
                 std::string* output, DWORD* exitCode, DWORD* error) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    *error = GetLastError();
    return false;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul == INVALID_HANDLE_VALUE ? nullptr : nul;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, /*inherit=*/TRUE,
                                      CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process);
  if (!started) *error = GetLastError();
  // Only the child may hold the write end now, so the reads below end when
  // the child (and anything it passed the handle to) has ended.
  CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) output->append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return started;
}

// The tool writes its lines in the ANSI code page, or, with "-verbose" (its
// decision log), in UTF-8; one log line each.
void LogOutput(MSIHANDLE session, const std::string& output, bool utf8) {
  if (output.empty()) return;
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  const int n = MultiByteToWideChar(codePage, 0, output.data(), static_cast<int>(output.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, output.data(), static_cast<int>(output.size()), &text[0], n);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    LogLine(session, std::wstring(kToolName) + L": " + line);
    start = end + 1;
  }
}

void DeleteWithRetry(const std::wstring& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
    Sleep(kDeleteRetryMs);
  }
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunClientMaintenance(MSIHANDLE session) {
  const std::wstring arguments = CustomActionData(session);
  LogLine(session, std::wstring(L"Running ") + kToolName + L" " + arguments);
  std::wstring folder;
  DWORD error = 0;
  if (!MakePrivateFolder(&folder, &error)) {
    LogLine(session, ErrorText(L"making a private temporary folder", error));
    return ERROR_SUCCESS;
  }
  const std::wstring exe = folder + L"\\" + kToolName;
  if (!WriteTool(exe, &error)) {
    LogLine(session, ErrorText(L"writing the tool", error));
  } else {
    std::string output;
    DWORD exitCode = 0;
    if (RunCaptured(exe, arguments, folder, &output, &exitCode, &error)) {
      LogOutput(session, output, (L" " + arguments + L" ").find(L" -verbose ") != std::wstring::npos);
      LogLine(session, std::wstring(kToolName) + L" " + arguments + L": exit code " + std::to_wstring(exitCode));
    } else {
      LogLine(session, ErrorText(L"starting the tool", error));
    }
  }
  DeleteWithRetry(exe);
  RemoveDirectoryW(folder.c_str());
  return ERROR_SUCCESS;
}
