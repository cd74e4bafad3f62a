#include "process/user_session.h"

#include <cstddef>
#include <cwchar>

#include "common/decimal_text.h"
#include "common/ignore_case.h"

using namespace platform;

namespace {

constexpr Dword kSidBufferBytes = 68;         // SECURITY_MAX_SID_SIZE
constexpr Dword kDomainNameCharacters = 256;  // DNLEN + 1 is 16; a fully qualified one may be longer
// S-1-16-8192: the medium mandatory level, as a SID's bytes (revision 1, one
// sub-authority, authority SECURITY_MANDATORY_LABEL_AUTHORITY, rid 0x2000).
alignas(4) const unsigned char kMediumIntegritySid[] = {1, 1, 0, 0, 0, 0, 0, 16, 0x00, 0x20, 0, 0};

// One string a session query gives; empty when it cannot be read.
std::wstring SessionString(Dword session, int infoClass) {
  UniqueWtsMemory<wchar_t*> text;
  Dword bytes = 0;
  if (!WTSQuerySessionInformationW(session, infoClass, text.put(), &bytes) || !text) return L"";
  return std::wstring(text.get(), wcsnlen(text.get(), bytes / sizeof(wchar_t)));
}

}  // namespace

bool OwnSessionId(Dword* session) { return ProcessIdToSessionId(GetCurrentProcessId(), session); }

bool ReadSessionUserNames(Dword session, SessionUserNames* names) {
  SessionUserNames read{SessionString(session, kWtsUserName), L""};
  if (read.user.empty()) return false;
  read.domain = SessionString(session, kWtsDomainName);
  *names = std::move(read);
  return true;
}

std::wstring FullName(const SessionUserNames& names) {
  return names.domain.empty() ? names.user : names.domain + L"\\" + names.user;
}

std::wstring SidText(const Sid& sid) {
  if (sid.size() < 8) return L"S-?";
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
  std::wstring text = L"S-" + DecimalText(sid[0]) + L"-" + DecimalText(static_cast<std::int64_t>(authority));
  for (std::size_t at = 8; at + 4 <= sid.size(); at += 4) {
    const std::uint32_t part =
        sid[at] | sid[at + 1] << 8 | sid[at + 2] << 16 | static_cast<std::uint32_t>(sid[at + 3]) << 24;
    text += L"-" + DecimalText(part);
  }
  return text;
}

LogonMatch MatchSessionLogon(Handle token, const SessionUserNames& names) {
  TokenStatistics statistics{};
  Dword returned = 0;
  if (!GetTokenInformation(token, kTokenStatistics, &statistics, sizeof(statistics), &returned)) {
    return LogonMatch::kSomebodyElse;
  }
  UniqueLsaMemory<LogonSessionData*> logon;
  const NtStatus status = LsaGetLogonSessionData(&statistics.AuthenticationId, logon.put());
  if (status == kStatusNotImplemented) return LogonMatch::kNotRecorded;
  if (status != kStatusSuccess || !logon) return LogonMatch::kSomebodyElse;
  auto text = [](const UnicodeString& s) {
    return s.Buffer == nullptr ? std::wstring() : std::wstring(s.Buffer, s.Length / sizeof(wchar_t));
  };
  // Every logon has a user's name; a record without one is no record (Wine
  // 8 answers with an empty one).
  if (text(logon.get()->UserName).empty()) return LogonMatch::kNotRecorded;
  const bool hers = NamesEqualIgnoreCase(text(logon.get()->UserName), names.user) &&
                    (names.domain.empty() || NamesEqualIgnoreCase(text(logon.get()->LogonDomain), names.domain));
  return hers ? LogonMatch::kSessionUser : LogonMatch::kSomebodyElse;
}

bool TokenUserSid(Handle token, Sid* sid) {
  // TOKEN_USER: a SID_AND_ATTRIBUTES whose SID follows in the same buffer.
  alignas(8) unsigned char buffer[sizeof(SidAndAttributes) + kSidBufferBytes];
  Dword returned = 0;
  if (!GetTokenInformation(token, kTokenUser, buffer, sizeof(buffer), &returned)) return false;
  const auto* bytes = static_cast<const unsigned char*>(reinterpret_cast<const SidAndAttributes*>(buffer)->Sid);
  // A SID is 8 bytes and 4 per sub-authority; the system's is well formed.
  const std::size_t length = 8 + 4 * std::size_t{bytes[1]};
  sid->assign(bytes, bytes + length);
  return true;
}

