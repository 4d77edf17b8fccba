// jit.quarnopen: class registration, instances, and matrix_calc, which sizes
// the output from each input row's size prefix, checks both matrices, and
// decodes the stream of the last row into the output.
//
// Rows are checked before anything is read from them beyond their end or
// handed to the decoder: a row shorter than its prefix and header, a stream
// that does not start with "n", or a header whose size differs from the
// prefix or lies outside 32..8192 is refused with EROR and one console
// message, as are an input without rows and a bitrate that is not a usable
// number. Nothing from a patch can reach the codec's fatal-error exit.
#include "host/jit_quarnopen.h"

#include <cstddef>
#include <mutex>
#include <string>

#include "codec/decoder.h"
#include "codec/stream_header.h"
#include "codec/validate.h"
#include "host/fault_report.h"
#include "host/matrix_access.h"
#include "host/plugin_class.h"

namespace quarn {

namespace {

constexpr host::PluginNames kNames{"jit_quarnopen", "jit.quarnopen", 4};

void* jit_quarnopen_class = nullptr;

// The one codec record of this module, shared by every instance, used by
// one frame at a time. A frame's stages run on every processor thread (the
// codec's worker pool), the host's calling thread among them.
Decoder decoder;
std::mutex decoder_mutex;

void* jit_quarnopen_new() { return host::new_jit_instance(jit_quarnopen_class); }

void jit_quarnopen_free(void*) {}

std::size_t cell_bytes(const t_jit_matrix_info& info) {
  std::size_t size = 0;
  if (info.type == _jit_sym_char) size = 1;
  if (info.type == _jit_sym_long || info.type == _jit_sym_float32) size = 4;
  if (info.type == _jit_sym_float64) size = 8;
  return info.planecount > 0 ? size * static_cast<std::size_t>(info.planecount) : 0;
}

t_jit_err jit_quarnopen_matrix_calc(void* x, void* inputs, void* outputs) {
  using namespace host;
  if (x == nullptr || inputs == nullptr || outputs == nullptr) return JIT_ERR_INVALID_PTR;
  void* in = list_item(inputs, 0L);
  void* out = list_item(outputs, 0L);
  if (in == nullptr || out == nullptr) return JIT_ERR_INVALID_PTR;

  FrameLock lock(in, out);
  t_jit_matrix_info in_info{};
  t_jit_matrix_info out_info{};
  get_info(in, &in_info);
  get_info(out, &out_info);
  const uint8_t* in_data = get_data(in);

  const long row_cells = dim_of(in_info, 0);
  const long rows = dim_of(in_info, 1);
  if (row_cells < 1 || rows < 1) {
    error("%s: the input matrix has no rows", kNames.max_class);
    return JIT_ERR_GENERIC;
  }
  if (in_data == nullptr) return JIT_ERR_GENERIC;

  const double bitrate = static_cast<t_jit_quarn*>(x)->bitrate;
  const std::string bad_rate = check_bitrate(bitrate);
  if (!bad_rate.empty()) {
    error("%s: %s", kNames.max_class, bad_rate.c_str());
    return JIT_ERR_GENERIC;
  }

  // A row of the expected kind is checked in full before the output is sized
  // from it. Of any other row only the prefix is read, when the row holds it
  // and its size is one the codec takes, so that the output is sized as
  // usual before the type or plane check refuses the frame.
  const bool coded_rows = in_info.type == _jit_sym_char && in_info.type == out_info.type &&
                          in_info.planecount == 1 && out_info.planecount == 4;
  const std::size_t row_bytes = static_cast<std::size_t>(row_cells) * cell_bytes(in_info);

  const uint8_t* stream = nullptr;
  StreamHeader header;
  uint8_t* out_data = nullptr;
  for (long r = 0; r < rows; ++r) {
    const uint8_t* row = in_data + r * in_info.dimstride[1];
    int32_t w = 0;
    int32_t h = 0;
    bool sized = false;
    StreamHeader row_header;
    if (coded_rows) {
      const std::string problem = check_stream(row, row_bytes, &row_header);
      if (!problem.empty()) {
        if (rows > 1) {
          error("%s: row %ld: %s", kNames.max_class, r, problem.c_str());
        } else {
          error("%s: %s", kNames.max_class, problem.c_str());
        }
        return JIT_ERR_GENERIC;
      }
      w = row_header.width;
      h = row_header.height;
      sized = true;
    } else if (row_bytes >= static_cast<std::size_t>(kPrefixBytes)) {
      read_size_prefix(row, &w, &h);
      sized = check_size(w, h).empty();
    }
    if (sized) {
      out_info.dim[0] = w;
      out_info.dim[1] = h;
      set_info(out, &out_info);
      get_info(out, &out_info);
    }

    out_data = get_data(out);
    if (out_data == nullptr) return JIT_ERR_GENERIC;
    if (in_info.type != _jit_sym_char || in_info.type != out_info.type) {
      return JIT_ERR_MISMATCH_TYPE;
    }
    if (in_info.planecount != 1 || out_info.planecount != 4) return JIT_ERR_MISMATCH_PLANE;
    if (dim_of(out_info, 0) != w || dim_of(out_info, 1) != h || out_info.dimstride[1] < 4L * w) {
      error("%s: the output matrix could not be sized to %dx%d", kNames.max_class, w, h);
      return JIT_ERR_GENERIC;
    }
    header = row_header;
    stream = row + kPrefixBytes;
  }

  // Only the last row is decoded, straight from the input, which stays
  // locked until the frame is done.
  std::lock_guard<std::mutex> hold(decoder_mutex);
  decoder.threads = 0;
  run_or_end([&] {
    decode_image(decoder, header, stream, row_bytes - kPrefixBytes, out_data, out_info.dimstride[1],
                 bitrate);
  });
  return JIT_ERR_NONE;
}

}  // namespace

}  // namespace quarn

void* max_jit_quarnopen_class = nullptr;

t_jit_err jit_quarnopen_init(void) {
  using quarn::host::as_method;
  quarn::host::register_jit_class(quarn::kNames, as_method(quarn::jit_quarnopen_new),
                                  as_method(quarn::jit_quarnopen_free),
                                  as_method(quarn::jit_quarnopen_matrix_calc),
                                  &quarn::jit_quarnopen_class);
  return JIT_ERR_NONE;
}

void* max_jit_quarnopen_new(t_symbol* s, long argc, t_atom* argv) {
  (void)s;
  return quarn::host::new_max_instance(quarn::kNames, max_jit_quarnopen_class, argc, argv);
}

void max_jit_quarnopen_free(void* x) { quarn::host::free_max_instance(x); }
