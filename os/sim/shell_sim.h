// A shell double: the application-data folder is whatever the test sets (or
// nothing, as when the shell fails); folders and files are real, so a test
// points it at a temporary folder. Paths use '\' as the program builds them.
#pragma once

#include <string>

#include "os/shell_api.h"

namespace quillet::os::sim {

class SimShell final : public ShellApi {
 public:
  void SetAppDataFolder(std::wstring folder) { appData_ = std::move(folder); }
  void FailAppDataFolder() { appData_.clear(); }

  std::wstring AppDataFolder() override { return appData_; }
  bool DirectoryExists(const std::wstring& path) override;
  bool MakeDirectory(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;

 private:
  std::wstring appData_;
};

}  // namespace quillet::os::sim
