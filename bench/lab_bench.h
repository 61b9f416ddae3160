// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the lab benchmarks share: a trap indicator that shows nothing, the median of a series of
// timings and the failure line.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/trap_indicator.h"

namespace sd::bench {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

struct NoIndicator : ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Prints "PROGRAM: WHY" on standard error; the exit status of a failed run.
inline int Fail(const char* program, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", program, why.c_str());
  return 1;
}

}  // namespace sd::bench
