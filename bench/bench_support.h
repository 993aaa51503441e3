// Small pieces the benchmarks under Wine share.
#pragma once

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace quillet::bench {

// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The machine's load, printed beside figures that mean something only on a quiet machine.
inline std::string Loadavg() {
  std::ifstream in("Z:\\proc\\loadavg");
  std::string line;
  std::getline(in, line);
  return line.empty() ? "?" : line;
}

}  // namespace quillet::bench
