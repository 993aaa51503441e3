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

inline const TStoredProps kAllGroups = TStoredProps::All();

// Every stored setting changed from its default.
inline void SetEverything(TCustomComPort& p) {
  p.SetPort(L"COM2");
  p.SetBaudRate(TBaudRate::brCustom);
  p.SetCustomBaudRate(31250);
  p.SetStopBits(TStopBits::sbTwoStopBits);
  p.SetDataBits(TDataBits::dbSeven);
  p.Parity().SetBits(TParityBits::prMark);
  p.SetEventChar(L'\n');
  p.SetDiscardNull(true);
  p.Parity().SetCheck(true);
  p.Parity().SetReplace(true);
  p.Parity().SetReplaceChar(L'?');
  p.Buffer().SetOutputSize(4096);
  p.Buffer().SetInputSize(2048);
  p.Timeouts().SetReadInterval(7);
  p.Timeouts().SetReadTotalConstant(-20);
  p.Timeouts().SetReadTotalMultiplier(3);
  p.Timeouts().SetWriteTotalConstant(500);
  p.Timeouts().SetWriteTotalMultiplier(9);
  TComFlowControl& f = p.FlowControl();
  f.SetControlRTS(TRTSFlowControl::rtsToggle);
  f.SetControlDTR(TDTRFlowControl::dtrHandshake);
  f.SetDSRSensitivity(true);
  f.SetOutCTSFlow(true);
  f.SetOutDSRFlow(true);
  f.SetTxContinueOnXoff(true);
  f.SetXonXoffIn(true);
  f.SetXonXoffOut(false);
  f.SetXoffChar(L' ');
  f.SetXonChar(L'A');
}

inline void ExpectSameSettings(const TCustomComPort& a, const TCustomComPort& b) {
  EXPECT_EQ(a.Port(), b.Port());
  EXPECT_EQ(a.BaudRate(), b.BaudRate());
  EXPECT_EQ(a.CustomBaudRate(), b.CustomBaudRate());
  EXPECT_EQ(a.StopBits(), b.StopBits());
  EXPECT_EQ(a.DataBits(), b.DataBits());
  EXPECT_EQ(a.EventChar(), b.EventChar());
  EXPECT_EQ(a.DiscardNull(), b.DiscardNull());
  EXPECT_EQ(a.Parity().Bits(), b.Parity().Bits());
  EXPECT_EQ(a.Parity().Check(), b.Parity().Check());
  EXPECT_EQ(a.Parity().Replace(), b.Parity().Replace());
  EXPECT_EQ(a.Parity().ReplaceChar(), b.Parity().ReplaceChar());
  EXPECT_EQ(a.Buffer().OutputSize(), b.Buffer().OutputSize());
  EXPECT_EQ(a.Buffer().InputSize(), b.Buffer().InputSize());
  EXPECT_EQ(a.Timeouts().ReadInterval(), b.Timeouts().ReadInterval());
  EXPECT_EQ(a.Timeouts().ReadTotalConstant(), b.Timeouts().ReadTotalConstant());
  EXPECT_EQ(a.Timeouts().ReadTotalMultiplier(), b.Timeouts().ReadTotalMultiplier());
  EXPECT_EQ(a.Timeouts().WriteTotalConstant(), b.Timeouts().WriteTotalConstant());
  EXPECT_EQ(a.Timeouts().WriteTotalMultiplier(), b.Timeouts().WriteTotalMultiplier());
  const TComFlowControl& f = a.FlowControl();
  const TComFlowControl& g = b.FlowControl();
  EXPECT_EQ(f.ControlRTS(), g.ControlRTS());
  EXPECT_EQ(f.ControlDTR(), g.ControlDTR());
  EXPECT_EQ(f.DSRSensitivity(), g.DSRSensitivity());
  EXPECT_EQ(f.OutCTSFlow(), g.OutCTSFlow());
  EXPECT_EQ(f.OutDSRFlow(), g.OutDSRFlow());
  EXPECT_EQ(f.TxContinueOnXoff(), g.TxContinueOnXoff());
  EXPECT_EQ(f.XonXoffIn(), g.XonXoffIn());
  EXPECT_EQ(f.XonXoffOut(), g.XonXoffOut());
  EXPECT_EQ(f.XoffChar(), g.XoffChar());
  EXPECT_EQ(f.XonChar(), g.XonChar());
}

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
