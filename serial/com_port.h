// The serial port object: its settings, handlers, links and error report
// (com_port.cpp), and its opening, closing and line set-up (com_port_open.cpp).
// Everything here runs on the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "os/serial_api.h"
#include "serial/com_async.h"
#include "serial/com_objects.h"
#include "serial/com_types.h"
#include "serial/component.h"

namespace quillet::serial {

class TComThread;
class TPortWindow;

class TCustomComPort : public TComponent {
 public:
  TCustomComPort(TComponent* AOwner, os::SerialApi& api);
  // Closes the port first; never throws (see the definition).
  ~TCustomComPort() override;

  std::wstring ClassName() const override { return L"TCustomComPort"; }
  os::SerialApi& Api() const { return FApi; }

  // --- opening and closing ---
  void Open();
  void Close();
  bool Connected() const { return FConnected; }
  void SetConnected(bool value);
  os::Handle Handle() const { return FHandle.Get(); }

  // --- settings ---
  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate value);
  int CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(int value);
  const std::wstring& Port() const { return FPort; }
  // Reopens an open port under the new name.
  void SetPort(const std::wstring& value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return FDiscardNull; }
  void SetDiscardNull(bool value);
  // Only the low 8 bits reach the device.
  wchar_t EventChar() const { return FEventChar; }
  void SetEventChar(wchar_t value);
  // How the event thread holds received bytes before it hands them over
  // (TRxGathering); takes effect at once, also on an open port. While it is
  // on with a terminator, the driver's event character is that terminator
  // (EventChar itself, and what is stored of it, stay as they are).
  const TRxGathering& RxGathering() const { return FRxGathering; }
  void SetRxGathering(const TRxGathering& value);
  // While paused, received bytes stay in the driver, whose buffer and the
  // line's flow control hold what comes: the event thread no longer waits
  // for them and no OnRxChar is made. Other events go on. Resuming hands
  // over what waits at once. Kept across a close and an open.
  bool RxPaused() const { return FRxPaused; }
  void SetRxPaused(bool value);
  // Takes effect at the next open.
  TComEvents Events() const { return FEvents; }
  void SetEvents(TComEvents value) { FEvents = value; }

  // The sub-objects; their own setters apply their group. The Set forms copy
  // all fields and apply the group once.
  TComParity& Parity() { return FParity; }
  const TComParity& Parity() const { return FParity; }
  void SetParity(const TComParity& value);
  TComFlowControl& FlowControl() { return FFlowControl; }
  const TComFlowControl& FlowControl() const { return FFlowControl; }
  void SetFlowControl(const TComFlowControl& value);
  TComTimeouts& Timeouts() { return FTimeouts; }
  const TComTimeouts& Timeouts() const { return FTimeouts; }
  void SetTimeouts(const TComTimeouts& value);
  TComBuffer& Buffer() { return FBuffer; }
  const TComBuffer& Buffer() const { return FBuffer; }
  void SetBuffer(const TComBuffer& value);

  TStoredProps StoredProps() const { return FStoredProps; }
  void SetStoredProps(TStoredProps value) { FStoredProps = value; }
  // Reads false while a link with OnRxBuf is registered; refused then (22).
  bool TriggersOnRxChar() const { return FTriggersOnRxChar && !FHasLink; }
  void SetTriggersOnRxChar(bool value);
  // Both refused while open (14).
  TSyncMethod SyncMethod() const { return FSyncMethod; }
  void SetSyncMethod(TSyncMethod value);
  TThreadPriority EventThreadPriority() const { return FEventThreadPriority; }
  void SetEventThreadPriority(TThreadPriority value);
  std::uint32_t CodePage() const { return FCodePage; }
  void SetCodePage(std::uint32_t value) { FCodePage = value; }

  // --- updates and links ---
  void BeginUpdate() { ++FUpdateCount; }
  // The final EndUpdate applies all settings at once.
  void EndUpdate();
  void RegisterLink(TComLink* AComLink);
  void UnRegisterLink(TComLink* AComLink);
  const std::vector<TComLink*>& Links() const { return FLinks; }

  // --- queries and line control (com_io.cpp) ---
  // Each makes one system call and reports its own code when that fails;
  // with OnException assigned a failed query returns 0 or the empty set.
  // Bytes received and not yet read, including those the event thread is
  // still gathering (a read gets those with their delivery).
  int InputCount();                           // ClearCommError; 10
  int OutputCount();                          // ClearCommError; 10
  TComSignals Signals();                      // GetCommModemStatus; 11
  TComStateFlags StateFlags();                // ClearCommError; 10
  TComErrors LastErrors();                    // ClearCommError, clears them; 10
  void SetDTR(bool OnOff);                    // EscapeCommFunction; 12
  void SetRTS(bool OnOff);                    // 12
  void SetXonXoff(bool OnOff);                // 12
  void SetBreak(bool OnOff);                  // 12
  void ClearBuffer(bool Input, bool Output);  // PurgeComm; 5
  void TransmitChar(wchar_t Ch);              // low 8 bits; TransmitCommChar; 13
  // Ends every outstanding read and write of all callers (PurgeComm
  // TXABORT|RXABORT); 5.
  void AbortAllAsync();

