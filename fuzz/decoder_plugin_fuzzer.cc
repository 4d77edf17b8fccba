// jit.quarnopen in the stand-in host, fed any matrix: element type, plane
// count, dimension count, sizes, row padding (and so the row stride), the
// number of rows and their bytes, the output matrix's kind and the bitrate
// all come from the input. Whatever it gets, the plug-in must return one of
// its codes, leave both matrices unlocked as they were, print one-line
// messages, and on success leave an output of the last row's size with 255
// in plane 0 of every pixel.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "codec/stream_header.h"
#include "codec/validate.h"
#include "fuzz/fuzz_helper.h"
#include "platform/loader.h"
#include "tests/host_matrix_checks.h"

namespace quarn {

namespace {

t_symbol* take_type(uint8_t b) {
  switch (b & 7) {
    case 4: return _jit_sym_long;
    case 5: return _jit_sym_float32;
    case 6: return _jit_sym_float64;
    case 7: return nullptr;  // no type at all
    default: return _jit_sym_char;
  }
}

// One instance for the run, as a patch keeps its object from frame to frame.
void* decoder_instance() {
  static void* instance = [] {
    platform::Module module;
    const std::string problem = platform::load_module(QUARN_OPEN_MODULE, &module);
    fuzz::require(problem.empty(), "the decoder plug-in loads", problem);
    return platform::new_instance("jit.quarnopen");
  }();
  return instance;
}

}  // namespace

int test_one_input(const uint8_t* data, std::size_t size) {
  void* instance = decoder_instance();
  fuzz::Bytes in(data, size);
  t_symbol* const type = take_type(in.u8());
  const uint8_t planes_byte = in.u8();
  const long planes = (planes_byte & 0x80) != 0 ? planes_byte & 0x3F : 1;
  const uint8_t dims_byte = in.u8();
  const long dimcount = (dims_byte & 0x80) != 0 ? dims_byte % 5 : 2;
  const uint8_t rows_byte = in.u8();
  const long rows = rows_byte >= 0xF0 ? 0 : 1 + rows_byte % 3;
  const long padding = in.u8() % 16;
  const uint8_t out_byte = in.u8();
  const uint8_t rate_byte = in.u8();
  double bitrate = 0.5;
  if (rate_byte >= 0xF0) {
    bitrate = in.f64();
  } else if (rate_byte >= 0x80) {
    bitrate = in.u16() / 4096.0;
  }

  // The rest is the rows' bytes, one equal share each.
  const std::size_t share = rows > 0 ? in.rest_size() / static_cast<std::size_t>(rows) : 0;
  // A row's size prefix decides the output's size: keep those the fuzzer can
  // decode quickly.
  for (long r = 0; r < rows; ++r) {
    if (share < static_cast<std::size_t>(kPrefixBytes)) break;
    int32_t w = 0;
    int32_t h = 0;
    read_size_prefix(in.rest() + r * share, &w, &h);
    if (check_size(w, h).empty() && static_cast<int64_t>(w) * h > fuzz::kMaxPixels) return 0;
  }

  void* input = platform::new_matrix(_jit_sym_char, 1, 1, 1, padding, "in");
  t_jit_matrix_info info = platform::matrix_info(input);
  info.type = type;
  info.planecount = planes;
  info.dimcount = dimcount;
  const std::size_t bytes_per_cell =
      (type == _jit_sym_char ? 1 : type == _jit_sym_float64 ? 8 : 4) *
      static_cast<std::size_t>(planes < 1 ? 1 : planes > 32 ? 32 : planes);
  info.dim[0] = static_cast<long>(share / bytes_per_cell);
  info.dim[1] = rows;
  info.dim[2] = 1 + (dims_byte & 1);
  info.dim[3] = 1;
  jit_object_method(input, _jit_sym_setinfo, &info);
  info = platform::matrix_info(input);
  if (uint8_t* cells = platform::matrix_data(input); cells != nullptr) {
    const long copied_rows = info.dimcount > 1 ? info.dim[1] : 1;
    const auto row_bytes = static_cast<std::size_t>(info.dim[0]) * bytes_per_cell;
    for (long r = 0; r < copied_rows && r < rows; ++r) {
      std::memcpy(cells + r * info.dimstride[1], in.rest() + r * share,
                  std::min(row_bytes, share));
    }
  }

  void* output = platform::output_matrix(instance, 1);
  void* own_output = nullptr;
  if (out_byte >= 0xC0) {
    own_output = platform::new_matrix(take_type(out_byte), 1 + (out_byte >> 3) % 5, 1, 1,
                                      out_byte & 7, "out");
    output = own_output;
  }
  platform::set_attribute(instance, "bitrate", bitrate);
  const long input_lock = platform::lock_state(input);
  const long output_lock = platform::lock_state(output);

  const t_jit_err result = platform::matrix_calc(instance, {input}, {output});
  fuzz::require(result == 0 || result == kEROR || result == kINVP || result == kMSTP ||
                    result == kMSPL,
                "matrix_calc returns one of its codes", std::to_string(result));
  fuzz::require(platform::lock_state(input) == input_lock &&
                    platform::lock_state(output) == output_lock,
                "both matrices are left as locked as they were");
  for (const std::string& message : platform::take_errors()) fuzz::require_one_line(message);
  if (result == 0) {
    const t_jit_matrix_info out_info = platform::matrix_info(output);
    int32_t w = 0;
    int32_t h = 0;
    read_size_prefix(platform::matrix_data(input) + (rows - 1) * info.dimstride[1], &w, &h);
    fuzz::require(out_info.dim[0] == w && out_info.dim[1] == h && out_info.planecount == 4,
                  "a decoded frame has the last row's size and 4 planes");
    fuzz::require(plane0_all_255(output), "every decoded pixel has 255 in plane 0");
  }
  platform::free_matrix(input);
  if (own_output != nullptr) platform::free_matrix(own_output);
  return 0;
}

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return quarn::test_one_input(data, size);
}
