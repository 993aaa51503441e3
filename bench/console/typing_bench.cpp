// What typing costs a scan, under Wine: the real main window in this process
// with skener1 open on COM8, the scanner writing on COM7, the receiver in
// front. Prints figures only; never fails on time.
//
// 1. A 20-character barcode, many rounds of three kinds, interleaved.
//    skener1's handler is a wrapper that (a) only reads the bytes: the
//    engine's byte-to-handler latency; (b) runs the main window's own
//    handler (read, status bar, typing); (c) reads and sends the characters
//    as one SendInput of Unicode key events: the bare floor of Wine's key
//    delivery into the receiver. Measured: write -> handler entered, time
//    inside the handler, write -> the receiver's edit box holds all 20.
// 2. A 3000-character burst (the largest QR code): everything typed, in
//    order, nothing lost; characters per second.
// 3. A 3000-character scan typed straight into a fresh receiver, three ways
//    in turns: TypeText as it ships (paced: batches of 64 characters with a
//    WM_NULL wait for the receiver's thread between them), the same plan in
//    one SendInput call (unpaced), and a bare SendInput of the characters as
//    Unicode events (no planner): characters per second until the edit box
//    holds all 3000, each round checked character by character. For the
//    paced rounds, the backlog (characters sent but not yet in the edit box)
//    when each batch has gone and when its wait returns, and the waits' time.
//
// Usage: bench_console_typing <receiver.exe> [rounds]; run through
// tests/support/wine-run with QUILLET_COM_PAIR=7:8 (bench/console/run.sh).
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/typing.h"
#include "app/win32/main_window.h"
#include "app/win32/win32_services.h"
#include "bench/bench_support.h"
#include "bench/forwarding_keyboard.h"
#include "bench/wine_bench.h"
#include "tests/support/receiver_client.h"
#include "tests/support/wine_path.h"

namespace {

using quillet::bench::Loadavg;
using quillet::bench::Now;
using quillet::testsupport::WindowsPath;

using quillet::serial::TObject;

void PumpOnce() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Runs this thread's messages (deliveries included) until done() or ms.
// Between looks it waits for a message or poll_ms: each look at the receiver
// is a message the receiver has to answer between its key events.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 20000, DWORD poll_ms = 1) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpOnce();
    if (done()) return true;
    if (GetTickCount() - start >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, poll_ms, QS_ALLINPUT);
  }
}

// The receiver's edit box, asked across processes.
int EditLength(HWND edit) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 2000, &length)) return -1;
  return static_cast<int>(length);
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  DWORD done = 0;
  return WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
         done == bytes.size();
}

struct Stats {
  double median = 0, p90 = 0, min = 0, max = 0;
  std::size_t n = 0;
};

Stats Summarise(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.n = v.size();
  s.median = v[v.size() / 2];
  s.p90 = v[v.size() * 9 / 10];
  s.min = v.front();
  s.max = v.back();
  return s;
}

void Print(const char* what, const Stats& s) {
  std::printf("  %-52s median %7.3f ms  p90 %7.3f  min %7.3f  max %7.3f  (%zu rounds)\n", what,
              s.median, s.p90, s.min, s.max, s.n);
}

std::string Barcode(int round) {
  char text[32];
  std::snprintf(text, sizeof text, "QLT-%05d-ABCDEFGHIJ", round % 100000);
  return std::string(text).substr(0, 20);
}

// 3000 printable ASCII characters with space, cycling, so that a lost or
// swapped character shows at its index.
std::string Burst() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>(0x20 + (i * 7) % 95);
  return text;
}

// Hex of the receiver's TEXT line back to the characters (one per code unit).
// The receiver's edit box text, asked across processes.
std::wstring EditText(HWND edit) {
  const int length = EditLength(edit);
  if (length < 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, 5000, &got))
    return {};
  text.resize(static_cast<std::size_t>(got));
  return text;
}