bool LookUpAccountSid(const SessionUserNames& names, Sid* sid) {
  const std::wstring account = FullName(names);
  Sid found(kSidBufferBytes);
  Dword sidBytes = kSidBufferBytes;
  wchar_t domainName[kDomainNameCharacters];
  Dword domainCharacters = kDomainNameCharacters;
  int use = 0;
  if (!LookupAccountNameW(/*systemName=*/nullptr, account.c_str(), found.data(), &sidBytes, domainName,
                          &domainCharacters, &use)) {
    return false;
  }
  found.resize(sidBytes);
  *sid = std::move(found);
  return true;
}

bool TokenBelongsTo(Handle token, const Sid& sid) {
  Sid user;
  return !sid.empty() && TokenUserSid(token, &user) && EqualSid(user.data(), const_cast<unsigned char*>(sid.data()));
}

bool TokenIsElevated(Handle token) {
  Dword elevated = 1;  // TOKEN_ELEVATION
  Dword returned = 0;
  if (!GetTokenInformation(token, kTokenElevation, &elevated, sizeof(elevated), &returned)) return true;
  return elevated != 0;
}

bool NormalUserTokenFromOwn(UniqueHandle* token) {
  SaferLevel level = nullptr;
  if (!SaferCreateLevel(kSaferScopeIdUser, kSaferLevelIdNormalUser, kSaferLevelOpen, &level)) return false;
  UniqueHandle restricted;
  // A null token: the calling process's own.
  const bool computed = SaferComputeTokenFromLevel(level, /*inToken=*/nullptr, restricted.put(), /*flags=*/0);
  SaferCloseLevel(level);
  if (!computed) return false;
  // The restricted token keeps the tool's high mandatory level; a process
  // the user at the desktop starts has medium.
  TokenMandatoryLabel label{};
  label.Label.Sid = const_cast<unsigned char*>(kMediumIntegritySid);
  label.Label.Attributes = kSeGroupIntegrity;
  if (!SetTokenInformation(restricted.get(), kTokenIntegrityLevel, &label,
                           static_cast<Dword>(sizeof(label) + sizeof(kMediumIntegritySid)))) {
    return false;
  }
  *token = std::move(restricted);
  return true;
}

bool StartProcessAsUser(Handle primaryToken, StartCall call, const UserProcessStart& start, UniqueHandle* process) {
  // The user's own variables only: nothing of the elevated or SYSTEM
  // environment the tool runs with is passed on.
  UniqueEnvironmentBlock environment;
  Dword flags = start.creationFlags | kCreateDefaultErrorMode;
  if (CreateEnvironmentBlock(environment.put(), primaryToken, /*inherit=*/false)) {
    flags |= kCreateUnicodeEnvironment;
  } else if (start.userEnvironmentRequired) {
    return false;
  }
  StartupInfo startup{};
  startup.dwFlags = kStartfUseShowWindow;
  startup.wShowWindow = kSwHide;
  startup.lpDesktop = start.desktop;
  const wchar_t* currentFolder = start.currentFolder.empty() ? nullptr : start.currentFolder.c_str();
  ProcessInformation started{};
  auto create = [&](Dword creationFlags) {
    // The call may write into the command line's buffer: a fresh one each time.
    std::wstring commandLine = L"\"" + start.executable + L"\"" + start.arguments;
    return call == StartCall::kWithToken
               ? CreateProcessWithTokenW(primaryToken, kLogonWithProfile, start.executable.c_str(), &commandLine[0],
                                         creationFlags, environment.get(), currentFolder, startup, &started)
               : CreateProcessAsUserW(primaryToken, start.executable.c_str(), &commandLine[0], creationFlags,
                                      environment.get(), currentFolder, startup, &started);
  };
  bool ok = create(flags);
  if (!ok && call == StartCall::kAsUser) {
    // A job's processes must stay in one session: a deployment agent that
    // runs installers inside a job keeps the tool from starting anything in
    // another session unless the start leaves the job, where the job allows
    // that.
    bool inJob = false;
    if (IsProcessInJob(GetCurrentProcess(), /*job=*/nullptr, &inJob) && inJob)
      ok = create(flags | kCreateBreakawayFromJob);
  }
  if (!ok) return false;
  StartedProcess owned(started);
  *process = std::move(owned.process);
  return true;
}
