// Matrices and matrix lists of the stand-in host.
//
// A matrix keeps its information record and a zeroed block of data laid out
// by it. Setting the record reallocates the data when the layout changes and
// keeps it when the layout stays the same. Dimensions beyond `dimcount` count
// as 1; a layout with no cells, or one too large to allocate, has no data.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/object_model.h"

namespace platform {
namespace {

void destroy_matrix(t_object* self) {
  auto* m = static_cast<Matrix*>(self);
  std::free(m->data);
  delete m;
}

// Strides and size of a layout; false when it has no cells or does not fit.
bool layout(t_jit_matrix_info& info, long row_padding, std::size_t* bytes) {
  for (long i = 0; i < JIT_MATRIX_MAX_DIMCOUNT; ++i) info.dimstride[i] = 0;
  const std::size_t cell = type_size(info.type) * static_cast<std::size_t>(info.planecount);
  bool fits = cell > 0;
  const uint64_t limit = static_cast<uint64_t>(LONG_MAX);
  uint64_t stride = cell;
  for (long i = 0; i < info.dimcount && fits; ++i) {
    if (info.dim[i] < 1) fits = false;
    if (!fits) break;
    info.dimstride[i] = static_cast<long>(stride);
    const auto n = static_cast<uint64_t>(info.dim[i]);
    if (stride > limit / n) fits = false;
    stride *= n;
    if (i == 0 && info.dimcount > 1) stride += static_cast<uint64_t>(row_padding);
    if (stride > limit) fits = false;
  }
  *bytes = fits ? static_cast<std::size_t>(stride) : 0;
  return fits;
}

bool same_layout(const t_jit_matrix_info& a, const t_jit_matrix_info& b) {
  if (a.type != b.type || a.planecount != b.planecount || a.dimcount != b.dimcount) {
    return false;
  }
  for (long i = 0; i < a.dimcount; ++i) {
    if (a.dim[i] != b.dim[i] || a.dimstride[i] != b.dimstride[i]) return false;
  }
  return true;
}

std::string describe(const t_jit_matrix_info& info) {
  std::string s;
  for (long i = 0; i < info.dimcount; ++i) {
    if (i > 0) s += "x";
    s += std::to_string(info.dim[i]);
  }
  s += " " + std::to_string(info.planecount) + " ";
  s += info.type != nullptr ? info.type->s_name : "?";
  return s;
}

void* list_handler(t_object* self, t_symbol* s, Args& args) {
  auto* list = static_cast<MatrixList*>(self);
  if (s == _jit_sym_getindex) {
    const t_atom_long i = args.integer();
    if (i < 0 || static_cast<std::size_t>(i) >= list->items.size()) return nullptr;
    return list->items[static_cast<std::size_t>(i)];
  }
  console_append(std::string("jit_linklist: doesn't understand \"") + s->s_name + "\"");
  return nullptr;
}

void destroy_list(t_object* self) { delete static_cast<MatrixList*>(self); }

}  // namespace

std::size_t type_size(const t_symbol* type) {
  if (type == _jit_sym_char) return 1;
  if (type == _jit_sym_long || type == _jit_sym_float32) return 4;
  if (type == _jit_sym_float64) return 8;
  return 0;
}

void apply_info(Matrix* m, const t_jit_matrix_info& requested) {
  t_jit_matrix_info info = requested;
  info.size = sizeof(t_jit_matrix_info);
  if (info.dimcount < 1) info.dimcount = 1;
  if (info.dimcount > JIT_MATRIX_MAX_DIMCOUNT) info.dimcount = JIT_MATRIX_MAX_DIMCOUNT;
  if (info.planecount < 1) info.planecount = 1;
  if (info.planecount > JIT_MATRIX_MAX_PLANECOUNT) info.planecount = JIT_MATRIX_MAX_PLANECOUNT;
  for (long i = info.dimcount; i < JIT_MATRIX_MAX_DIMCOUNT; ++i) info.dim[i] = 1;
  if (info.dim[0] < 0) info.dim[0] = 0;
  std::size_t bytes = 0;
  const bool fits = layout(info, m->row_padding, &bytes);
  if (m->data != nullptr && fits && same_layout(info, m->info)) {
    m->info = info;
    return;
  }
  std::free(m->data);
  m->data = fits ? static_cast<uint8_t*>(std::calloc(bytes, 1)) : nullptr;
  m->bytes = m->data != nullptr ? bytes : 0;
  m->info = info;
}

void* matrix_handler(t_object* self, t_symbol* s, Args& args) {
  auto* m = static_cast<Matrix*>(self);
  if (s == _jit_sym_lock) {
    const t_atom_long state = args.integer();
    const t_atom_long previous = m->lock;
    m->lock = state;
    ++m->lock_calls;
    trace_matrix(m, "lock", std::to_string(state));
    return reinterpret_cast<void*>(previous);
  }
  if (s == _jit_sym_getinfo) {
    auto* info = static_cast<t_jit_matrix_info*>(args.pointer());
    if (info != nullptr) *info = m->info;
    trace_matrix(m, "getinfo", "");
    return nullptr;
  }
  if (s == _jit_sym_setinfo) {
    const auto* info = static_cast<const t_jit_matrix_info*>(args.pointer());
    if (info != nullptr) apply_info(m, *info);
    trace_matrix(m, "setinfo", describe(m->info));
    return nullptr;
  }
  if (s == _jit_sym_getdata) {
    auto** data = static_cast<void**>(args.pointer());
    if (data != nullptr) *data = m->data;
    trace_matrix(m, "getdata", "");
    return nullptr;
  }
  console_append(std::string("jit_matrix: doesn't understand \"") + s->s_name + "\"");
  return nullptr;
}

t_class* matrix_class() {
  static t_class* c = make_builtin("jit_matrix", matrix_handler, destroy_matrix);
  return c;
}

t_class* matrix_list_class() {
  static t_class* c = make_builtin("jit_linklist", list_handler, destroy_list);
  return c;
}

void trace_matrix(const Matrix* m, const char* selector, const std::string& arg) {
  std::string line = m->label + " " + selector;
  if (!arg.empty()) line += " " + arg;
  trace_append(line);
}

Matrix* make_matrix(const t_jit_matrix_info& info, long row_padding) {
  auto* m = new Matrix;
  init_object(m, matrix_class());
  m->row_padding = row_padding < 0 ? 0 : row_padding;
  apply_info(m, info);
  return m;
}

MatrixList* make_matrix_list(const std::vector<void*>& items) {
  auto* list = new MatrixList;
  init_object(list, matrix_list_class());
  list->items = items;
  return list;
}

}  // namespace platform
