// libFuzzer target: registry values fed to the profile walk. The profile
// list's subkeys, their names and their "ProfileImagePath" values (bytes,
// types, lengths, terminators, read failures) come from the input; the walk's
// reads are checked against what the registry holds, then one all-profiles
// command runs through the whole tool under the safety check.
//
// Input (text), one line each:
//   line 1: the command ('a' --admin-remove-shortcuts, 'u' --uninstall
//           VantorelDrive, 'g' --admin-upgrade-startup-shortcut, anything else
//           the walk alone), then flags: 'k' the list key cannot be opened,
//           'q' it cannot be queried, 'e' %EVIL% is defined as "..\..".
//   each further line (at most 12): NAME <tab> FLAGS <tab> VALUE
//           FLAGS: S E B D N the value's type (REG_SZ, REG_EXPAND_SZ,
//           REG_BINARY, REG_DWORD, REG_NONE; REG_EXPAND_SZ when none), 'u' no
//           terminating zero, 'o' an odd byte count, 'L' repeated past 4096
//           bytes, 'm' no value at all, 'q' the value cannot be read, 'k' the
//           key cannot be opened, 'f' the list's enumeration fails here.
//           VALUE: the text; '~' stands for a zero unit.
#include <cstdint>
#include <set>

#include "app/app.h"
#include "fuzz_input.h"
#include "platform/platform.h"
#include "profiles/profile_list.h"
#include "safety_check.h"
#include "sim/typical_machine.h"