  // --- transfers (com_async.cpp, com_text.cpp) ---
  // Asynchronous: start on a record from AllocAsync, then WaitForAsync; the
  // buffer stays valid and untouched until the wait has returned. The
  // result is the byte count done at once (0 while pending).
  int WriteAsync(const void* Buffer, int Count, PAsync& AsyncPtr);
  int ReadAsync(void* Buffer, int Count, PAsync& AsyncPtr);
  // Packs Str into bytes (low 8 bits of each code unit) in its own storage,
  // which becomes the write's buffer; Str no longer holds its text.
  int WriteStrAsync(std::wstring& Str, PAsync& AsyncPtr);
  // Str becomes Count bytes long and receives the read.
  int ReadStrAsync(std::string& Str, int Count, PAsync& AsyncPtr);
  // Waits for the operation; the bytes it moved.
  int WaitForAsync(PAsync& AsyncPtr);
  bool IsAsyncCompleted(PAsync AsyncPtr);
  // Blocking forms; the result is the bytes moved.
  int Write(const void* Buffer, int Count);
  int Read(void* Buffer, int Count);
  // One byte per character (its low 8 bits); the caller's text is untouched.
  int WriteStr(std::wstring Str);
  // One character per byte, equal to the byte's value; no code page.
  int ReadStr(std::wstring& Str, int Count);
  // Converted with CodePage (0: the system's ANSI code page).
  int WriteUnicodeString(const std::wstring& Str);
  int ReadUnicodeString(std::wstring& Str, int Count);

  // --- events (com_dispatch.cpp) ---
  // For a port without event thread (20 otherwise): waits up to Timeout ms
  // (-1 without limit) for one of Events, or for StopEvent (0 for none);
  // Events returns what was caught, empty after a time-out; 21 on failure.
  void WaitForEvent(TComEvents& Events, os::Handle StopEvent, int Timeout);
  // The hidden window's delivery of one event (its Windows bit); only while
  // the port is open.
  void DeliverWindowEvent(os::Dword eventBit);

  // The single error report of every port operation: raises EComPort, or,
  // with OnException assigned, calls it and returns so the operation goes
  // on. winError > 0 is the Windows error of the failed call.
  void RaiseComError(TComExceptions error, std::int64_t winError);
  // The same by number (1 to 24), for callers that hold one.
  void RaiseComError(std::uint16_t code, std::int64_t winError);

  void Loaded() override;

