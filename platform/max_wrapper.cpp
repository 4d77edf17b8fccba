// The wrapper that gives a jit matrix operator its Max-side instance: the
// obex record with the wrapped object and its matrices, the inlets and
// outlets, the assist text and attribute arguments.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/object_model.h"

namespace platform {
namespace {

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
  return a.a_type == A_LONG ? static_cast<double>(a.a_w.w_long)
                            : static_cast<double>(a.a_w.w_float);
}

bool is_attribute_name(const t_atom& a) {
  return a.a_type == A_SYM && a.a_w.w_sym != nullptr && a.a_w.w_sym->s_name[0] == '@';
}

// A Max class and a registered jit class, or null ones when the pair cannot
// be wrapped.
bool wrappable(void* mclass, void* jclass, t_class** m, t_class** j) {
  *m = known_max_class(mclass);
  *j = plugin_jit_class(jclass);
  return *m != nullptr && *j != nullptr && (*j)->registered;
}

void free_matrices(Obex* obex) {
  for (Matrix* m : obex->inputs) jit_object_free(static_cast<t_object*>(m));
  for (Matrix* m : obex->outputs) jit_object_free(static_cast<t_object*>(m));
  obex->inputs.clear();
  obex->outputs.clear();
}

}  // namespace

Obex* obex_of(void* x) {
  t_object* o = as_object(x);
  if (o == nullptr) return nullptr;
  const t_class* k = class_of(o);
  if (!k->max_side || k->obex_offset < 0) return nullptr;
  Obex* obex = nullptr;
  std::memcpy(&obex, static_cast<unsigned char*>(x) + k->obex_offset, sizeof obex);
  return obex;
}

}  // namespace platform

using platform::console_append;

void* max_jit_classex_setup(long oboffset) {
  t_class* c = platform::current_max_class();
  if (c == nullptr) return nullptr;
  // The obex pointer must lie behind the host's header, inside the record.
  if (oboffset < static_cast<long>(sizeof(t_object)) ||
      oboffset > c->size - static_cast<long>(sizeof(void*))) {
    console_append(c->name + ": obex offset " + std::to_string(oboffset) +
                   " lies outside the instance's own fields (" +
                   std::to_string(sizeof(t_object)) + " to " + std::to_string(c->size) + ")");
    return nullptr;
  }
  c->obex_offset = oboffset;
  return c;
}

t_jit_err max_jit_classex_mop_wrap(void* mclass, void* jclass, long flags) {
  (void)flags;
  t_class* m = nullptr;
  t_class* j = nullptr;
  if (!platform::wrappable(mclass, jclass, &m, &j)) return JIT_ERR_INVALID_PTR;
  if (platform::mop_of(j) == nullptr) {
    console_append(m->name + ": " + j->name + " has no matrix operator description");
    return JIT_ERR_GENERIC;
  }
  m->wrapped = j;
  m->mop_wrapped = true;
  return JIT_ERR_NONE;
}

void max_jit_classex_standard_wrap(void* mclass, void* jclass, long flags) {
  (void)flags;
  t_class* m = nullptr;
  t_class* j = nullptr;
  if (!platform::wrappable(mclass, jclass, &m, &j)) return;
  m->wrapped = j;
  m->standard_wrapped = true;
}

t_jit_err max_jit_mop_assist(void* x, void* b, long m, long a, char* s) {
  (void)x;
  (void)b;
  if (s == nullptr) return JIT_ERR_INVALID_PTR;
  std::snprintf(s, 256, "(matrix) %s %ld", m == 1 ? "inlet" : "outlet", a + 1);
  return JIT_ERR_NONE;
}

void* max_jit_obex_new(void* mc, t_symbol* classname) {
  (void)classname;
  t_class* k = platform::max_class_of_messlist(mc);
  if (k == nullptr || k->obex_offset < 0) return nullptr;
  t_object* x = platform::alloc_instance(k);
  if (x == nullptr) return nullptr;
  platform::add_inlet(x);  // the leftmost inlet, the object's own
  auto* obex = new platform::Obex;
  std::memcpy(reinterpret_cast<unsigned char*>(x) + k->obex_offset, &obex, sizeof obex);
  return x;
}

void max_jit_obex_free(void* x) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr) return;
  platform::free_matrices(obex);
  delete obex;
  platform::Obex* none = nullptr;
  const t_class* k = platform::class_of(static_cast<t_object*>(x));
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
  const platform::Mop* mop = platform::mop_of(platform::class_of(jitob));
  if (mop == nullptr) return JIT_ERR_GENERIC;
  obex->jitob = jitob;
  for (const platform::MopIO* io : mop->inputs) obex->inputs.push_back(platform::make_io_matrix(io));
  for (const platform::MopIO* io : mop->outputs) obex->outputs.push_back(platform::make_io_matrix(io));

  // Outlets are made from right to left: the dumpout outlet first, then one
  // per output matrix, the first output leftmost. Each input beyond the
  // first gets an inlet of its own.
  auto* self = static_cast<t_object*>(x);
  platform::add_outlet_at_left(self, "");
  for (std::size_t i = mop->outputs.size(); i > 0; --i) {
    platform::add_outlet_at_left(self, "jit_matrix");
  }
  for (std::size_t i = 1; i < mop->inputs.size(); ++i) platform::add_inlet(self);
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
  if (obex != nullptr) platform::free_matrices(obex);
}

void max_jit_attr_args(void* x, short ac, t_atom* av) {
  platform::Obex* obex = platform::obex_of(x);
  if (obex == nullptr || obex->jitob == nullptr) return;
  const std::string who = platform::class_of(static_cast<t_object*>(x))->name;
  for (short i = 0; i < ac; ++i) {
    if (!platform::is_attribute_name(av[i])) continue;
    const std::string name = av[i].a_w.w_sym->s_name + 1;
    const bool has_value = i + 1 < ac && !platform::is_attribute_name(av[i + 1]);
    platform::Attribute* a = platform::find_attribute(obex->jitob, name);
    if (a == nullptr) {
      error("%s: no attribute \"%s\"", who.c_str(), name.c_str());
    } else if (!has_value || !platform::is_number(av[i + 1])) {
      error("%s: attribute \"%s\" needs a number", who.c_str(), name.c_str());
    } else if (!platform::set_attribute_value(obex->jitob, a, platform::number_of(av[i + 1]))) {
      error("%s: attribute \"%s\" cannot take that value", who.c_str(), name.c_str());
    }
  }
}
