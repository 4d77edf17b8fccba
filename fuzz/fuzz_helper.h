// Shared pieces of the fuzz targets: a reader that turns the fuzzer's bytes
// into parameters, the limits the targets keep to, and the check that turns a
// broken promise into a crash the fuzzer records.
//
// Every target is built twice: as a libFuzzer binary (clang, with ASan and
// UBSan) and as a plain replay program (replay_main.cc) that CTest runs over
// the seed corpus and the saved regression inputs in every build.
#ifndef QUARN_FUZZ_FUZZ_HELPER_H
#define QUARN_FUZZ_FUZZ_HELPER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quarn {

namespace fuzz {

// Images the targets code or decode are kept to this many pixels (256 x 256,
// or 2048 x 32), so that an input runs in milliseconds under the sanitizers
// and the fuzzer explores shapes and streams rather than spending its time on
// one large picture. Larger images are covered by the tests.
inline constexpr int64_t kMaxPixels = 1 << 16;
// Likewise for the budget of an encoding (B bytes): 64 KB is 8 bits per pixel
// at the largest size above, 64 bits per pixel at 256 x 32.
inline constexpr int32_t kMaxStreamBytes = 1 << 16;

// Aborts with a message when a promise of the code under test is broken: the
// fuzzer saves the input, the replay test fails.
inline void require(bool ok, const char* what, const std::string& detail = {}) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s%s%s\n", what, detail.empty() ? "" : ": ",
               detail.c_str());
  std::abort();
}

// A refusal must be one non-empty line: the front ends print it as is.
inline void require_one_line(const std::string& problem) {
  require(!problem.empty() && problem.find('\n') == std::string::npos,
          "a refusal is one non-empty line", problem);
}

// Takes parameters from the front of the input; the rest is payload. Reads
// past the end give zeros, so every input is usable.
class Bytes {
 public:
  Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t u16() {
    const uint16_t high = u8();
    return static_cast<uint16_t>((high << 8) | u8());
  }
  double f64() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | u8();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  const uint8_t* rest() const { return data_ + pos_; }
  std::size_t rest_size() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace fuzz

// Each target's body, which its LLVMFuzzerTestOneInput calls.
int test_one_input(const uint8_t* data, std::size_t size);

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

#endif  // QUARN_FUZZ_FUZZ_HELPER_H
