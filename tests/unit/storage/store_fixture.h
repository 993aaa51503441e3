// A port named skener1 on the serial double, storing through the profile
// emulation into a fresh folder and through the registry double.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "os/sim/profile_sim.h"
#include "os/sim/registry_sim.h"
#include "os/sim/serial_sim.h"
#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/com_storage.h"
#include "tests/unit/config/temp_folder.h"

namespace quillet::serial::test {

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() {
    serial.AddPort(L"COM1");
    serial.AddPort(L"COM2");
    port = NewPort();
  }

  std::unique_ptr<TComPort> NewPort() {
    auto p = std::make_unique<TComPort>(nullptr, serial);
    p->SetName(L"skener1");
    p->SetStorageApis(&apis);
    return p;
  }

  std::wstring File() const { return folder.Windows("skeneri.ini"); }
  std::string FileBytes() const { return folder.ReadBytes("skeneri.ini"); }
  void WriteFile(const std::string& bytes) const { folder.WriteBytes("skeneri.ini", bytes); }

  // The error code LoadSettings or StoreSettings raised; 0 when none.
  template <class F>
  static int ComErrorOf(F&& action) {
    try {
      action();
    } catch (const EComPort& e) {
      EXPECT_EQ(e.WinCode(), -1);
      return e.Code();
    }
    return 0;
  }

  os::sim::SimSerial serial;
  os::sim::SimProfile profile;
  os::sim::SimRegistry registry;
  TComStorageApis apis{profile, registry};
  config::testing::TempFolder folder;
  std::unique_ptr<TComPort> port;
};

}  // namespace quillet::serial::test
