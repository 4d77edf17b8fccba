// Matrix-operator descriptions (how many matrices an operator takes and
// gives, and of which types) and attributes stored at an offset in an
// instance record.
#include <string>

#include "platform/object_model.h"

namespace platform {
namespace {

void* mop_handler(t_object* self, t_symbol* s, Args& args) {
  auto* mop = static_cast<Mop*>(self);
  if (s == _jit_sym_getoutput || s == _jit_sym_getinput) {
    const t_atom_long i = args.integer();
    const auto& ios = s == _jit_sym_getoutput ? mop->outputs : mop->inputs;
    if (i < 1 || static_cast<std::size_t>(i) > ios.size()) return nullptr;
    return static_cast<t_object*>(ios[static_cast<std::size_t>(i) - 1]);
  }
  console_append(std::string("jit_mop: doesn't understand \"") + s->s_name + "\"");
  return nullptr;
}

void destroy_mop(t_object* self) {
  auto* mop = static_cast<Mop*>(self);
  for (MopIO* io : mop->inputs) delete io;
  for (MopIO* io : mop->outputs) delete io;
  delete mop;
}

void* io_handler(t_object*, t_symbol* s, Args&) {
  console_append(std::string("jit_mop_io: doesn't understand \"") + s->s_name + "\"");
  return nullptr;
}

void destroy_io(t_object* self) { delete static_cast<MopIO*>(self); }

void* attribute_handler(t_object*, t_symbol* s, Args&) {
  console_append(std::string("jit_attr_offset: doesn't understand \"") + s->s_name + "\"");
  return nullptr;
}

void destroy_attribute(t_object* self) { delete static_cast<Attribute*>(self); }

}  // namespace

t_class* make_builtin(const char* name, Handler h, Destroy d) {
  auto* k = new t_class;
  k->name = name;
  k->handler = h;
  k->destroy = d;
  return k;
}

t_class* mop_class() {
  static t_class* c = make_builtin("jit_mop", mop_handler, destroy_mop);
  return c;
}

t_class* mop_io_class() {
  static t_class* c = make_builtin("jit_mop_io", io_handler, destroy_io);
  return c;
}

t_class* attribute_class() {
  static t_class* c = make_builtin("jit_attr_offset", attribute_handler, destroy_attribute);
  return c;
}

Mop* make_mop(t_atom_long inputs, t_atom_long outputs) {
  if (inputs < 0 || outputs < 0 || inputs > 32 || outputs > 32) return nullptr;
  auto* mop = new Mop;
  init_object(mop, mop_class());
  for (t_atom_long i = 1; i <= inputs + outputs; ++i) {
    auto* io = new MopIO;
    init_object(io, mop_io_class());
    io->output = i > inputs;
    io->index = static_cast<long>(io->output ? i - inputs : i);
    (io->output ? mop->outputs : mop->inputs).push_back(io);
  }
  return mop;
}

Attribute* make_attribute(Args& args) {
  const auto* name = static_cast<const char*>(args.pointer());
  auto* type = static_cast<t_symbol*>(args.pointer());
  const t_atom_long flags = args.integer();
  const method get = args.function();
  const method set = args.function();
  const t_atom_long offset = args.integer();
  if (name == nullptr || type == nullptr || offset < 0) return nullptr;
  auto* a = new Attribute;
  init_object(a, attribute_class());
  a->name = name;
  a->type = type;
  a->flags = flags;
  a->get = get;
  a->set = set;
  a->offset = offset;
  return a;
}

Mop* mop_of(const t_class* jit_class) {
  for (t_object* a : jit_class->adornments) {
    if (class_of(a) == mop_class()) return static_cast<Mop*>(a);
  }
  return nullptr;
}

void set_mop_io_attr(MopIO* io, t_symbol* name, t_atom_long value) {
  if (name == _jit_sym_planelink) {
    io->planelink = value;
  } else if (name == _jit_sym_typelink) {
    io->typelink = value;
  } else if (name == _jit_sym_dimlink) {
    io->dimlink = value;
  } else {
    console_append(std::string("jit_mop_io: no attribute \"") + name->s_name + "\"");
  }
}

}  // namespace platform

t_jit_err jit_mop_single_type(void* x, t_symbol* s) {
  auto* mop = platform::as<platform::Mop>(x, platform::mop_class());
  if (mop == nullptr || s == nullptr) return JIT_ERR_INVALID_PTR;
  mop->types = {s};
  for (platform::MopIO* io : mop->inputs) io->types = {s};
  for (platform::MopIO* io : mop->outputs) io->types = {s};
  return JIT_ERR_NONE;
}
