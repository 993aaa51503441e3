// A fresh folder per test, removed afterwards, with paths in the program's
// Windows form ('\' separators), which the doubles accept.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quillet::config::testing {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("quillet-config-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Native() const { return path_; }
  // The folder as the program would name it: "\tmp\...\name".
  std::wstring Windows(const std::string& name = {}) const {
    std::wstring text = (name.empty() ? path_ : path_ / name).wstring();
    for (wchar_t& ch : text) {
      if (ch == L'/') ch = L'\\';
    }
    return text;
  }

  void WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }
  std::string ReadBytes(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quillet::config::testing
