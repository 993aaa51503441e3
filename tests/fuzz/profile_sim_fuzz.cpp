// The profile-file emulation on any file: rewriting settles, and a write
// into any file reads back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/sim/profile_sim.h"
#include "os/sim/profile_sim_file.h"
#include "tests/fuzz/fuzz_input.h"

using quillet::fuzz::Require;
namespace sim = quillet::os::sim;

namespace {

std::string Bom(const std::string& bytes) {
  for (const char* bom : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (bytes.rfind(bom, 0) == 0) return bom;
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Like Wine, the first rewrite may keep a line that reads as blank (a key
  // named by a NUL) and the next drops it; after that nothing changes.
  const std::string once = sim::SerializeProfile(sim::ParseProfile(bytes));
  const std::string twice = sim::SerializeProfile(sim::ParseProfile(once));
  const std::string thrice = sim::SerializeProfile(sim::ParseProfile(twice));
  // (Unless a rewrite starts with what reads as a byte-order mark: below.)
  const bool sameEncoding = Bom(bytes) == Bom(once) && Bom(once) == Bom(twice);
  if (sameEncoding) Require(twice == thrice);

  static const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                            ("quillet-fuzz-" + std::to_string(::getpid()) + ".ini");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  std::wstring windowsPath = file.wstring();
  for (wchar_t& ch : windowsPath) {
    if (ch == L'/') ch = L'\\';
  }
  sim::SimProfile profile;
  profile.GetPrivateProfileStringW(L"skener1", L"Port", L"COM1", 2048, windowsPath);
  const auto written =
      profile.WritePrivateProfileStringW(L"skener1", L"BaudRate", L"19200", windowsPath);
  // Not for every file, as with Wine: an ANSI file whose text begins like a
  // byte-order mark ("\xFF\xFE") reads as another encoding once rewritten,
  // and a NUL can end a name just after a blank that a later read trims.
  if (written.ok && sameEncoding && bytes.find('\0') == std::string::npos) {
    Require(
        profile.GetPrivateProfileStringW(L"skener1", L"BaudRate", L"", 2048, windowsPath).value ==
        L"19200");
  }
  return 0;
}
