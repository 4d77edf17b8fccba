// Jit objects: making them (the host's own kinds and instances of registered
// classes), freeing them, and sending them messages, through the variadic
// calls and their fixed-arity forms alike.
#include <cstdlib>
#include <cstring>

#include "platform/object_model.h"

namespace platform {

void* Args::pointer() {
  if (ap_ != nullptr) return va_arg(*ap_, void*);
  constexpr int kWords = 8;
  return taken_ < kWords ? words_[taken_++] : nullptr;
}

namespace {

void* new_object(t_symbol* classname, Args& args) {
  if (classname == nullptr) return nullptr;
  if (classname == _jit_sym_jit_mop) {
    const t_atom_long inputs = args.integer();
    const t_atom_long outputs = args.integer();
    return static_cast<t_object*>(make_mop(inputs, outputs));
  }
  if (classname == _jit_sym_jit_matrix) {
    const auto* info = static_cast<const t_jit_matrix_info*>(args.pointer());
    return info != nullptr ? static_cast<t_object*>(make_matrix(*info, 0)) : nullptr;
  }
  if (classname == _jit_sym_jit_attr_offset) return static_cast<t_object*>(make_attribute(args));
  t_class* k = find_jit_class(classname->s_name);
  if (k == nullptr || k->mnew == nullptr) return nullptr;
  return function_cast<void* (*)()>(k->mnew)();
}

void* send(void* x, t_symbol* s, Args& args) {
  t_object* o = as_object(x);
  if (o == nullptr || s == nullptr) {
    console_append("jit_object_method: not an object");
    return nullptr;
  }
  t_class* k = class_of(o);
  if (k->handler != nullptr) return k->handler(o, s, args);
  auto it = k->methods.find(s->s_name);
  if (it != k->methods.end() && std::strcmp(s->s_name, "matrix_calc") == 0) {
    void* inputs = args.pointer();
    void* outputs = args.pointer();
    using MatrixCalc = t_jit_err (*)(void*, void*, void*);
    const t_jit_err err = function_cast<MatrixCalc>(it->second.fn)(x, inputs, outputs);
    return reinterpret_cast<void*>(err);
  }
  console_append(k->name + ": doesn't understand \"" + s->s_name + "\"");
  return nullptr;
}

}  // namespace
}  // namespace platform

void* jit_object_new(t_symbol* classname, ...) {
  va_list ap;
  va_start(ap, classname);
  platform::Args args(&ap);
  void* made = platform::new_object(classname, args);
  va_end(ap);
  return made;
}

void* jit_object_alloc(void* c) {
  t_class* k = platform::plugin_jit_class(c);
  return k != nullptr ? platform::alloc_instance(k) : nullptr;
}

t_jit_err jit_object_free(void* x) {
  t_object* o = platform::as_object(x);
  if (o == nullptr) return JIT_ERR_INVALID_PTR;
  freeobject(o);
  return JIT_ERR_NONE;
}

void* jit_object_method(void* x, t_symbol* s, ...) {
  va_list ap;
  va_start(ap, s);
  platform::Args args(&ap);
  void* result = platform::send(x, s, args);
  va_end(ap);
  return result;
}

#if QUARN_HOST_64
void* jit_object_method_imp(void* x, void* s, void* p1, void* p2, void* p3, void* p4, void* p5,
                            void* p6, void* p7, void* p8) {
  void* const words[] = {p1, p2, p3, p4, p5, p6, p7, p8};
  platform::Args args(words);
  return platform::send(x, static_cast<t_symbol*>(s), args);
}

void* jit_object_new_imp(void* classname, void* p1, void* p2, void* p3, void* p4, void* p5,
                         void* p6, void* p7, void* p8, void* dummy) {
  (void)dummy;
  void* const words[] = {p1, p2, p3, p4, p5, p6, p7, p8};
  platform::Args args(words);
  return platform::new_object(static_cast<t_symbol*>(classname), args);
}
#endif
