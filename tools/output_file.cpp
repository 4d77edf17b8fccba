#include "tools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quarn {

namespace {

std::string system_error() { return std::strerror(errno); }

// Links are followed at most this deep, as the system does.
constexpr int kMostLinks = 40;

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path that writing `path` reaches: itself, or the end of its chain of
// symlinks (which need not exist yet).
std::string follow_links(const std::string& path, std::string* target) {
  std::string p = path;
  for (int hops = 0; hops <= kMostLinks; ++hops) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = p;
      return {};
    }
    std::vector<char> text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
    const ssize_t n = readlink(p.c_str(), text.data(), text.size());
    if (n < 0) return system_error();
    if (static_cast<std::size_t>(n) == text.size()) return "symbolic link changed while read";
    std::string link(text.data(), static_cast<std::size_t>(n));
    p = link.empty() || link[0] == '/' ? link : folder_of(p) + "/" + link;
  }
  return std::strerror(ELOOP);
}

std::string write_all(int fd, std::span<const uint8_t> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 ? system_error() : "write error";
    }
  }
  return {};
}

std::string refuse_terminal(const std::string& binary) {
  return binary + " is not written to a terminal; redirect it to a file or a pipe";
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (fd_ >= 0 && kind_ != Kind::kStdout) close(fd_);
  fd_ = -1;
  // Only a temporary file is ever removed: the tool made it.
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  kind_ = Kind::kClosed;
}

std::string OutputFile::open(const std::string& path, const std::string& binary) {
  discard();
  replacing_ = false;
  if (path == "-") {
    if (!binary.empty() && isatty(STDOUT_FILENO)) return refuse_terminal(binary);
    kind_ = Kind::kStdout;
    fd_ = STDOUT_FILENO;
    return {};
  }
  std::string problem = follow_links(path, &target_);
  if (!problem.empty()) return problem;
  struct stat st;
  if (stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode)) {
      // A device, a FIFO, a terminal: written where it is.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (fd_ < 0) return system_error();
      kind_ = Kind::kInPlace;
      if (!binary.empty() && isatty(fd_)) {
        discard();
        return refuse_terminal(binary);
      }
      return {};
    }
    // A file the user could not write is not replaced either.
    if (access(target_.c_str(), W_OK) != 0) return system_error();
    replacing_ = true;
    mode_ = st.st_mode & 07777;
    owner_ = st.st_uid;
    group_ = st.st_gid;
  } else if (errno != ENOENT) {
    return system_error();
  }
  folder_ = folder_of(target_);
  problem = make_temporary();
  if (problem.empty()) kind_ = Kind::kReplace;
  return problem;
}

std::string OutputFile::make_temporary() {
#ifdef O_TMPFILE
  // Unnamed until it is complete: nothing is left behind if the tool dies.
  fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ >= 0) return {};
  // File systems without unnamed files say so in one of these ways.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return system_error();
#endif
  return name_temporary();
}

// A hidden name beside the target that nothing else uses, created by us.
std::string OutputFile::name_temporary() {
  const std::string stem = folder_ + "/." + name_of(target_).substr(0, 200) + "." +
                           std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = stem + std::to_string(attempt) + ".tmp";
    if (fd_ >= 0) {
      // Give the unnamed file this name.
      const std::string self = "/proc/self/fd/" + std::to_string(fd_);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_ = name;
        return {};
      }
    } else {
      const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_ = fd;
        temp_ = name;
        return {};
      }
    }
    if (errno != EEXIST) return system_error();
  }
  return "cannot find a name for a temporary file";
}

std::string OutputFile::write(std::span<const uint8_t> data) {
  std::string problem;
  switch (kind_) {
    case Kind::kClosed:
      return "not open";
    case Kind::kStdout:
      // Whatever the tool printed there comes first.
      if (std::fflush(stdout) != 0) return system_error();
      return write_all(fd_, data);
    case Kind::kInPlace:
      problem = write_all(fd_, data);
      if (close(fd_) != 0 && problem.empty()) problem = system_error();
      fd_ = -1;
      kind_ = Kind::kClosed;
      return problem;
    case Kind::kReplace:
      problem = replace(data);
      discard();
      return problem;
  }
  return {};
}

// An existing file is replaced only once its successor is on the disk, so
// that a crash leaves one or the other whole. A new name has nothing to
// keep: waiting for the disk there would only make the tool slower than
// the tools it stands beside.
std::string OutputFile::flush(int fd) const {
  return replacing_ && fsync(fd) != 0 ? system_error() : std::string();
}

std::string OutputFile::replace(std::span<const uint8_t> data) {
  std::string problem = write_all(fd_, data);
  if (problem.empty()) problem = flush(fd_);
  if (!problem.empty()) return problem;
  keep_permissions();
  if (temp_.empty()) {
    problem = name_temporary();
    if (!problem.empty()) {
      // No way to name the unnamed file (no /proc): write a named one.
      close(fd_);
      fd_ = -1;
      problem = name_temporary();
      if (problem.empty()) problem = write_all(fd_, data);
      if (problem.empty()) problem = flush(fd_);
      if (!problem.empty()) return problem;
      keep_permissions();
    }
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return system_error();
  if (rename(temp_.c_str(), target_.c_str()) != 0) return system_error();
  temp_.clear();  // it is the target now
  // The new name on the disk too. The file is complete and in place by now,
  // so a folder that cannot be flushed is not reported.
  if (!replacing_) return {};
  const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return {};
}

void OutputFile::keep_permissions() {
  if (!replacing_) return;
  // The owner first, since a change of owner may clear the set-id bits.
  // Only the superuser can give a file away; otherwise the new file is ours.
  const int given = fchown(fd_, owner_, group_);
  static_cast<void>(given);
  fchmod(fd_, mode_);
}

std::string check_not_input(const std::string& in, const std::string& out) {
  struct stat a, b;
  const bool have_in = in == "-" ? fstat(STDIN_FILENO, &a) == 0 : stat(in.c_str(), &a) == 0;
  const bool have_out = out == "-" ? fstat(STDOUT_FILENO, &b) == 0 : stat(out.c_str(), &b) == 0;
  if (!have_in || !have_out || a.st_dev != b.st_dev || a.st_ino != b.st_ino) return {};
  // Streams of bytes (a pipe, a terminal, /dev/null) hold nothing to lose.
  if (S_ISCHR(a.st_mode) || S_ISFIFO(a.st_mode) || S_ISSOCK(a.st_mode)) return {};
  if (in == out && in != "-") return "is the input file; write the output to another file";
  return "is the same file as the input " + (in == "-" ? std::string("stdin") : in) +
         "; write the output to another file";
}

}  // namespace quarn
