// What the quarn tool does to its outputs: it replaces only what it made,
// leaves an existing file as it was when a write fails however it fails,
// never removes a device, a FIFO or a link, refuses an output that is its
// input, and reports every failed write (stdout included) in its exit
// status.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli_harness.h"

namespace {

using namespace cli;

class CliOutput : public Cli {};

bool is_char_device(const fs::path& path, dev_t device) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device;
}

bool is_a_fifo(const fs::path& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// ------------------------------------------------- failures keep the old file

TEST_F(CliOutput, AFileSizeLimitLeavesTheOldFileAsItWas) {
  put_sample("k.png");
  ok("encode k.png out.qrn -b 0.1");
  const std::vector<uint8_t> old = read_file(at("out.qrn"));
  const std::vector<std::string> before = listing();
  Child c;
  c.args = {"encode", "k.png", "out.qrn", "-b", "1"};
  c.file_size_limit = 16384;
  const Outcome r = run(c);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: out.qrn: File too large\n");
  EXPECT_EQ(read_file(at("out.qrn")), old);
  EXPECT_EQ(listing(), before);  // no temporary file left behind
}

// Unmounts a file system of the test's own on the way out.
struct Mounted {
  explicit Mounted(const fs::path& at) : path(at) {}
  ~Mounted() { umount2(path.c_str(), MNT_DETACH); }
  fs::path path;
};

TEST_F(CliOutput, AFullDiskLeavesTheOldFileAsItWas) {
  fs::create_directory(at("small"));
  if (mount("tmpfs", at("small").c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
  }
  const Mounted small(at("small"));
  put_sample("k.png");
  ok("encode k.png small/out.qrn -b 0.1");
  const std::vector<uint8_t> old = read_file(at("small/out.qrn"));
  ASSERT_EQ(old.size(), 4919u);
  // 98307 bytes do not fit in 64 KiB.
  const Outcome r = quarn("encode k.png small/out.qrn -b 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: small/out.qrn: No space left on device\n");
  EXPECT_EQ(read_file(at("small/out.qrn")), old);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(at("small"))) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"out.qrn"});
}

// Killed at any moment, the tool leaves the old file or the new one whole,
// and nothing else.
TEST_F(CliOutput, AKillLeavesTheOldFileOrTheNewOneWhole) {
  put_sample("k.png");
  ok("encode k.png new.qrn -b 16");
  const std::vector<uint8_t> fresh = read_file(at("new.qrn"));
  fs::remove(at("new.qrn"));
  ok("encode k.png out.qrn -b 0.1");
  const std::vector<uint8_t> old = read_file(at("out.qrn"));
  const std::vector<std::string> before = listing();
  for (int step = 0; step < 12; ++step) {
    Child c;
    c.args = {"encode", "k.png", "out.qrn", "-b", "16"};
    const pid_t pid = start(c);
    usleep(static_cast<useconds_t>(step) * 12000);
    kill(pid, SIGKILL);
    finish(pid, c);
    const std::vector<uint8_t> now = read_file(at("out.qrn"));
    EXPECT_TRUE(now == old || now == fresh) << "killed after " << step * 12 << " ms: "
                                            << now.size() << " bytes";
    EXPECT_EQ(listing(), before) << "killed after " << step * 12 << " ms";
    if (now != old) write_bytes(at("out.qrn"), old);
  }
}

// --------------------------------------------- what the tool did not make