// The real keyboard seam, measuring what the paced typing waits for: after
// each batch and after each wait, how many characters the receiver's edit box
// still lacks.
class PacingProbe final : public quillet::bench::ForwardingKeyboard {
 public:
  PacingProbe(quillet::os::KeyboardApi& real, HWND edit, std::size_t length)
      : ForwardingKeyboard(real), real_(real), edit_(edit), length_(length) {}
  std::vector<double> after_batch, after_wait, wait_ms;

  bool SendNullMessageTimeout(quillet::os::WindowHandle window, unsigned flags,
                              unsigned timeout) override {
    const double start = Now();
    const bool answered = real_.SendNullMessageTimeout(window, flags, timeout);
    wait_ms.push_back((Now() - start) * 1e3);
    after_wait.push_back(Backlog());
    return answered;
  }
  void SendKeys(std::span<const quillet::os::KeyInput> inputs) override {
    real_.SendKeys(inputs);
    ++batches_;
    after_batch.push_back(Backlog());
  }

 private:
  double Backlog() {
    const std::size_t sent = std::min(length_, batches_ * quillet::app::kBatchCharacters);
    return static_cast<double>(sent) - EditLength(edit_);
  }
  quillet::os::KeyboardApi& real_;
  HWND edit_;
  std::size_t length_;
  std::size_t batches_ = 0;
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 4 <= hex.size(); i += 4)
    out += static_cast<char>(std::strtoul(hex.substr(i, 4).c_str(), nullptr, 16));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_console_typing <receiver.exe> [rounds]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(2, std::atoi(argv[2])) : 200;
  // No configuration file: its automatic opening would retick the rows.
  wchar_t appdata[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
  DeleteFileW((std::wstring(appdata) + L"\\Brovana\\Quillet\\skeneri.ini").c_str());

  quillet::app::win32::Win32Services platform;
  quillet::app::win32::TForm1 form(GetModuleHandleW(nullptr), platform.Get());
  if (!form.Create()) {
    std::printf("console typing (Wine): the main window could not be created\n");
    return 1;
  }
  form.Show(SW_SHOWNOACTIVATE);
  quillet::serial::TComPort* port = form.Logic().Skener(1);
  port->SetPort(L"COM8");
  form.Logic().SetOpenTick(1, true);
  if (!port->Connected()) {
    std::printf(
        "console typing (Wine): COM8 did not open; run through wine-run with "
        "QUILLET_COM_PAIR=7:8\n");
    return 1;
  }

  // The wrapper: the moment the handler is entered and the time spent in it.
  enum class Mode { ReadOnly, Typed, Bare } mode = Mode::ReadOnly;
  double entered = 0, inside = 0;
  int calls = 0;
  std::size_t untyped = 0;
  port->SetOnRxChar([&](TObject* sender, int count) {
    const double start = Now();
    if (calls++ == 0) entered = start;
    if (mode == Mode::Typed) {
      form.Logic().skener1RxChar(sender, count);
    } else {
      std::wstring text;
      untyped += static_cast<std::size_t>(port->ReadStr(text, count));
      if (mode == Mode::Bare) {
        std::vector<INPUT> inputs;
        for (const wchar_t ch : text) {
          for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = static_cast<WORD>(ch);
            input.ki.dwFlags = KEYEVENTF_UNICODE | up;
            inputs.push_back(input);
          }
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
      }
    }
    inside += Now() - start;
  });

  // The receiver's sink keeps characters at no cost: its edit box lays its
  // whole text out again on every character, which made the receiver, not
  // the typing, the bottleneck of a long scan (about 130 characters/s).
  quillet::testsupport::Receiver receiver(WindowsPath(argv[1]), L"--sink");
  if (!receiver.Started() || !PumpUntil([&] { return receiver.Count("READY") > 0; })) {
    std::printf("console typing (Wine): the receiver never got the focus\n");
    return 1;
  }
  const HWND edit = FindWindowExW(receiver.Window(), nullptr, nullptr, nullptr);
  HANDLE scanner = CreateFileW(L"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (edit == nullptr || scanner == INVALID_HANDLE_VALUE) {
    std::printf("console typing (Wine): no receiver edit box or no COM7\n");
    return 1;
  }
  std::printf("console typing (Wine), load before: %s\n", Loadavg().c_str());

  // 1. The 20-character barcode, the two kinds of round interleaved.
  std::vector<double> engine_plain, engine_typed, handler_plain, handler_typed, to_receiver,
      bare_handler, bare_to_receiver;
  int short_rounds = 0, split_rounds = 0;
  for (int round = 0; round < rounds; ++round) {
    mode = static_cast<Mode>(round % 3);
    const bool typing = mode != Mode::ReadOnly;
    const std::string code = Barcode(round);
    const int length_before = typing ? EditLength(edit) : 0;
    const std::size_t untyped_before = untyped;
    calls = 0;
    inside = 0;
    const double start = Now();
    WriteAll(scanner, code);
    bool all = false;
    double arrived = 0;
    if (typing) {
      all = PumpUntil([&] {
        const int length = EditLength(edit);
        if (length < length_before + 20) return false;
        arrived = Now();
        return true;
      });
    } else {
      all = PumpUntil([&] { return untyped >= untyped_before + 20; });
    }
    if (!all) {
      ++short_rounds;
      continue;
    }
    if (calls > 1) ++split_rounds;
    switch (mode) {
      case Mode::ReadOnly:
        engine_plain.push_back((entered - start) * 1e3);
        handler_plain.push_back(inside * 1e3);
        break;
      case Mode::Typed:
        engine_typed.push_back((entered - start) * 1e3);
        handler_typed.push_back(inside * 1e3);
        to_receiver.push_back((arrived - start) * 1e3);
        break;
      case Mode::Bare:
        bare_handler.push_back(inside * 1e3);
        bare_to_receiver.push_back((arrived - start) * 1e3);
        break;
    }
  }
  const Stats a = Summarise(engine_plain), a2 = Summarise(engine_typed),
              hp = Summarise(handler_plain), b = Summarise(handler_typed),
              c = Summarise(to_receiver), bh = Summarise(bare_handler),
              bc = Summarise(bare_to_receiver);
  std::printf(
      "20-character barcode, %d rounds (read only / skener1RxChar / bare SendInput, "
      "interleaved):\n",
      rounds);
  Print("engine: write -> OnRxChar entered (read-only rounds)", a);
  Print("engine: write -> OnRxChar entered (typed rounds)", a2);
  Print("handler, read only (ReadStr)", hp);
  Print("handler, skener1RxChar (ReadStr+status+TypeText)", b);
  Print("write -> receiver's edit box holds all 20", c);
  Print("bare: handler reading + one SendInput of 40 events", bh);
  Print("bare: write -> receiver's edit box holds all 20", bc);
  std::printf(
      "  typing adds to the byte-to-handler latency: %.3f ms in the handler (median, typed minus "
      "read-only; "
      "target < 5 ms)\n",
      b.median - hp.median);
  std::printf(
      "  until the receiver has it: %.3f ms after the handler was entered; the bare SendInput "
      "floor %.3f ms\n",
      c.median - a2.median, bc.median - a.median);
  {
    // Where the handler's time goes, without sending: the status bar text,
    // and reading Caps Lock and the layout and planning the key events.
    std::vector<double> status, plan;
    std::size_t events = 0;
    quillet::app::LayoutAnswers answers;  // kept between scans, as the handler keeps them
    for (int round = 0; round < 100; ++round) {
      const std::wstring code = [&] {
        const std::string narrow = Barcode(round);
        return std::wstring(narrow.begin(), narrow.end());
      }();
      const double t0 = Now();
      form.SetStatusText(L"Read device: skener1, COM8");
      const double t1 = Now();
      const bool caps = (platform.keyboard.GetKeyState(quillet::os::kVkCapital) & 1) != 0;
      const quillet::os::KeyboardLayout handle = platform.keyboard.GetForegroundKeyboardLayout();
      answers.UseLayout(handle);
      const quillet::app::KeyboardLayoutQuery layout(platform.keyboard, handle);
      events = quillet::app::PlanTyping(code, caps,
                                        quillet::app::RememberingLayoutQuery(layout, answers))
                   .size();
      const double t2 = Now();
      status.push_back((t1 - t0) * 1e3);
      plan.push_back((t2 - t1) * 1e3);
    }
    Print("of which: status bar text", Summarise(status));
    char what[96];
    std::snprintf(what, sizeof what, "of which: Caps Lock, layout, planning (%zu key events)",
                  events);
    Print(what, Summarise(plan));
  }
  if (split_rounds > 0)
    std::printf("  note: %d rounds arrived in more than one OnRxChar\n", split_rounds);
  if (short_rounds > 0)
    std::printf("  LOST: %d rounds never arrived completely within 20 s\n", short_rounds);

  // 2. The 3000-character burst into an empty edit box.
  mode = Mode::Typed;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), SMTO_NORMAL, 2000,
                      &ignored);
  PumpUntil([&] { return EditLength(edit) == 0; }, 2000);
  const std::size_t char_lines_before = static_cast<std::size_t>(receiver.Count("CHAR "));
  const std::string burst = Burst();
  calls = 0;
  inside = 0;
  const double start = Now();
  WriteAll(scanner, burst);
  int seen = 0;
  double last_growth = Now();
  PumpUntil(
      [&] {
        const int length = EditLength(edit);
        if (length > seen) {
          seen = length;
          last_growth = Now();
        }
        // Done when all are there, or nothing new came for 3 s.
        return seen >= static_cast<int>(burst.size()) || Now() - last_growth > 3.0;
      },
      300000, 50);
  const double seconds = last_growth - start;
  const int handler_calls = calls;
  const double handler_seconds = inside;
  CloseHandle(scanner);
  // Let the last key events land before the log is read.
  PumpUntil([] { return false; }, 500);
  const auto lines = receiver.Lines();
  std::string chars;
  std::size_t index = 0;
  for (const auto& line : lines) {
    if (line.rfind("CHAR ", 0) != 0) continue;
    if (index++ < char_lines_before) continue;
    chars += static_cast<char>(std::strtoul(line.substr(5).c_str(), nullptr, 16));
  }
  const auto hex = receiver.CloseAndReadText();
  const std::string text = hex ? FromHex(*hex) : std::string();
  std::printf(
      "3000-character burst: %d characters in the receiver after %.3f s: %.0f characters/s "
      "(%d OnRxChar calls, %.3f s inside the handler)\n",
      seen, seconds, seconds > 0 ? seen / seconds : 0.0, handler_calls, handler_seconds);
  auto compare = [&](const char* what, const std::string& got) {
    if (got == burst) {
      std::printf("  %s: all 3000 characters, in order\n", what);
      return;
    }
    std::size_t i = 0;
    while (i < got.size() && i < burst.size() && got[i] == burst[i]) ++i;
    std::printf(
        "  LOST: %s holds %zu of %zu characters; first difference at index %zu (sent 0x%02X, got "
        "%s)\n",
        what, got.size(), burst.size(), i,
        i < burst.size() ? static_cast<unsigned char>(burst[i]) : 0u,
        i < got.size() ? std::to_string(static_cast<unsigned char>(got[i])).c_str() : "nothing");
  };
  compare("edit box text (TEXT)", text);
  compare("WM_CHAR log (CHAR)", chars);
  std::printf("console typing (Wine), load after: %s\n", Loadavg().c_str());
  form.Logic().SetOpenTick(1, false);

  // 3. Paced, unpaced and bare, straight into a fresh receiver.
  quillet::testsupport::Receiver scans(WindowsPath(argv[1]), L"--sink");
  const HWND scan_edit = [&]() -> HWND {
    if (!scans.Started() || !PumpUntil([&] { return scans.Count("READY") > 0; })) return nullptr;
    return FindWindowExW(scans.Window(), nullptr, nullptr, nullptr);
  }();
  if (scan_edit == nullptr) {
    std::printf("3000-character scan: the receiver never got the focus\n");
    return 1;
  }
  const std::wstring wide(burst.begin(), burst.end());
  const char* kinds[] = {"paced TypeText (batches of 64, WM_NULL wait)",
                         "unpaced: the same plan in one SendInput",
                         "bare: one SendInput of 6000 Unicode events"};
  std::vector<double> rate[3];
  std::vector<double> after_batch, after_wait, wait_ms;
  int lost = 0;
  const int scan_rounds = std::max(3, rounds / 40);
  for (int round = 0; round < scan_rounds * 3; ++round) {
    const int kind = round % 3;
    SendMessageTimeoutW(scan_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), SMTO_NORMAL, 2000,
                        &ignored);
    PumpUntil([&] { return EditLength(scan_edit) == 0; }, 2000);
    const double t0 = Now();
    if (kind == 0) {
      PacingProbe probe(platform.keyboard, scan_edit, wide.size());
      quillet::app::TypeText(wide, probe);
      after_batch.insert(after_batch.end(), probe.after_batch.begin(), probe.after_batch.end());
      after_wait.insert(after_wait.end(), probe.after_wait.begin(), probe.after_wait.end());
      wait_ms.insert(wait_ms.end(), probe.wait_ms.begin(), probe.wait_ms.end());
    } else if (kind == 1) {
      const bool caps = (platform.keyboard.GetKeyState(quillet::os::kVkCapital) & 1) != 0;
      const quillet::app::KeyboardLayoutQuery layout(
          platform.keyboard, platform.keyboard.GetForegroundKeyboardLayout());
      quillet::app::SendKeyEvents(quillet::app::PlanTyping(wide, caps, layout), platform.keyboard);
    } else {
      std::vector<INPUT> inputs;
      for (const wchar_t ch : wide) {
        for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
          INPUT input{};
          input.type = INPUT_KEYBOARD;
          input.ki.wScan = static_cast<WORD>(ch);
          input.ki.dwFlags = KEYEVENTF_UNICODE | up;
          inputs.push_back(input);
        }
      }
      SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    int have = 0;
    double grew = Now();
    PumpUntil(
        [&] {
          const int length = EditLength(scan_edit);
          if (length > have) {
            have = length;
            grew = Now();
          }
          return have >= static_cast<int>(wide.size()) || Now() - grew > 3.0;
        },
        120000, 2);
    if (EditText(scan_edit) != wide) ++lost;
    rate[kind].push_back(have / (grew - t0));
  }
  std::printf("3000-character scan into the receiver, %d rounds of each kind in turns (load %s):\n",
              scan_rounds, Loadavg().c_str());
  for (int kind = 0; kind < 3; ++kind) {
    const Stats r = Summarise(rate[kind]);
    std::printf("  %-52s median %6.0f characters/s  min %6.0f  max %6.0f\n", kinds[kind], r.median,
                r.min, r.max);
  }
  const Stats ab = Summarise(after_batch), aw = Summarise(after_wait), w = Summarise(wait_ms);
  std::printf(
      "  paced: characters not yet in the edit box after a batch went: median %.0f  p90 %.0f  max "
      "%.0f\n",
      ab.median, ab.p90, ab.max);
  std::printf(
      "  paced: ... when the wait before the next batch returned:    median %.0f  p90 %.0f  max "
      "%.0f\n",
      aw.median, aw.p90, aw.max);
  std::printf("  paced: the wait itself: median %.3f ms  p90 %.3f  max %.3f (%zu waits)\n",
              w.median, w.p90, w.max, w.n);
  if (lost > 0)
    std::printf("  LOST: %d rounds did not arrive complete and in order\n", lost);
  else
    std::printf("  every round arrived complete and in order\n");
  return 0;
}
