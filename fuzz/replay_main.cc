// Runs saved inputs through a fuzz target without libFuzzer: every file named
// on the command line, and every file in each directory named (in name
// order). A directory that does not exist is skipped, so that a target with
// no saved crash inputs needs no empty folder. Any failure of the target
// aborts the run, which fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_helper.h"

namespace quarn {

namespace {

bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  // A copy of exactly the file's length, so that ASan sees any read past it.
  auto* copy = new uint8_t[bytes.size()];
  std::copy(bytes.begin(), bytes.end(), copy);
  LLVMFuzzerTestOneInput(copy, bytes.size());
  delete[] copy;
  return true;
}

}  // namespace

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  namespace fs = std::filesystem;
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    if (fs::is_directory(arg)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
      for (const auto& f : files) {
        if (!replay(f)) return 1;
        ++count;
      }
    } else if (fs::exists(arg)) {
      if (!replay(arg)) return 1;
      ++count;
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
