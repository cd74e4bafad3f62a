// libFuzzer target: the command line, through the tool's real start-up and
// dispatch, on a hostile simulated machine; every run is checked with the
// same safety check as the property test.
//
// Input (text): the first line is the seed of the machine (decimal); the
// rest is either one raw command line (when it has no further line feed) or
// one argument per line, element 0 (the program) first, which is quoted into
// a command line. So both the splitting and every argument, "-timeout"
// values and "--uninstall" names included, are fuzzed.
#include <cstdint>

#include "app/app.h"
#include "fuzz_input.h"
#include "platform/platform.h"
#include "safety_check.h"
#include "sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = fuzz::WideText(data, size);
  const std::size_t firstLine = text.find(L'\n');
  const std::uint64_t seed = fuzz::LeadingNumber(text);
  const std::wstring rest = firstLine == std::wstring::npos ? L"" : text.substr(firstLine + 1);
  const std::wstring line = rest.find(L'\n') == std::wstring::npos ? rest : hostile::CommandLineOf(fuzz::Lines(rest));

  // The arguments as the tool will see them, split on a scratch machine.
  sim::Reset();
  int argc = 0;
  wchar_t** argv = platform::CommandLineToArgvW(line.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + argc);
  platform::LocalFree(argv);

  // The clients end within a minute, so that "--stop" with any time-out ends.
  sim::Reset();
  hostile::Options options;
  options.clientsEndWithinAMinute = true;
  hostile::Generate(seed, sim::machine(), options);
  sim::machine().runtime.commandLine = line;
  hostile::SafetyCheck check(sim::machine(), args);
  RunClientMaintenance();
  const std::vector<std::string> violations = check.Violations(sim::machine());
  if (!violations.empty()) {
    fuzz::Fail("machine seed " + std::to_string(seed) + ", command line \"" + hostile::Printable(line) + "\"",
               violations);
  }
  return 0;
}