namespace {

using platform::Dword;

constexpr std::size_t kMaxProfiles = 12;
constexpr std::size_t kMaxValueBytes = 6000;

void BuildMachine(sim::Machine& m) {
  sim::TypicalMachine::Build(m);
  sim::TypicalMachine::AddProfile(m, L"S-1-5-21-1-1-1-1002", L"bob", L"C:\\Users\\bob");
  sim::TypicalMachine::AddProfile(m, L"S-1-5-21-1-1-1-1003", L"carol", L"D:\\Profiles\\carol");
  for (const wchar_t* dir : {L"C:\\Users\\alice", L"C:\\Users\\bob", L"D:\\Profiles\\carol",
                             L"C:\\Windows\\system32\\config\\systemprofile"}) {
    const std::wstring d = dir;
    m.files.AddFile(d + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Vantorel Drive.lnk");
    m.files.AddFile(d + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Other.lnk");
    m.files.AddFile(d + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Vantorel\\Vantorel Drive.lnk");
    m.files.AddFile(d + L"\\Desktop\\Zarek Tolv.lnk");
    m.files.AddFile(d + L"\\Desktop\\notes.txt");
    m.files.AddFile(d + L"\\AppData\\Local\\VantorelDrive\\settings.json");
    m.files.AddFile(d + L"\\AppData\\Local\\VantorelDrive\\sub\\log.txt", platform::kFileAttributeHidden);
    m.files.AddDirectoryLink(d + L"\\AppData\\Local\\VantorelDrive\\windows", L"C:\\Windows");
    m.files.AddFile(d + L"\\AppData\\Local\\Other\\keep");
    m.files.AddFile(d + L"\\Documents\\thesis.docx");
  }
  m.files.AddFile(L"C:\\Windows\\system32\\kernel32.dll");
  m.files.AddFile(L"C:\\AppData\\Local\\VantorelDrive\\not-a-profile");
  m.files.AddFile(L"C:\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Vantorel Drive.lnk");
}

// Replaces the profile list's subkeys with those the input describes.
void FillProfileList(sim::Machine& m, const std::vector<std::wstring>& lines) {
  sim::RegKeyNode& list = m.registry.Key(sim::TypicalMachine::kProfileList);
  list.subkeys.clear();
  std::set<std::wstring> names;
  for (std::size_t i = 1; i < lines.size() && list.subkeys.size() < kMaxProfiles; ++i) {
    const std::wstring& line = lines[i];
    const std::size_t tab1 = line.find(L'\t');
    const std::size_t tab2 = tab1 == std::wstring::npos ? std::wstring::npos : line.find(L'\t', tab1 + 1);
    std::wstring name = line.substr(0, tab1);
    const std::wstring flags =
        tab1 == std::wstring::npos
            ? L""
            : line.substr(tab1 + 1, tab2 == std::wstring::npos ? std::wstring::npos : tab2 - tab1 - 1);
    std::wstring value = tab2 == std::wstring::npos ? L"" : line.substr(tab2 + 1);
    // Registry key names are never empty, hold no backslash and are unique
    // regardless of letter case.
    for (auto& c : name) {
      if (c == L'\\' || c == L'\0') c = L'_';
    }
    if (name.empty()) name = L"_";
    while (!names.insert(sim::Fold(name)).second) name += L"+";

    auto key = std::make_unique<sim::RegKeyNode>();
    key->name = name;
    Dword type = platform::kRegExpandSz;
    for (wchar_t f : flags) {
      if (f == L'S') type = platform::kRegSz;
      if (f == L'B') type = platform::kRegBinary;
      if (f == L'D') type = platform::kRegDword;
      if (f == L'N') type = platform::kRegNone;
    }
    for (auto& c : value) {
      if (c == L'~') c = L'\0';
    }
    if (flags.find(L'L') != std::wstring::npos && !value.empty()) {
      while (value.size() * sizeof(wchar_t) <= 4096) value += value;
    }
    std::vector<std::uint8_t> bytes = sim::StringBytes(value, flags.find(L'u') == std::wstring::npos);
    if (flags.find(L'o') != std::wstring::npos && !bytes.empty()) bytes.pop_back();
    if (bytes.size() > kMaxValueBytes) bytes.resize(kMaxValueBytes);
    if (flags.find(L'm') == std::wstring::npos) {
      sim::RegValue v;
      v.type = type;
      v.bytes = std::move(bytes);
      if (flags.find(L'q') != std::wstring::npos) v.queryResult = platform::kErrorAccessDenied;
      key->values[sim::Fold(L"ProfileImagePath")] = std::move(v);
    }
    if (flags.find(L'k') != std::wstring::npos) key->openResult = platform::kErrorAccessDenied;
    if (flags.find(L'f') != std::wstring::npos) list.enumFailIndexes.insert(static_cast<Dword>(list.subkeys.size()));
    list.subkeys.push_back(std::move(key));
  }
  list.childIndexCount = static_cast<std::size_t>(-1);  // changed in place: index again
  const std::wstring header = lines.empty() ? L"" : lines[0];
  if (header.find(L'k', 1) != std::wstring::npos) list.openResult = platform::kErrorAccessDenied;
  if (header.find(L'q', 1) != std::wstring::npos) list.queryInfoResult = platform::kErrorAccessDenied;
  if (header.find(L'e', 1) != std::wstring::npos) m.runtime.SetEnv(L"EVIL", L"..\\..");
}

// The walk's two reads against what the registry holds.
void CheckReads(sim::Machine& m) {
  const sim::RegKeyNode& list = *m.registry.FindKey(sim::TypicalMachine::kProfileList);
  std::vector<std::wstring> listed;
  const bool opened = ListProfileKeys(&listed);
  std::vector<std::wstring> expected;
  if (list.queryInfoResult == 0) {
    for (std::size_t i = 0; i < list.subkeys.size(); ++i) {
      if (!list.enumFailIndexes.count(static_cast<Dword>(i))) expected.push_back(list.subkeys[i]->name);
    }
  }
  if (opened != (list.openResult == 0) || (opened && listed != expected)) {
    fuzz::Fail("the profile list was not enumerated as the registry holds it", {});
  }
  for (const auto& key : list.subkeys) {
    const std::wstring marker = L"\x01marker";
    std::wstring directory = marker;
    const bool read = ReadProfileImagePath(std::wstring(kProfileListKey) + L"\\" + key->name, &directory);
    // (The simulated registry also refuses a path through a key it refuses.)
    std::wstring want;
    const bool readable = list.openResult == 0 && hostile::ProfileDirectoryOf(m, *key, &want);
    if (readable ? (!read || directory != want) : (read || directory != marker)) {
      fuzz::Fail("ProfileImagePath of '" + hostile::Printable(key->name) + "' read as \"" +
                     hostile::Printable(directory) + "\" (" + (read ? "read" : "not read") + "), expected \"" +
                     hostile::Printable(readable ? want : marker) + "\"",
                 {});
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::wstring> lines = fuzz::Lines(fuzz::WideText(data, size));
  sim::Reset();
  sim::Machine& m = sim::machine();
  BuildMachine(m);
  FillProfileList(m, lines);
  CheckReads(m);

  std::vector<std::wstring> args = {L"client-maintenance.exe"};
  switch (lines[0].empty() ? L' ' : lines[0][0]) {
    case L'a':
      args.push_back(L"--admin-remove-shortcuts");
      break;
    case L'u':
      args.insert(args.end(), {L"--uninstall", L"VantorelDrive"});
      break;
    case L'g':
      args.push_back(L"--admin-upgrade-startup-shortcut");
      break;
    default:
      return 0;
  }
  m.runtime.commandLine = hostile::CommandLineOf(args);
  hostile::SafetyCheck check(m, args);
  RunClientMaintenance();
  const std::vector<std::string> violations = check.Violations(m);
  if (!violations.empty()) fuzz::Fail("profile list from the input, " + hostile::Printable(args[1]), violations);
  return 0;
}
