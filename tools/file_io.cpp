#include "tools/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// What a pipe's first read gets room for, and the least a buffer grows by.
constexpr std::size_t kFirstRead = std::size_t{1} << 16;

std::string last_error(const char* fallback) {
  return errno != 0 ? std::strerror(errno) : fallback;
}

}  // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept
    : storage_(std::exchange(other.storage_, BigBuffer{})), size_(std::exchange(other.size_, 0)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    release_big(storage_);
    storage_ = std::exchange(other.storage_, BigBuffer{});
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool FileBytes::reserve(std::size_t capacity) {
  if (capacity <= storage_.bytes) return true;
  BigBuffer bigger = allocate_big(capacity);
  if (bigger.data == nullptr) return false;
  if (size_ > 0) std::memcpy(bigger.data, storage_.data, size_);
  release_big(storage_);
  storage_ = bigger;
  return true;
}

std::span<uint8_t> FileBytes::spare() {
  const std::size_t start = (size_ + 63) / 64 * 64;
  if (storage_.data == nullptr || start >= storage_.bytes) return {};
  return {data() + start, storage_.bytes - start};
}

std::string read_input(const std::string& path, FileBytes* data) {
  const bool standard = path == "-";
  if (standard && isatty(STDIN_FILENO)) {
    return "is a terminal; redirect a file or a pipe into it";
  }
  errno = 0;
  const int fd = standard ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return last_error("cannot open");
  // A regular file's size is known: one read fills the storage, a second
  // finds the end. Anything else grows as it comes.
  struct stat st;
  std::size_t expect = kFirstRead;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    expect = static_cast<std::size_t>(st.st_size) + 1;
  }
  data->set_size(0);
  std::string problem;
  if (!data->reserve(expect)) {
    problem = "out of memory";
  } else {
    for (;;) {
      if (data->size() == data->capacity() &&
          !data->reserve(data->capacity() + std::max(data->capacity(), kFirstRead))) {
        problem = "out of memory";
        break;
      }
      const ssize_t n =
          read(fd, data->data() + data->size(), data->capacity() - data->size());
      if (n > 0) {
        data->set_size(data->size() + static_cast<std::size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        problem = last_error("read error");
        break;
      }
    }
  }
  if (!standard) close(fd);
  return problem;
}
