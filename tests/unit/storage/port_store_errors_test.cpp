// What storing and loading report when they fail, and what stays done.
#include "tests/unit/storage/store_fixture.h"

namespace quillet::serial::test {
namespace {

// The profile emulation, refusing every write after the first `allowed`.
class FailingProfile final : public os::ProfileApi {
 public:
  explicit FailingProfile(int allowed) : allowed_(allowed) {}
  os::ProfileString GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                             const std::wstring& def, os::Dword size,
                                             const std::wstring& file) override {
    return real_.GetPrivateProfileStringW(section, key, def, size, file);
  }
  os::ProfileWriteResult WritePrivateProfileStringW(const std::wstring& section,
                                                    const std::wstring& key,
                                                    const std::wstring& value,
                                                    const std::wstring& file) override {
    if (allowed_-- <= 0) return {false, os::kErrorAccessDenied};
    return real_.WritePrivateProfileStringW(section, key, value, file);
  }

 private:
  int allowed_;
  os::sim::SimProfile real_;
};

TEST_F(StoreTest, FailedWriteReports16AndKeepsTheKeysWritten) {
  FailingProfile failing(2);
  TComStorageApis failingApis(failing, registry);
  port->SetStorageApis(&failingApis);
  EXPECT_EQ(ComErrorOf([&] { port->StoreSettings(TStoreType::stIniFile, File()); }), 16);
  EXPECT_EQ(FileBytes(), "[skener1]\r\nPort=COM1\r\nBaudRate=9600\r\n");

  registry.FailWrites(os::kErrorAccessDenied);
  EXPECT_EQ(ComErrorOf([&] {
              port->StoreSettings(TStoreType::stRegistry, L"HKEY_CURRENT_USER\\Software\\Q");
            }),
            16);
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(StoreTest, UnwritablePathReports16WithTheStoreMessage) {
  try {
    port->StoreSettings(TStoreType::stIniFile, folder.Windows("no-such-folder\\skeneri.ini"));
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.Code(), 16);
    EXPECT_EQ(e.Message(), L"Failed to store settings");
  }
}

TEST_F(StoreTest, WithoutStorageServicesStoringIs16AndLoadingIs17) {
  auto bare = std::make_unique<TComPort>(nullptr, serial);
  bare->SetName(L"skener2");
  EXPECT_EQ(ComErrorOf([&] { bare->StoreSettings(TStoreType::stIniFile, File()); }), 16);
  EXPECT_EQ(ComErrorOf([&] { bare->LoadSettings(TStoreType::stIniFile, File()); }), 17);
  // The update opened for the load was closed again: changes reach an open port.
  bare->Open();
  serial.ClearCalls();
  bare->SetBaudRate(TBaudRate::br19200);
  EXPECT_EQ(serial.State(L"COM1").BaudRate, 19200u);
}

TEST_F(StoreTest, FailedReopenUnderTheLoadedNameReports17AndKeepsWhatWasApplied) {
  // The port name is applied first; reopening under a name that is not there fails.
  WriteFile("[skener1]\r\nPort=COM9\r\nBaudRate=19200\r\n");
  port->Open();
  EXPECT_EQ(ComErrorOf([&] { port->LoadSettings(TStoreType::stIniFile, File()); }), 17);
  EXPECT_EQ(port->Port(), L"COM9");
  EXPECT_FALSE(port->Connected());
}

TEST_F(StoreTest, FailedFinalApplyReports17AfterTheUpdateHasEnded) {
  WriteFile("[skener1]\r\nBaudRate=19200\r\nDataBits=7\r\n");
  port->Open();
  serial.FailNext(os::sim::SimCall::SetCommState, os::kErrorGenFailure);
  EXPECT_EQ(ComErrorOf([&] { port->LoadSettings(TStoreType::stIniFile, File()); }), 17);
  EXPECT_EQ(port->BaudRate(), TBaudRate::br19200);
  EXPECT_EQ(port->DataBits(), TDataBits::dbSeven);
  // Not left inside the update: the next change reaches the device at once.
  port->SetDataBits(TDataBits::dbSix);
  EXPECT_EQ(serial.State(L"COM1").ByteSize, 6);
  EXPECT_EQ(serial.State(L"COM1").BaudRate, 19200u);
}

TEST_F(StoreTest, WithOnExceptionTheFailureGoesToTheHandlerInstead) {
  std::vector<TComExceptions> seen;
  port->SetOnException([&seen](TObject*, TComExceptions kind, const std::wstring&,
                               std::int64_t winError, const std::wstring& winMessage) {
    seen.push_back(kind);
    EXPECT_LE(winError, 0);
    EXPECT_TRUE(winMessage.empty());
  });
  port->StoreSettings(TStoreType::stIniFile, folder.Windows("missing\\x.ini"));
  port->SetStorageApis(nullptr);
  port->LoadSettings(TStoreType::stIniFile, File());
  EXPECT_EQ(seen, (std::vector<TComExceptions>{TComExceptions::CE_StoreFailed,
                                               TComExceptions::CE_LoadFailed}));
}

}  // namespace
}  // namespace quillet::serial::test
