// The quarn tool as users run it: the built binary in a folder of its own
// per test, with stdin, stdout and stderr where the test puts them.
#ifndef QUARN_TESTS_CLI_HARNESS_H
#define QUARN_TESTS_CLI_HARNESS_H

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/codec_test_util.h"
#include "tools/png_io.h"

namespace quarn {

namespace cli {

namespace fs = std::filesystem;

inline void write_bytes(const fs::path& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::string text_of(const fs::path& path) {
  const std::vector<uint8_t> b = read_file(path);
  return std::string(b.begin(), b.end());
}

inline void write_png_image(const fs::path& path, const RgbImage& image) {
  std::vector<uint8_t> file;
  ASSERT_EQ(write_png(image, &file), "");
  write_bytes(path, file);
}

struct Outcome {
  int status = -1;
  bool crashed = false;  // ended by a signal: a crash, an abort, a sanitizer
  std::string out;
  std::string err;
};

// A run of the tool started by fork and exec, for what a shell line cannot
// set up: a file-size limit, an ignored SIGPIPE, a terminal, a kill.
struct Child {
  std::vector<std::string> args;
  std::string input = "/dev/null";  // stdin
  std::string output;               // stdout: empty for stdout.txt
  int output_flags = O_WRONLY | O_CREAT | O_TRUNC;
  int output_fd = -1;               // stdout when >= 0, instead of `output`
  int error_fd = -1;                // stderr when >= 0, instead of stderr.txt
  rlim_t file_size_limit = RLIM_INFINITY;
  bool ignore_sigpipe = false;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    dir_ = fs::temp_directory_path() / ("quarn_cli_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path at(const std::string& name) const { return dir_ / name; }

  // Runs the tool in the test's directory with `args` (shell words), stdin
  // from `input` and stdout to `output` (files there, or /dev/null).
  Outcome quarn(const std::string& args, const std::string& input = "/dev/null",
                const std::string& output = "stdout.txt") const {
    const std::string command = "cd '" + dir_.string() + "' && '" QUARN_BINARY "' " + args +
                                " <'" + input + "' >'" + output + "' 2>stderr.txt";
    const int raw = std::system(command.c_str());
    Outcome r;
    r.crashed = WIFSIGNALED(raw) || !WIFEXITED(raw) || WEXITSTATUS(raw) >= 128;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (output == "stdout.txt") r.out = text_of(at("stdout.txt"));
    r.err = text_of(at("stderr.txt"));
    fs::remove(at("stdout.txt"));
    fs::remove(at("stderr.txt"));
    return r;
  }

  // Runs a command that must succeed.
  Outcome ok(const std::string& args, const std::string& input = "/dev/null",
             const std::string& output = "stdout.txt") const {
    Outcome r = quarn(args, input, output);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    EXPECT_FALSE(r.crashed) << args;
    return r;
  }

  // Starts the tool in the test's directory; its stderr goes to stderr.txt.
  pid_t start(const Child& c) const {
    std::vector<std::string> words = {QUARN_BINARY};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string out = c.output.empty() ? "stdout.txt" : c.output;
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: only async-signal-safe calls from here on.
    if (chdir(dir_.c_str()) != 0) _exit(126);
    const int in = open(c.input.c_str(), O_RDONLY);
    const int to = c.output_fd >= 0 ? c.output_fd : open(out.c_str(), c.output_flags, 0644);
    const int err =
        c.error_fd >= 0 ? c.error_fd : open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || to < 0 || err < 0) _exit(126);
    if (dup2(in, 0) < 0 || dup2(to, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    struct rlimit limit = {c.file_size_limit, c.file_size_limit};
    if (c.file_size_limit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    if (c.ignore_sigpipe) signal(SIGPIPE, SIG_IGN);
    execv(argv[0], argv.data());
    _exit(127);
  }

  Outcome finish(pid_t pid, const Child& c) const {
    int raw = 0;
    waitpid(pid, &raw, 0);
    Outcome r;
    r.crashed = WIFSIGNALED(raw);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (c.output.empty() && c.output_fd < 0) {
      r.out = text_of(at("stdout.txt"));
      fs::remove(at("stdout.txt"));
    }
    if (c.error_fd < 0) {
      r.err = text_of(at("stderr.txt"));
      fs::remove(at("stderr.txt"));
    }
    return r;
  }

  Outcome run(const Child& c) const { return finish(start(c), c); }

  void put_sample(const std::string& name) const {
    fs::copy_file(QUARN_SAMPLE, at(name), fs::copy_options::overwrite_existing);
  }

  // The names in the test's directory, sorted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

}  // namespace cli

}  // namespace quarn

#endif  // QUARN_TESTS_CLI_HARNESS_H
