// Start-up timing for the benchmark in bench/startup: when the environment
// variable QUILLET_BENCH_STARTUP names a file, the moments of wWinMain's entry
// and of the main window's first paint are written to it. Nothing else reads
// the variable, and without it nothing is recorded.
#pragma once

namespace quillet::app::win32 {

void MarkStartupEntry();
void MarkFirstPaint();

}  // namespace quillet::app::win32