  // --- handlers ---
  const TRxCharEvent& OnRxChar() const { return FOnRxChar; }
  void SetOnRxChar(TRxCharEvent value) { FOnRxChar = std::move(value); }
  const TRxBufEvent& OnRxBuf() const { return FOnRxBuf; }
  void SetOnRxBuf(TRxBufEvent value) { FOnRxBuf = std::move(value); }
  const TNotifyEvent& OnTxEmpty() const { return FOnTxEmpty; }
  void SetOnTxEmpty(TNotifyEvent value) { FOnTxEmpty = std::move(value); }
  const TNotifyEvent& OnBreak() const { return FOnBreak; }
  void SetOnBreak(TNotifyEvent value) { FOnBreak = std::move(value); }
  const TNotifyEvent& OnRing() const { return FOnRing; }
  void SetOnRing(TNotifyEvent value) { FOnRing = std::move(value); }
  const TComSignalEvent& OnCTSChange() const { return FOnCTSChange; }
  void SetOnCTSChange(TComSignalEvent value) { FOnCTSChange = std::move(value); }
  const TComSignalEvent& OnDSRChange() const { return FOnDSRChange; }
  void SetOnDSRChange(TComSignalEvent value) { FOnDSRChange = std::move(value); }
  const TComSignalEvent& OnRLSDChange() const { return FOnRLSDChange; }
  void SetOnRLSDChange(TComSignalEvent value) { FOnRLSDChange = std::move(value); }
  const TComErrorEvent& OnError() const { return FOnError; }
  void SetOnError(TComErrorEvent value) { FOnError = std::move(value); }
  const TNotifyEvent& OnRxFlag() const { return FOnRxFlag; }
  void SetOnRxFlag(TNotifyEvent value) { FOnRxFlag = std::move(value); }
  const TNotifyEvent& OnAfterOpen() const { return FOnAfterOpen; }
  void SetOnAfterOpen(TNotifyEvent value) { FOnAfterOpen = std::move(value); }
  const TNotifyEvent& OnAfterClose() const { return FOnAfterClose; }
  void SetOnAfterClose(TNotifyEvent value) { FOnAfterClose = std::move(value); }
  const TNotifyEvent& OnBeforeOpen() const { return FOnBeforeOpen; }
  void SetOnBeforeOpen(TNotifyEvent value) { FOnBeforeOpen = std::move(value); }
  const TNotifyEvent& OnBeforeClose() const { return FOnBeforeClose; }
  void SetOnBeforeClose(TNotifyEvent value) { FOnBeforeClose = std::move(value); }
  const TNotifyEvent& OnRx80Full() const { return FOnRx80Full; }
  void SetOnRx80Full(TNotifyEvent value) { FOnRx80Full = std::move(value); }
  const TComExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TComExceptionEvent value) { FOnException = std::move(value); }
  // The event thread has stopped delivering (an error ended it, or the
  // device keeps refusing to wait: gone); on the user-interface thread.
  const TComThreadErrorEvent& OnThreadError() const { return FOnThreadError; }
  void SetOnThreadError(TComThreadErrorEvent value) { FOnThreadError = std::move(value); }

  // --- settings storage (com_port_store.cpp, types in com_storage.h) and the
  // settings dialog (win32/com_setup_form.cpp) ---
  enum class TStoreType { stRegistry, stIniFile };
  // The profile and registry services storage goes through; the owner keeps
  // them while the port lives. Without them storing reports 16, loading 17.
  void SetStorageApis(const class TComStorageApis* value) { FStorageApis = value; }
  // The groups of StoredProps into the section (or registry key) named
  // after the port; any failure is reported as 16, keys written stay.
  void StoreSettings(TStoreType StoreType, const std::wstring& StoreTo);
  // Reads and applies them inside one update; any failure, also that of the
  // final apply, is reported as 17 once the update has ended.
  void LoadSettings(TStoreType StoreType, const std::wstring& LoadFrom);
  // Tells objects bound to this port (the settings lists) of its end.
  class TComFreeNotifier& FreeNotifier();

 protected:
  virtual void StoreRegistry(class TComRegistry& Reg);
  virtual void StoreIniFile(class TComIniFile& IniFile);
  virtual void LoadRegistry(TComRegistry& Reg);
  virtual void LoadIniFile(TComIniFile& IniFile);

  const TComStorageApis* FStorageApis = nullptr;
  std::shared_ptr<TComFreeNotifier> FFreeNotifier;

  // The lines a GetCommModemStatus result reports on (com_io.cpp).
  static TComSignals SignalsOf(os::Dword status);

 protected:
  // Device handle and the three groups of settings (com_port_open.cpp).
  virtual void OpenDeviceHandle();
  virtual void CloseDeviceHandle();
  virtual void ApplyAllSettings();

  // Each calls the handler of the same name when it is assigned.
  virtual void FireAfterClose();
  virtual void FireAfterOpen();
  virtual void FireBeforeClose();
  virtual void FireBeforeOpen();
  virtual void FireRxChar(int Count);
  virtual void FireRxBuf(const char* Buffer, int Count);
  virtual void FireTxEmpty();
  virtual void FireBreak();
  virtual void FireRing();
  virtual void FireRxFlag();
  virtual void FireCTSChange(bool OnOff);
  virtual void FireDSRChange(bool OnOff);
  virtual void FireError(TComErrors Errors);
  virtual void FireRLSDChange(bool OnOff);
  virtual void FireRx80Full();
  virtual void FireThreadError(const std::wstring& Message, std::int64_t WinError);

  // Each does nothing unless the port is open, no update is in force, and
  // the component is neither loading nor designed.
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  // The event thread (and the hidden window of smWindowSync) of an open
  // port with events (com_dispatch.cpp). Creating sets FEventThread and
  // FThreadCreated; destroying returns once the thread has ended.
  virtual void CreateEventThread();
  virtual void DestroyEventThread();

  // ClearCommError for the queues' state; the errors it clears wait for
  // LastErrors (com_io.cpp).
  bool ReadComStat(os::ComStat& stat);
  // Signal reports of open (the current lines) and close (all false)
  // (com_port_open.cpp).
  void ReportSignals(bool open);
  // The deliveries (com_dispatch.cpp). Each line change: links first, then
  // the port's handler.
  void DeliverCTSChange(bool state);
  void DeliverDSRChange(bool state);
  void DeliverRLSDChange(bool state);
  // The delivery steps of a batch, in the fixed order, and of one event.
  void DispatchEvents(TComEvents events);
  void DeliverEvent(TComEvent event);
  void DeliverRxChar();
  void DeliverError();
  void DeliverTxEmpty();
  void DeliverRing();
  void DeliverRxFlag();

  // Settings reach the device now (open, no update, not loading/designing).
  bool CanApply() const;
  // The time-outs as the device gets them.
  os::CommTimeouts DeviceTimeouts() const;
  // While the event thread reads the device, or bytes it read wait: moves up
  // to `count` of them into `buffer` and returns how many, or -1 when reads
  // go to the device.
  int TakeHeld(void* buffer, int count);
  bool ThreadReadsDevice() const;
  // What a read gets now: InputCount, less what the event thread still
  // holds back or leaves in the driver while it reads the device.
  int ReadableCount();

  std::unique_ptr<TComThread> FEventThread;
  bool FThreadCreated = false;
  os::DeviceHandle FHandle;
  os::WindowHandle FWindow = 0;
  int FUpdateCount = 0;
  std::vector<TComLink*> FLinks;
  bool FTriggersOnRxChar = true;
  TThreadPriority FEventThreadPriority = TThreadPriority::tpNormal;
  bool FHasLink = false;
  bool FConnected = false;
  TBaudRate FBaudRate = TBaudRate::br9600;
  int FCustomBaudRate = 9600;
  std::wstring FPort = L"COM1";
  TStopBits FStopBits = TStopBits::sbOneStopBit;
  TDataBits FDataBits = TDataBits::dbEight;
  bool FDiscardNull = false;
  wchar_t FEventChar = 0;
  TRxGathering FRxGathering;
  bool FRxPaused = false;
  // Line errors the event thread cleared while it gathered; LastErrors
  // reports them with the driver's.
  std::atomic<os::Dword> FTakenErrors{0};
  // Bytes the event thread read from the device while gathering, in front
  // of the driver's queue: InputCount counts them, reads take them first.
  std::mutex FHeldLock;
  std::string FHeld;
  TComEvents FEvents = TComEvents::All();
  // Created in this order; each points back to this port.
  TComParity FParity;
  TComFlowControl FFlowControl;
  TComTimeouts FTimeouts;
  TComBuffer FBuffer;
  TSyncMethod FSyncMethod = TSyncMethod::smThreadSync;
  TStoredProps FStoredProps{TStoredProp::spBasic};
  TRxCharEvent FOnRxChar;
  TRxBufEvent FOnRxBuf;
  TNotifyEvent FOnTxEmpty;
  TNotifyEvent FOnBreak;
  TNotifyEvent FOnRing;
  TComSignalEvent FOnCTSChange;
  TComSignalEvent FOnDSRChange;
  TComSignalEvent FOnRLSDChange;
  TComErrorEvent FOnError;
  TNotifyEvent FOnRxFlag;
  TNotifyEvent FOnAfterOpen;
  TNotifyEvent FOnAfterClose;
  TNotifyEvent FOnBeforeOpen;
  TNotifyEvent FOnBeforeClose;
  TNotifyEvent FOnRx80Full;
  TComExceptionEvent FOnException;
  std::uint32_t FCodePage = 0;
  TComThreadErrorEvent FOnThreadError;
  std::unique_ptr<TPortWindow> FPortWindow;

 private:
  friend class TComBuffer;
  friend class TComParity;
  friend class TComTimeouts;
  friend class TComFlowControl;

  template <class T>
  void SetLine(T& field, T value);
  void UpdateHasLink();

  // Calls, with this port first, the handler pick chooses (a TComLink getter
  // or field) of each link in links that has one assigned. links is a copy
  // of FLinks: a handler may register or remove links, and every walk goes
  // over the list as it was when the notification began.
  template <class Pick, class... Args>
  void NotifyEach(const std::vector<TComLink*>& links, Pick pick, const Args&... args) {
    for (TComLink* link : links) {
      const auto& handler = std::invoke(pick, *link);
      if (handler) handler(this, args...);
    }
  }
  // The same on a copy of the links taken now.
  template <class Pick, class... Args>
  void NotifyLinks(Pick pick, const Args&... args) {
    NotifyEach(std::vector<TComLink*>(FLinks), pick, args...);
  }

  os::SerialApi& FApi;
};

// The port the program instantiates.
class TComPort : public TCustomComPort {
 public:
  TComPort(TComponent* AOwner, os::SerialApi& api) : TCustomComPort(AOwner, api) {}
  std::wstring ClassName() const override { return L"TComPort"; }
};

}  // namespace quillet::serial
