// The Max side of the stand-in host: Max classes, the console, and the
// wrapper that gives a jit matrix operator its Max-side instance (the obex
// record with the wrapped object and its matrices).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/object_model.h"

namespace platform {
namespace {

t_class* max_class_of(void* x) {
  t_object* o = as_object(x);
  return (o != nullptr && o->o_class->max_side) ? o->o_class : nullptr;
}

Mop* mop_of(const t_class* k) {
  for (t_object* a : k->adornments) {
    if (a->o_class == mop_class()) return static_cast<Mop*>(a);
  }
  return nullptr;
}

Matrix* make_io_matrix(const MopIO* io) {
  t_jit_matrix_info info{};
  info.type = io->types.empty() ? _jit_sym_char : io->types.front();
  info.planecount = 4;
  info.dimcount = 2;
  info.dim[0] = 1;
  info.dim[1] = 1;
  Matrix* m = make_matrix(info, 0);
  m->label = (io->output ? "out" : "in") + std::to_string(io->index);
  return m;
}

bool is_number(const t_atom& a) { return a.a_type == A_LONG || a.a_type == A_FLOAT; }

double number_of(const t_atom& a) {
  return a.a_type == A_LONG ? static_cast<double>(a.a_w.w_long) : a.a_w.w_float;
}

bool is_attribute_name(const t_atom& a) {
  return a.a_type == A_SYM && a.a_w.w_sym != nullptr && a.a_w.w_sym->s_name[0] == '@';
}

}  // namespace

Obex* obex_of(void* x) {
  t_class* k = max_class_of(x);
  if (k == nullptr || k->obex_offset < 0) return nullptr;
  Obex* obex = nullptr;
  std::memcpy(&obex, static_cast<unsigned char*>(x) + k->obex_offset, sizeof obex);
  return obex;
}

}  // namespace platform

using platform::console_append;

void setup(t_class** ident, method makefun, method freefun, long size, method menufun,
           int type, ...) {
  (void)menufun;
  va_list ap;
  va_start(ap, type);
  const std::vector<int> types = platform::read_types(type, &ap);
  va_end(ap);
  platform::Registry& r = platform::registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  if (size < static_cast<long>(sizeof(t_object))) {
    console_append("setup: instance size is smaller than the object header");
    r.current_max = nullptr;
    if (ident != nullptr) *ident = nullptr;
    return;
  }
  auto* c = new t_class;
  c->name = r.loading_name.empty() ? "unnamed" : r.loading_name;
  c->max_side = true;
  c->mnew = makefun;
  c->mfree = freefun;
  c->size = size;
  c->new_types = types;
  r.max_classes[c->name] = c;
  r.current_max = c;
  if (ident != nullptr) *ident = c;
}

void addmess(method f, const char* s, int type, ...) {
  va_list ap;
  va_start(ap, type);
  const std::vector<int> types = platform::read_types(type, &ap);
  va_end(ap);
  platform::Registry& r = platform::registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  if (r.current_max == nullptr || f == nullptr || s == nullptr) return;
  r.current_max->messages[s] = platform::ClassMethod{f, types};
}

void error(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), fmt, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  console_append(text);
}

void freeobject(void* x) {
  t_object* o = platform::as_object(x);
  if (o == nullptr) return;
  if (!o->o_class->max_side) {
    jit_object_free(x);
    return;
  }
  if (o->o_class->mfree != nullptr) reinterpret_cast<void (*)(void*)>(o->o_class->mfree)(x);
  o->o_magic = 0;
  std::free(x);
}

void* max_jit_classex_setup(long oboffset) {
  platform::Registry& r = platform::registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  t_class* c = r.current_max;
  if (c == nullptr) return nullptr;
  if (oboffset < static_cast<long>(sizeof(t_object)) ||
      oboffset > c->size - static_cast<long>(sizeof(void*))) {
    console_append(c->name + ": obex offset lies outside the instance");
    return nullptr;
  }
  c->obex_offset = oboffset;
  return c;
}

namespace {

// A Max class and a registered jit class, or null ones when the pair cannot
// be wrapped.
bool wrappable(void* mclass, void* jclass, t_class** m, t_class** j) {
  *m = static_cast<t_class*>(mclass);
  *j = static_cast<t_class*>(jclass);
  return *m != nullptr && (*m)->max_side && *j != nullptr && (*j)->registered;
}

}  // namespace

