// The host's console, where error() prints, and a trace of matrix messages;
// both kept so that a test can read them.
#include <cstdio>
#include <mutex>

#include "platform/object_model.h"

namespace platform {
namespace {

struct Console {
  std::mutex mutex;
  std::vector<std::string> lines;
  bool tracing = false;
  std::vector<std::string> trace;
};

Console& console() {
  static Console* c = new Console;
  return *c;
}

}  // namespace

void console_append(const std::string& text) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  c.lines.push_back(text);
}

std::vector<std::string> console_take() {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  std::vector<std::string> lines;
  lines.swap(c.lines);
  return lines;
}

void trace_append(const std::string& line) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  if (c.tracing) c.trace.push_back(line);
}

void trace_enable(bool on) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  c.tracing = on;
  c.trace.clear();
}

std::vector<std::string> trace_take() {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  std::vector<std::string> lines;
  lines.swap(c.trace);
  return lines;
}

}  // namespace platform

void error(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), fmt, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  platform::console_append(text);
}
