// Differential test: every scenario runs once through the emulation and once
// through the system's own profile functions, each on its own copy of the
// file; every result and the file's bytes after every step must be equal.
#include "profile_diff.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "os/sim/profile_sim.h"
#include "os/win32/profile_win32.h"

namespace quillet::profile_diff {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Hex(const std::optional<std::string>& bytes, std::size_t from) {
  if (!bytes) return "(no file)";
  std::string out = "@";
  out += std::to_string(from);
  out += ":";
  char digits[4];
  for (std::size_t i = from; i < bytes->size() && i < from + 48; ++i) {
    std::snprintf(digits, sizeof digits, " %02X", static_cast<unsigned char>((*bytes)[i]));
    out += digits;
  }
  return out + " (" + std::to_string(bytes->size()) + " bytes)";
}

std::size_t FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i < 8 ? 0 : i - 8;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t ch : text.substr(0, 60))
    out.push_back(ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?');
  return text.size() > 60 ? out + "..." : out;
}

class ProfileDiffTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() / ("quillet-profile-" + std::to_string(::GetCurrentProcessId()));
    // Non-ASCII folder names prove the emulation's wide paths.
    fs::create_directories(root_ / L"sim-\u00E9\u4E2D");
    fs::create_directories(root_ / L"system-\u00E9\u4E2D");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
};

TEST_P(ProfileDiffTest, EmulationMatchesTheSystem) {
  const Scenario& scenario = GetParam();
  // A file name of its own per scenario, so the system's profile cache never
  // mistakes one scenario's file for another's.
  const std::string name = std::to_string(::GetTickCount64()) + "-" +
                           std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                           std::to_string(reinterpret_cast<std::uintptr_t>(&scenario)) + ".ini";
  const fs::path folder = scenario.missingFolder ? fs::path("missing") : fs::path();
  const fs::path simFile = root_ / L"sim-\u00E9\u4E2D" / folder / name;
  const fs::path systemFile = root_ / L"system-\u00E9\u4E2D" / folder / name;
  if (scenario.initial) {
    std::ofstream(simFile, std::ios::binary) << *scenario.initial;
    std::ofstream(systemFile, std::ios::binary) << *scenario.initial;
  }

  os::sim::SimProfile sim;
  os::win32::Win32ProfileApi system;
  int step = 0;
  for (const Op& op : scenario.ops) {
    const char* what = op.kind == Op::Kind::kWrite  ? " write ["
                       : op.kind == Op::Kind::kRead ? " read ["
                                                    : " delete [";
    SCOPED_TRACE("step " + std::to_string(step++) + what + Narrow(op.section) + "] " +
                 Narrow(op.key) + " = " + Narrow(op.value));
    if (op.kind == Op::Kind::kDeleteSection) {
      const auto expected = system.DeletePrivateProfileSection(op.section, systemFile.wstring());
      const auto actual = sim.DeletePrivateProfileSection(op.section, simFile.wstring());
      EXPECT_EQ(actual.ok, expected.ok);
      if (!expected.ok) {
        EXPECT_EQ(actual.error, expected.error);
      }
    } else if (op.kind == Op::Kind::kWrite) {
      const auto expected =
          system.WritePrivateProfileStringW(op.section, op.key, op.value, systemFile.wstring());
      const auto actual =
          sim.WritePrivateProfileStringW(op.section, op.key, op.value, simFile.wstring());
      EXPECT_EQ(actual.ok, expected.ok);
      if (!expected.ok) {
        EXPECT_EQ(actual.error, expected.error);
      }
    } else {
      const auto expected = system.GetPrivateProfileStringW(op.section, op.key, op.value,
                                                            op.bufferSize, systemFile.wstring());
      const auto actual = sim.GetPrivateProfileStringW(op.section, op.key, op.value, op.bufferSize,
                                                       simFile.wstring());
      EXPECT_EQ(actual.count, expected.count);
      EXPECT_EQ(actual.value, expected.value) << "system: " << Narrow(expected.value);
    }
    const auto expectedBytes = FileBytes(systemFile);
    const auto actualBytes = FileBytes(simFile);
    if (expectedBytes != actualBytes) {
      const std::size_t from =
          expectedBytes && actualBytes ? FirstDifference(*expectedBytes, *actualBytes) : 0;
      ADD_FAILURE() << "files differ\n system: " << Hex(expectedBytes, from)
                    << "\n    sim: " << Hex(actualBytes, from);
      break;
    }
  }
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
  std::string out = std::to_string(info.index) + "_";
  for (char ch : info.param.name)
    out.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
  return out;
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileDiffTest, ::testing::ValuesIn(Scenarios()), ScenarioName);

}  // namespace
}  // namespace quillet::profile_diff