t_jit_err max_jit_classex_mop_wrap(void* mclass, void* jclass, long flags) {
  (void)flags;
  t_class* m = nullptr;
  t_class* j = nullptr;
  if (!wrappable(mclass, jclass, &m, &j)) return JIT_ERR_INVALID_PTR;
  if (platform::mop_of(j) == nullptr) {
    console_append(m->name + ": " + j->name + " has no matrix operator description");
    return JIT_ERR_GENERIC;
  }
  m->wrapped = j;
  m->mop_wrapped = true;
  return JIT_ERR_NONE;
}

t_jit_err max_jit_classex_standard_wrap(void* mclass, void* jclass, long flags) {
  (void)flags;
  t_class* m = nullptr;
  t_class* j = nullptr;
  if (!wrappable(mclass, jclass, &m, &j)) return JIT_ERR_INVALID_PTR;
  m->wrapped = j;
  m->standard_wrapped = true;
  return JIT_ERR_NONE;
}

void max_jit_mop_assist(void* x, void* b, long m, long a, char* s) {
  (void)x;
  (void)b;
  if (s == nullptr) return;
  std::snprintf(s, 256, "(matrix) %s %ld", m == 1 ? "inlet" : "outlet", a + 1);
}

void* max_jit_obex_new(t_class* mclass, t_symbol* classname) {
  (void)classname;
  if (mclass == nullptr || !mclass->max_side || mclass->obex_offset < 0) return nullptr;
  void* x = std::calloc(static_cast<std::size_t>(mclass->size), 1);
  if (x == nullptr) return nullptr;
  platform::init_object(static_cast<t_object*>(x), mclass);
  auto* obex = new platform::Obex;
  std::memcpy(static_cast<unsigned char*>(x) + mclass->obex_offset, &obex, sizeof obex);
  return x;
}

void max_jit_obex_free(void* x) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr) return;
  for (platform::Matrix* m : obex->inputs) jit_object_free(m);
  for (platform::Matrix* m : obex->outputs) jit_object_free(m);
  delete obex;
  platform::Obex* none = nullptr;
  const t_class* k = static_cast<t_object*>(x)->o_class;
  std::memcpy(static_cast<unsigned char*>(x) + k->obex_offset, &none, sizeof none);
}

void* max_jit_obex_jitob_get(void* x) {
  platform::Obex* obex = platform::obex_of(x);
  return obex == nullptr ? nullptr : obex->jitob;
}

t_jit_err max_jit_mop_setup_simple(void* x, void* o, long argc, t_atom* argv) {
  (void)argc;
  (void)argv;
  platform::Obex* obex = platform::obex_of(x);
  t_object* jitob = platform::as_object(o);
  if (obex == nullptr || jitob == nullptr) return JIT_ERR_INVALID_PTR;
  const platform::Mop* mop = platform::mop_of(jitob->o_class);
  if (mop == nullptr) return JIT_ERR_GENERIC;
  obex->jitob = jitob;
  for (const platform::MopIO* io : mop->inputs) obex->inputs.push_back(platform::make_io_matrix(io));
  for (const platform::MopIO* io : mop->outputs) obex->outputs.push_back(platform::make_io_matrix(io));
  return JIT_ERR_NONE;
}

void* max_jit_mop_getoutput(void* x, long index) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr || index < 1 || static_cast<std::size_t>(index) > obex->outputs.size()) {
    return nullptr;
  }
  return static_cast<t_object*>(obex->outputs[static_cast<std::size_t>(index) - 1]);
}

void max_jit_mop_free(void* x) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr) return;
  for (platform::Matrix* m : obex->inputs) jit_object_free(m);
  for (platform::Matrix* m : obex->outputs) jit_object_free(m);
  obex->inputs.clear();
  obex->outputs.clear();
}

t_jit_err max_jit_attr_args(void* x, long argc, t_atom* argv) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr || obex->jitob == nullptr) return JIT_ERR_INVALID_PTR;
  const std::string who = static_cast<t_object*>(x)->o_class->name;
  for (long i = 0; i < argc; ++i) {
    if (!platform::is_attribute_name(argv[i])) continue;
    const std::string name = argv[i].a_w.w_sym->s_name + 1;
    const bool has_value = i + 1 < argc && !platform::is_attribute_name(argv[i + 1]);
    platform::Attribute* a = platform::find_attribute(obex->jitob, name);
    if (a == nullptr) {
      error("%s: no attribute \"%s\"", who.c_str(), name.c_str());
    } else if (!has_value || !platform::is_number(argv[i + 1])) {
      error("%s: attribute \"%s\" needs a number", who.c_str(), name.c_str());
    } else if (!platform::set_attribute_value(obex->jitob, a, platform::number_of(argv[i + 1]))) {
      error("%s: attribute \"%s\" cannot take that value", who.c_str(), name.c_str());
    }
  }
  return JIT_ERR_NONE;
}
