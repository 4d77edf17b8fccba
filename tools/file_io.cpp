#include "tools/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string last_error(const char* fallback) {
  return errno != 0 ? std::strerror(errno) : fallback;
}

}  // namespace

std::string read_input(const std::string& path, std::vector<uint8_t>* data) {
  const bool standard = path == "-";
  errno = 0;
  std::FILE* f = standard ? stdin : std::fopen(path.c_str(), "rb");
  if (f == nullptr) return last_error("cannot open");
  data->clear();
  uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    data->insert(data->end(), chunk, chunk + n);
  }
  std::string problem;
  if (std::ferror(f)) problem = last_error("read error");
  if (!standard) std::fclose(f);
  return problem;
}

std::string write_output(const std::string& path, const std::vector<uint8_t>& data) {
  errno = 0;
  if (path == "-") {
    const bool ok = std::fwrite(data.data(), 1, data.size(), stdout) == data.size() &&
                    std::fflush(stdout) == 0;
    return ok ? std::string() : last_error("write error");
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return last_error("cannot create");
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  std::string problem = written ? std::string() : last_error("write error");
  if (std::fclose(f) != 0 && problem.empty()) problem = last_error("write error");
  if (!problem.empty()) std::remove(path.c_str());
  return problem;
}