TEST_F(CliOutput, DevicesAndFifosAreWrittenInPlaceAndNeverRemoved) {
  put_sample("k.png");
  ok("encode k.png ref.qrn -b 0.2");
  const std::vector<uint8_t> ref = read_file(at("ref.qrn"));

  // The full device: the write fails, the device stays.
  Outcome r = quarn("encode k.png /dev/full -b 0.2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: /dev/full: No space left on device\n");
  EXPECT_TRUE(is_char_device("/dev/full", makedev(1, 7)));
  // Device nodes of our own, where the system lets us make them (as root).
  if (mknod(at("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0 &&
      mknod(at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    // A folder may refuse to open devices; either way nothing is removed.
    EXPECT_EQ(quarn("encode k.png full -b 0.2").status, 1);
    quarn("encode k.png null -b 0.2");
    EXPECT_TRUE(is_char_device(at("full"), makedev(1, 7)));
    EXPECT_TRUE(is_char_device(at("null"), makedev(1, 3)));
  } else {
    std::printf("no device nodes of our own here (%s)\n", std::strerror(errno));
  }

  // A FIFO carries the stream and stays.
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
  std::vector<uint8_t> got;
  std::thread reader([&] {
    const int fd = open(at("fifo").c_str(), O_RDONLY | O_CLOEXEC);
    uint8_t buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) got.insert(got.end(), buffer, buffer + n);
    close(fd);
  });
  r = quarn("encode k.png fifo -b 0.2");
  reader.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(got, ref);
  EXPECT_TRUE(is_a_fifo(at("fifo")));

  // Its reader goes away while the tool writes (and SIGPIPE is ignored, as
  // some parents leave it): the write fails, the FIFO stays.
  const int held = open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(held, 0);
  Child c;
  c.args = {"encode", "k.png", "fifo", "-b", "2"};
  c.ignore_sigpipe = true;
  const pid_t pid = start(c);
  // Wait until the pipe is full and the tool waits in its write.
  int queued = 0;
  for (int steady = 0, i = 0; steady < 4 && i < 2000; ++i) {
    usleep(10000);
    int now = 0;
    ioctl(held, FIONREAD, &now);
    steady = now > 0 && now == queued ? steady + 1 : 0;
    queued = now;
  }
  close(held);
  r = finish(pid, c);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: fifo: Broken pipe\n");
  EXPECT_TRUE(is_a_fifo(at("fifo")));
}

TEST_F(CliOutput, ASymlinkOutputWritesItsTargetAndStaysALink) {
  put_sample("k.png");
  ok("encode k.png ref.qrn -b 0.2");
  const std::vector<uint8_t> ref = read_file(at("ref.qrn"));
  fs::create_directory(at("sub"));
  write_bytes(at("sub/real.qrn"), {1, 2, 3});
  fs::permissions(at("sub/real.qrn"), fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read);
  fs::create_symlink("sub/real.qrn", at("link.qrn"));
  fs::create_symlink("link.qrn", at("chain.qrn"));
  fs::create_symlink("sub/new.qrn", at("dangling.qrn"));

  ok("encode k.png link.qrn -b 0.2");
  EXPECT_TRUE(fs::is_symlink(at("link.qrn")));
  EXPECT_EQ(fs::read_symlink(at("link.qrn")), "sub/real.qrn");
  EXPECT_EQ(read_file(at("sub/real.qrn")), ref);
  // The file it replaced kept its permissions.
  EXPECT_EQ(fs::status(at("sub/real.qrn")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Through a chain of links, and to a target that does not exist yet.
  ok("encode k.png chain.qrn -b 0.1");
  ok("encode k.png dangling.qrn -b 0.2");
  EXPECT_TRUE(fs::is_symlink(at("chain.qrn")));
  EXPECT_TRUE(fs::is_symlink(at("link.qrn")));
  EXPECT_TRUE(fs::is_symlink(at("dangling.qrn")));
  EXPECT_EQ(read_file(at("sub/new.qrn")), ref);
  const std::vector<uint8_t> old = read_file(at("sub/real.qrn"));
  EXPECT_EQ(old.size(), 4919u);

  // A failed write through the link leaves its target as it was.
  Child c;
  c.args = {"encode", "k.png", "link.qrn", "-b", "1"};
  c.file_size_limit = 16384;
  const Outcome r = run(c);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: link.qrn: File too large\n");
  EXPECT_EQ(read_file(at("sub/real.qrn")), old);
  EXPECT_TRUE(fs::is_symlink(at("link.qrn")));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(at("sub"))) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.qrn", "real.qrn"}));
}

TEST_F(CliOutput, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsDone) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.2");
  const std::vector<uint8_t> photo = read_file(at("k.png"));
  const std::vector<uint8_t> stream = read_file(at("k.qrn"));
  fs::create_hard_link(at("k.png"), at("hard.png"));
  fs::create_symlink("k.png", at("soft.png"));
  const std::string then = "; write the output to another file\n";
  const std::pair<std::string, std::string> cases[] = {
      {"encode k.png k.png", "quarn: k.png: is the input file" + then},
      {"encode k.png hard.png", "quarn: hard.png: is the same file as the input k.png" + then},
      {"encode soft.png k.png", "quarn: k.png: is the same file as the input soft.png" + then},
      {"ladder k.png soft.png", "quarn: soft.png: is the same file as the input k.png" + then},
      {"decode k.qrn ./k.qrn -f png", "quarn: ./k.qrn: is the same file as the input k.qrn" + then},
  };
  for (const auto& [args, message] : cases) {
    const Outcome r = quarn(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, message) << args;
  }
  // Through stdin, and through stdout appending to the input.
  EXPECT_EQ(quarn("decode - k.qrn -f png", "k.qrn").err,
            "quarn: k.qrn: is the same file as the input stdin" + then);
  Child c;
  c.args = {"decode", "k.qrn", "-"};
  c.output = "k.qrn";
  c.output_flags = O_WRONLY | O_APPEND;
  const Outcome r = run(c);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quarn: stdout: is the same file as the input k.qrn" + then);
  EXPECT_EQ(read_file(at("k.png")), photo);
  EXPECT_EQ(read_file(at("k.qrn")), stream);
}

TEST_F(CliOutput, OutputsAreCheckedBeforeAnythingIsRead) {
  write_bytes(at("bad.png"), {'x'});
  fs::create_directory(at("folder"));
  const std::pair<std::string, std::string> cases[] = {
      {"ladder bad.png no/such/dir/sheet.png", "quarn: no/such/dir/sheet.png: No such file or directory\n"},
      {"encode bad.png no/such/dir/out.qrn", "quarn: no/such/dir/out.qrn: No such file or directory\n"},
      {"decode bad.png no/such/dir/out.png", "quarn: no/such/dir/out.png: No such file or directory\n"},
      {"encode bad.png folder", "quarn: folder: Is a directory\n"},
  };
  for (const auto& [args, message] : cases) {
    const Outcome r = quarn(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, message) << args;
  }
  EXPECT_TRUE(fs::is_directory(at("folder")));
}

// ---------------------------------------------------------------- stdout

TEST_F(CliOutput, EveryCommandFailsWhenStdoutCannotBeWritten) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.2");
  for (const std::string args :
       {"info k.qrn", "compare k.png k.qrn", "ladder k.png sheet.png -r 0.1",
        "ladder k.png - -r 0.1", "encode k.png -", "decode k.qrn -", "--help", "encode --help",
        "--version"}) {
    const Outcome r = quarn(args, "/dev/null", "/dev/full");
    EXPECT_FALSE(r.crashed) << args;
    EXPECT_EQ(r.status, 1) << args;
    const std::string line = "quarn: stdout: No space left on device\n";
    EXPECT_TRUE(r.err.size() >= line.size() && r.err.substr(r.err.size() - line.size()) == line)
        << args << ": " << r.err;
  }
}

TEST_F(CliOutput, BinaryIsNeitherWrittenToNorReadFromATerminal) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
    GTEST_SKIP() << "no pseudo-terminal here";
  }
  const std::string name = ptsname(terminal);
  const int other_end = open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other_end, 0);
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.2");
  const std::string then = " is not written to a terminal; redirect it to a file or a pipe\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"encode", "k.png", "-"}, "quarn: stdout: a coded stream" + then},
      {{"decode", "k.qrn", "-"}, "quarn: stdout: a PNG image" + then},
      {{"decode", "k.qrn", "-", "-f", "ppm"}, "quarn: stdout: a PPM image" + then},
      {{"ladder", "k.png", "-", "-r", "0.1"}, "quarn: stdout: a PNG image" + then},
  };
  for (const auto& [args, message] : cases) {
    Child c;
    c.args = args;
    c.output_fd = other_end;
    const Outcome r = run(c);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, message) << args[0];
  }
  // The terminal by its name, and as stdin.
  Child named;
  named.args = {"encode", "k.png", name};
  EXPECT_EQ(run(named).err, "quarn: " + name + ": a coded stream" + then);
  Child typed;
  typed.args = {"decode", "-", "out.png"};
  typed.input = name;
  EXPECT_EQ(run(typed).err, "quarn: stdin: is a terminal; redirect a file or a pipe into it\n");
  // Nothing reached the terminal; text still does.
  fcntl(terminal, F_SETFL, O_NONBLOCK);
  char buffer[256];
  EXPECT_LT(read(terminal, buffer, sizeof buffer), 0);
  Child info;
  info.args = {"info", "k.qrn"};
  info.output_fd = other_end;
  EXPECT_EQ(run(info).status, 0);
  close(other_end);
  close(terminal);
}

}  // namespace
