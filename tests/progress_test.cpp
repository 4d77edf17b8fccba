// The tool's progress line: on a terminal, for pictures of more than 16
// megapixels, a line redrawn in place and erased at the end, erased too
// before any message; never in a file or a pipe, nor for smaller pictures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cli_harness.h"
#include "tools/pnm.h"

namespace quarn {

namespace {

using namespace cli;

class CliProgress : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    terminal_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0) {
      GTEST_SKIP() << "no pseudo-terminal here";
    }
    other_end_ = open(ptsname(terminal_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other_end_, 0);
    fcntl(terminal_, F_SETFL, O_NONBLOCK);
  }
  void TearDown() override {
    if (other_end_ >= 0) close(other_end_);
    if (terminal_ >= 0) close(terminal_);
    Cli::TearDown();
  }

  // Runs the tool with stderr on the terminal; returns what reached it.
  std::string on_terminal(const std::vector<std::string>& args, int* status,
                          rlim_t file_size_limit = RLIM_INFINITY) {
    Child c;
    c.args = args;
    c.error_fd = other_end_;
    c.file_size_limit = file_size_limit;
    const pid_t pid = start(c);
    std::string seen;
    char buffer[4096];
    // Drained as it comes, so that the terminal never fills.
    for (bool running = true; running;) {
      int raw = 0;
      running = waitpid(pid, &raw, WNOHANG) == 0;
      if (!running) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      for (ssize_t n; (n = read(terminal_, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
      if (running) usleep(2000);
    }
    return seen;
  }

  int terminal_ = -1;
  int other_end_ = -1;
};

// 4096 x 4000 pixels: 16.4 megapixels.
void put_large_picture(const fs::path& path) {
  const std::vector<uint8_t> ppm = write_ppm(test_picture(4096, 4000, 3));
  write_bytes(path, ppm);
}

TEST_F(CliProgress, ShownOnATerminalForLargePicturesAndErased) {
  put_large_picture(at("big.ppm"));
  int status = -1;
  const std::string encoding = on_terminal({"encode", "big.ppm", "big.qrn", "-b", "0.05"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(encoding.find("\rquarn: big.ppm: encoding 0%\033[K"), std::string::npos) << encoding;
  EXPECT_NE(encoding.find("\rquarn: big.ppm: encoding 100%\033[K"), std::string::npos);
  // Erased at the end: nothing is left on the line.
  EXPECT_EQ(encoding.substr(encoding.size() - 4), "\r\033[K");

  const std::string decoding = on_terminal({"decode", "big.qrn", "big.png", "-v"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(decoding.find("quarn: big.qrn: decoding 0%"), std::string::npos) << decoding;
  EXPECT_NE(decoding.find("quarn: big.png: writing PNG 100%"), std::string::npos);
  // The -v line comes on a line of its own, after the progress is erased.
  const std::size_t note = decoding.find("quarn: big.qrn: decoded 4096x4000");
  ASSERT_NE(note, std::string::npos) << decoding;
  EXPECT_EQ(decoding.substr(note - 4, 4), "\r\033[K");
  EXPECT_EQ(decoding.find('%', note), std::string::npos);

  // compare decodes a stream file with the same line.
  const std::string comparing = on_terminal({"compare", "big.ppm", "big.qrn"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(comparing.find("\rquarn: big.qrn: decoding 100%\033[K"), std::string::npos)
      << comparing;
  EXPECT_EQ(comparing.substr(comparing.size() - 4), "\r\033[K");

  // Not in a file.
  const Outcome quiet = ok("decode big.qrn big.ppm");
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(ok("compare big.ppm big.qrn").err, "");
}

TEST_F(CliProgress, ErasedBeforeAFailureIsReported) {
  put_large_picture(at("big.ppm"));
  ok("encode big.ppm big.qrn -b 0.05");
  // The file-size limit stops the write of the PNG, after the decoding.
  int status = -1;
  const std::string seen = on_terminal({"decode", "big.qrn", "big.png"}, &status, 1 << 20);
  EXPECT_EQ(status, 1);
  // The last line about the output is the failure.
  const std::size_t message = seen.rfind("quarn: big.png: ");
  ASSERT_NE(message, std::string::npos) << seen;
  EXPECT_GE(message, 4u);
  EXPECT_EQ(seen.substr(message - 4, 4), "\r\033[K") << seen;
  EXPECT_NE(seen.find("decoding"), std::string::npos);
  EXPECT_EQ(seen.find('%', message), std::string::npos);
}

TEST_F(CliProgress, NeverForSixteenMegapixelsOrFewer) {
  put_sample("k.png");
  int status = -1;
  EXPECT_EQ(on_terminal({"encode", "k.png", "k.qrn"}, &status), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(on_terminal({"decode", "k.qrn", "k.png"}, &status), "");
  EXPECT_EQ(on_terminal({"ladder", "k.png", "sheet.png", "-r", "0.1,0.5"}, &status), "");
  // Exactly 16 megapixels is not more.
  write_bytes(at("16.ppm"), write_ppm(test_picture(4000, 4000, 5)));
  EXPECT_EQ(on_terminal({"encode", "16.ppm", "16.qrn", "-b", "0.02"}, &status), "");
  EXPECT_EQ(status, 0);
}

}  // namespace

}  // namespace quarn
