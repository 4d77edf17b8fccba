// What the tool shows while it works on a large picture: one line on
// stderr, "quarn: NAME: decoding 42%", redrawn in place as the work goes on
// and erased when it ends. Only on a terminal, and only for pictures of
// more than 16 megapixels, which take seconds; never in pipes and logs.
//
// Any other message on stderr erases the line first (tools/messages.h), so
// that it starts on a clean line; the next step redraws it.
#ifndef QUARN_TOOLS_PROGRESS_H
#define QUARN_TOOLS_PROGRESS_H

#include <cstdint>
#include <string>

namespace quarn {

// Pictures of more than this many pixels get a progress line.
inline constexpr int64_t kProgressPixels = 16'000'000;

class Progress {
 public:
  // A line for a picture of `pixels` pixels: shown when there are more than
  // kProgressPixels and stderr is a terminal.
  explicit Progress(int64_t pixels);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool shown() const { return shown_; }

  // Starts a step on a file (`name`: "big.png", "decoding") at 0%, or, for
  // a step that says nothing of its progress, with no share at all.
  void begin(const std::string& name, const std::string& step, bool measured = true);
  // How far the step has come, 0 to 1; the line changes with the whole
  // percentage only.
  void set(double done);

  // The same as a callback, for the library and the PNG writer: `user` is
  // the Progress.
  static void report(void* user, double done);

 private:
  void draw();

  std::string name_;
  std::string step_;
  bool shown_ = false;
  bool measured_ = false;
  int percent_ = -1;
};

// Erases the progress line from the terminal, if one is drawn.
void erase_progress();

// The text of a progress line (without the terminal's control codes):
// "quarn: big.png: encoding 42%".
std::string progress_text(const std::string& name, const std::string& step, int percent);

}  // namespace quarn

#endif  // QUARN_TOOLS_PROGRESS_H
