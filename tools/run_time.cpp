#include "tools/run_time.h"

#include <chrono>
#include <cstdio>

namespace quarn {

namespace {

using Clock = std::chrono::steady_clock;

// Set while the program starts, before main.
const Clock::time_point g_start = Clock::now();
Clock::time_point g_lap = g_start;

}  // namespace

double run_ms() {
  return std::chrono::duration<double, std::milli>(Clock::now() - g_start).count();
}

double lap() {
  const Clock::time_point now = Clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - g_lap).count();
  g_lap = now;
  return ms;
}

std::string format_ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

}  // namespace quarn
