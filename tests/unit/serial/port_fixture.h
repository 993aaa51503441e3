// A port on a virtual COM1 of the serial double, with a journal that handlers
// and links write to so tests can check the order of notifications.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "os/sim/serial_sim.h"
#include "serial/com_error.h"
#include "serial/com_port.h"

namespace quillet::serial::test {

using os::sim::SimCall;

class PortTest : public ::testing::Test {
 protected:
  PortTest() {
    sim.AddPort(L"COM1");
    sim.AddPort(L"COM2");
    port = std::make_unique<TComPort>(nullptr, sim);
  }

  // Every port handler writes its name (and argument) to the journal.
  void JournalHandlers() {
    port->SetOnBeforeOpen([this](TObject*) { journal.push_back("BeforeOpen"); });
    port->SetOnAfterOpen([this](TObject*) { journal.push_back("AfterOpen"); });
    port->SetOnBeforeClose([this](TObject*) { journal.push_back("BeforeClose"); });
    port->SetOnAfterClose([this](TObject*) { journal.push_back("AfterClose"); });
    port->SetOnCTSChange(
        [this](TObject*, bool on) { journal.push_back(std::string("CTS ") + Bit(on)); });
    port->SetOnDSRChange(
        [this](TObject*, bool on) { journal.push_back(std::string("DSR ") + Bit(on)); });
    port->SetOnRLSDChange(
        [this](TObject*, bool on) { journal.push_back(std::string("RLSD ") + Bit(on)); });
  }

  // A link whose signal handlers write "<name> <what> <0|1>".
  std::unique_ptr<TComLink> JournalLink(const std::string& name) {
    auto link = std::make_unique<TComLink>();
    link->SetOnConn(
        [this, name](TObject*, bool on) { journal.push_back(name + " Conn " + Bit(on)); });
    link->SetOnCTSChange(
        [this, name](TObject*, bool on) { journal.push_back(name + " CTS " + Bit(on)); });
    link->SetOnDSRChange(
        [this, name](TObject*, bool on) { journal.push_back(name + " DSR " + Bit(on)); });
    link->SetOnRLSDChange(
        [this, name](TObject*, bool on) { journal.push_back(name + " RLSD " + Bit(on)); });
    return link;
  }

  // Opens COM1 and forgets the calls that took.
  void OpenQuietly() {
    port->Open();
    ASSERT_TRUE(port->Connected());
    sim.ClearCalls();
  }

  // The device calls, less the event thread's own waits: those run
  // concurrently with the test and their number depends on timing.
  std::vector<std::string> Calls() const {
    std::vector<std::string> names;
    for (const std::string& name : sim.DeviceCallNames()) {
      if (name != "WaitCommEvent" && name != "GetOverlappedResult") names.push_back(name);
    }
    return names;
  }

  static const char* Bit(bool on) { return on ? "1" : "0"; }

  // Declared before the port: destroying the port closes it, and its
  // handlers still write here.
  std::vector<std::string> journal;
  os::sim::SimSerial sim;
  std::unique_ptr<TComPort> port;
};

// The DCB a new port hands to the device.
inline os::Dcb DefaultDcb() {
  os::Dcb d;
  d.DCBlength = 28;
  d.BaudRate = 9600;
  d.fBinary = 1;
  d.XonLim = 256;
  d.XoffLim = 256;
  d.ByteSize = 8;
  d.XonChar = 17;
  d.XoffChar = 19;
  return d;
}

}  // namespace quillet::serial::test
