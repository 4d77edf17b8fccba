// jit.quarnpack: class registration, instances, and matrix_calc, which sizes
// the output row, checks both matrices, packs the image's colour planes and
// runs the encoder.
//
// A frame that the codec cannot take (a size outside 32..8192, a bitrate that
// is not a usable number or too low for the stream header) is refused with
// EROR and one console message, so that nothing from a patch can reach the
// codec's fatal-error exit and end the host.
#include "host/jit_quarnpack.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "codec/encoder.h"
#include "host/encoder_row.h"
#include "host/fault_report.h"
#include "host/matrix_access.h"
#include "host/plugin_class.h"

namespace quarn {

namespace {

constexpr host::PluginNames kNames{"jit_quarnpack", "jit.quarnpack", 1};

void* jit_quarnpack_class = nullptr;

// The one codec record of this module, shared by every instance. The host
// may call matrix_calc from several threads, so the pipeline runs under a
// lock.
Encoder encoder;
std::mutex encoder_mutex;

void* jit_quarnpack_new() { return host::new_jit_instance(jit_quarnpack_class); }

void jit_quarnpack_free(void*) {}

// Planes 1, 2 and 3 of each 4-byte cell, row after row at the input's row
// stride, into packed 3-byte pixels.
void pack_rgb(const uint8_t* in, std::ptrdiff_t row_stride, int32_t width, int32_t height,
              uint8_t* rgb) {
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* cell = in + r * row_stride;
    for (int32_t c = 0; c < width; ++c, cell += 4, rgb += 3) {
      rgb[0] = cell[1];
      rgb[1] = cell[2];
      rgb[2] = cell[3];
    }
  }
}

t_jit_err jit_quarnpack_matrix_calc(void* x, void* inputs, void* outputs) {
  using namespace host;
  if (x == nullptr || inputs == nullptr || outputs == nullptr) return JIT_ERR_INVALID_PTR;
  const double bitrate = static_cast<t_jit_quarn*>(x)->bitrate;
  void* in = list_item(inputs, 0L);
  void* out = list_item(outputs, 0L);
  if (in == nullptr || out == nullptr) return JIT_ERR_INVALID_PTR;

  FrameLock lock(in, out);
  t_jit_matrix_info in_info{};
  t_jit_matrix_info out_info{};
  get_info(in, &in_info);
  get_info(out, &out_info);

  const long width = dim_of(in_info, 0);
  const long height = dim_of(in_info, 1);
  const std::string problem = check_row_encode(width, height, bitrate);
  if (problem.empty()) {
    // The output row is sized before the matrices are checked.
    out_info.dim[0] = static_cast<long>(
        encoder_row_cells(static_cast<int32_t>(width), static_cast<int32_t>(height), bitrate));
    out_info.dim[1] = 1;
    set_info(out, &out_info);
    get_info(out, &out_info);
  }

  const uint8_t* in_data = get_data(in);
  uint8_t* out_data = get_data(out);
  if (in_data == nullptr || out_data == nullptr) return JIT_ERR_GENERIC;
  if (in_info.type != _jit_sym_char || in_info.type != out_info.type) {
    return JIT_ERR_MISMATCH_TYPE;
  }
  if (in_info.planecount != 4 || out_info.planecount != 1) return JIT_ERR_MISMATCH_PLANE;
  if (!problem.empty()) {
    error("%s: %s", kNames.max_class, problem.c_str());
    return JIT_ERR_GENERIC;
  }

  const auto w = static_cast<int32_t>(width);
  const auto h = static_cast<int32_t>(height);
  const std::size_t rgb_size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
  std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[rgb_size]);
  if (rgb == nullptr) {
    error("%s: not enough memory for a %dx%d image", kNames.max_class, w, h);
    return JIT_ERR_GENERIC;
  }
  pack_rgb(in_data, in_info.dimstride[1], w, h, rgb.get());

  // The row holds what the host made of the size asked for; the stream is
  // cut to it rather than written past its end.
  const std::size_t capacity = out_info.dim[0] > 0 ? static_cast<std::size_t>(out_info.dim[0]) : 0;
  int32_t written = 0;
  {
    std::lock_guard<std::mutex> hold(encoder_mutex);
    run_or_end([&] { written = encode_image(encoder, out_data, capacity, w, h, rgb.get(), bitrate); });
  }
  // The row rule can give a cell more than the prefix and the stream take;
  // whatever the host left there (or the coder's slack) must not reach a
  // decoder as a stream byte.
  const auto prefix = static_cast<std::size_t>(kPrefixBytes);
  const std::size_t used = capacity >= prefix ? prefix + static_cast<std::size_t>(written) : 0;
  if (capacity > used) std::memset(out_data + used, 0, capacity - used);
  return JIT_ERR_NONE;
}

}  // namespace

}  // namespace quarn

void* max_jit_quarnpack_class = nullptr;

t_jit_err jit_quarnpack_init(void) {
  using quarn::host::as_method;
  quarn::host::register_jit_class(quarn::kNames, as_method(quarn::jit_quarnpack_new),
                                  as_method(quarn::jit_quarnpack_free),
                                  as_method(quarn::jit_quarnpack_matrix_calc),
                                  &quarn::jit_quarnpack_class);
  return JIT_ERR_NONE;
}

void* max_jit_quarnpack_new(t_symbol* s, long argc, t_atom* argv) {
  (void)s;
  return quarn::host::new_max_instance(quarn::kNames, max_jit_quarnpack_class, argc, argv);
}

void max_jit_quarnpack_free(void* x) { quarn::host::free_max_instance(x); }
