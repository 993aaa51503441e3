// What a queued scan costs the typing queue in heap memory, natively: scans
// of 20 characters and a CR, shaped as the reception road shapes them, queued
// behind a window that takes no keys, so that they stay queued. Prints the
// bytes held per queued scan; never fails:
//   bench_typing_queue_memory [scans]
// (wchar_t has 4 bytes here and 2 on Windows: text costs half as much there.)
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "app/reception/typing_queue.h"
#include "os/sim/keyboard_sim.h"

namespace {

long long g_live = 0;  // heap bytes allocated and not freed

struct Header {
  std::size_t size;
  std::max_align_t align;  // keeps the block aligned
};

void* Allocate(std::size_t size) {
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
  if (header == nullptr) throw std::bad_alloc();
  header->size = size;
  g_live += static_cast<long long>(size);
  return header + 1;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  Header* header = static_cast<Header*>(block) - 1;
  g_live -= static_cast<long long>(header->size);
  std::free(header);
}

class Host final : public quillet::app::reception::TypingHost {
 public:
  std::chrono::steady_clock::time_point Now() const override { return now_; }
  void SetTypingTimer(unsigned) override {}
  quillet::os::KeyboardApi& Keyboard() override { return keyboard_; }
  void WaitWhileClosing(unsigned) override {}
  quillet::os::sim::SimKeyboard& Sim() { return keyboard_; }

 private:
  std::chrono::steady_clock::time_point now_{};
  quillet::os::sim::SimKeyboard keyboard_;
};

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  Free(block);
}
void operator delete[](void* block) noexcept {
  Free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  Free(block);
}

int main(int argc, char** argv) {
  namespace r = quillet::app::reception;
  const long scans = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
  Host host;
  host.Sim().TakeInputWhenAsked();
  r::TypingQueue queue(host);
  // The first scans fill the window's two batches; the rest stay queued.
  const auto enqueue = [&](long i) {
    r::TypeJob job;
    job.row = 1 + static_cast<int>(i % 8);
    job.port = L"COM" + std::to_wstring(job.row);
    job.componentName = L"skener" + std::to_wstring(job.row);
    job.receptionId = static_cast<std::uint64_t>(i + 1);
    std::wstring code = L"P" + std::to_wstring(job.row) + L"-";
    const std::wstring number = std::to_wstring(100000 + i);
    code += number + L"-ABCDEFGHIJ";
    // As the road shapes a scan: its text, then its ending appended.
    r::AppendText(job.steps, code);
    r::AppendText(job.steps, L"\r");
    queue.Enqueue(std::move(job));
  };
  for (long i = 0; i < 16; ++i) enqueue(i);
  const long long before = g_live;
  for (long i = 16; i < 16 + scans; ++i) enqueue(i);
  const long long held = g_live - before;
  std::printf(
      "%ld scans of 21 characters queued: %lld bytes, %.1f bytes a scan (sizeof TypeJob %zu,"
      " KeyStep %zu, wchar_t %zu)\n",
      scans, held, static_cast<double>(held) / static_cast<double>(scans), sizeof(r::TypeJob),
      sizeof(r::KeyStep), sizeof(wchar_t));
  return 0;
}
