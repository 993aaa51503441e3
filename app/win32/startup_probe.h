// Start-up timing for the benchmark in bench/startup: when the environment
// variable QUILLET_BENCH_STARTUP names a file, the moments of wWinMain's entry,
// of the named steps on the way and of the main window's first paint are
// written to it. Nothing else reads the variable, and without it nothing is
// recorded.
#pragma once

namespace quillet::app::win32 {

void MarkStartupEntry();
// `step` must be a string literal: only the pointer is kept.
void MarkStartupStep(const char* step);
void MarkFirstPaint();

}  // namespace quillet::app::win32
