#include "tools/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quarn {

namespace {

// The line on the terminal, if any: there is one at a time.
bool g_drawn = false;

// A file name as the terminal may show it: control characters, which could
// move the cursor or change the colours, become '?'.
std::string printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

}  // namespace

std::string progress_text(const std::string& name, const std::string& step, int percent) {
  std::string text = "quarn: " + printable(name) + ": " + step;
  if (percent >= 0) text += " " + std::to_string(percent) + "%";
  return text;
}

void erase_progress() {
  if (!g_drawn) return;
  // Back to the start of the line, and clear it.
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  g_drawn = false;
}

Progress::Progress(int64_t pixels)
    : shown_(pixels > kProgressPixels && isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (shown_) erase_progress();
}

void Progress::begin(const std::string& name, const std::string& step, bool measured) {
  name_ = name;
  step_ = step;
  measured_ = measured;
  percent_ = measured ? 0 : -1;
  draw();
}

void Progress::set(double done) {
  if (!measured_) return;
  const int percent = static_cast<int>(std::floor(std::clamp(done, 0.0, 1.0) * 100.0));
  if (percent == percent_ && g_drawn) return;
  percent_ = percent;
  draw();
}

void Progress::report(void* user, double done) { static_cast<Progress*>(user)->set(done); }

void Progress::draw() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%s\033[K", progress_text(name_, step_, percent_).c_str());
  std::fflush(stderr);
  g_drawn = true;
}

}  // namespace quarn
