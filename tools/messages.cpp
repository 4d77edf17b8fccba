#include "tools/messages.h"

#include <cstdio>

#include "tools/progress.h"

namespace quarn {

namespace {

// Keeps every message on one line, whatever a file name or a library's
// message holds.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

int refuse(const std::string& file, const std::string& problem) {
  erase_progress();
  std::fprintf(stderr, "quarn: %s: %s\n", one_line(file).c_str(), one_line(problem).c_str());
  return kExitBadInput;
}

int usage_error(const std::string& command, const std::string& problem) {
  erase_progress();
  if (command.empty()) {
    std::fprintf(stderr, "quarn: %s (see 'quarn --help')\n", one_line(problem).c_str());
  } else {
    std::fprintf(stderr, "quarn %s: %s (see 'quarn %s --help')\n", command.c_str(),
                 one_line(problem).c_str(), command.c_str());
  }
  return kExitUsage;
}

void note(const std::string& text) {
  erase_progress();
  std::fprintf(stderr, "quarn: %s\n", one_line(text).c_str());
}

std::string input_name(const std::string& path) { return path == "-" ? "stdin" : path; }
std::string output_name(const std::string& path) { return path == "-" ? "stdout" : path; }

}  // namespace quarn
