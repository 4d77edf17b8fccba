// Jit classes and objects: class tables, registration, instances, and
// message dispatch, plus the console and the trace of matrix messages.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/object_model.h"

namespace platform {
namespace {


struct Console {
  std::mutex mutex;
  std::vector<std::string> lines;
  bool tracing = false;
  std::vector<std::string> trace;
};

Console& console() {
  static Console* c = new Console;
  return *c;
}

bool is_plugin_jit_class(const t_class* c) {
  return c != nullptr && !c->max_side && c->handler == nullptr;
}

}  // namespace

// Classes stay registered until the process ends (plug-in modules are never
// unloaded), so the registry is never destroyed.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

void init_object(t_object* o, t_class* c) {
  o->o_class = c;
  o->o_magic = kObjectMagic;
}

t_object* as_object(void* x) {
  auto* o = static_cast<t_object*>(x);
  if (o == nullptr || o->o_magic != kObjectMagic || o->o_class == nullptr) return nullptr;
  return o;
}

Attribute* find_attribute(t_object* o, const std::string& name) {
  if (o == nullptr) return nullptr;
  for (Attribute* a : o->o_class->attributes) {
    if (a->name == name) return a;
  }
  return nullptr;
}

bool set_attribute_value(t_object* o, Attribute* a, double value) {
  auto* field = reinterpret_cast<unsigned char*>(o) + a->offset;
  if (a->type == _jit_sym_float64) {
    std::memcpy(field, &value, sizeof value);
  } else if (a->type == _jit_sym_float32) {
    const auto v = static_cast<float>(value);
    std::memcpy(field, &v, sizeof v);
  } else if (a->type == _jit_sym_long) {
    if (!(value >= -2147483648.0 && value <= 2147483647.0)) return false;
    const auto v = static_cast<long>(value);
    std::memcpy(field, &v, sizeof v);
  } else {
    return false;
  }
  return true;
}

bool get_attribute_value(t_object* o, const Attribute* a, double* value) {
  const auto* field = reinterpret_cast<const unsigned char*>(o) + a->offset;
  if (a->type == _jit_sym_float64) {
    std::memcpy(value, field, sizeof *value);
  } else if (a->type == _jit_sym_float32) {
    float v;
    std::memcpy(&v, field, sizeof v);
    *value = v;
  } else if (a->type == _jit_sym_long) {
    long v;
    std::memcpy(&v, field, sizeof v);
    *value = static_cast<double>(v);
  } else {
    return false;
  }
  return true;
}

std::vector<int> read_types(int first, va_list* ap) {
  constexpr int kMaxArgumentTypes = 16;
  std::vector<int> types;
  for (int t = first; t != 0 && types.size() < kMaxArgumentTypes; t = va_arg(*ap, int)) {
    types.push_back(t);
  }
  return types;
}

void console_append(const std::string& text) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  c.lines.push_back(text);
}

std::vector<std::string> console_take() {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  std::vector<std::string> lines;
  lines.swap(c.lines);
  return lines;
}

void trace_matrix(const Matrix* m, const char* selector, const std::string& arg) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  if (!c.tracing) return;
  std::string line = m->label + " " + selector;
  if (!arg.empty()) line += " " + arg;
  c.trace.push_back(line);
}

void trace_enable(bool on) {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  c.tracing = on;
  c.trace.clear();
}

std::vector<std::string> trace_take() {
  Console& c = console();
  std::lock_guard<std::mutex> hold(c.mutex);
  std::vector<std::string> lines;
  lines.swap(c.trace);
  return lines;
}

}  // namespace platform

using platform::console_append;

void* jit_class_new(const char* name, method mnew, method mfree, long size, ...) {
  va_list ap;
  va_start(ap, size);
  const std::vector<int> types = platform::read_types(va_arg(ap, int), &ap);
  va_end(ap);
  if (name == nullptr || size < static_cast<long>(sizeof(t_object))) {
    console_append(std::string("jit_class_new: bad class ") + (name ? name : "(null)"));
    return nullptr;
  }
  if (!types.empty()) {
    console_append(std::string(name) + ": creation arguments are not supported");
    return nullptr;
  }
  auto* c = new t_class;
  c->name = name;
  c->mnew = mnew;
  c->mfree = mfree;
  c->size = size;
  return c;
}

t_jit_err jit_class_addmethod(void* c, method m, const char* name, ...) {
  va_list ap;
  va_start(ap, name);
  const std::vector<int> types = platform::read_types(va_arg(ap, int), &ap);
  va_end(ap);
  auto* k = static_cast<t_class*>(c);
  if (!platform::is_plugin_jit_class(k) || m == nullptr || name == nullptr) {
    return JIT_ERR_INVALID_PTR;
  }
  k->methods[name] = platform::ClassMethod{m, types};
  return JIT_ERR_NONE;
}

t_jit_err jit_class_addattr(void* c, void* attr) {
  auto* k = static_cast<t_class*>(c);
  auto* a = platform::as<platform::Attribute>(attr, platform::attribute_class());
  if (!platform::is_plugin_jit_class(k) || a == nullptr) return JIT_ERR_INVALID_PTR;
  const std::size_t width = platform::type_size(a->type);
  const long field = a->type == _jit_sym_long ? static_cast<long>(sizeof(long))
                                              : static_cast<long>(width);
  if (width == 0 || a->offset < static_cast<long>(sizeof(t_object)) ||
      a->offset > k->size - field) {
    console_append(k->name + ": attribute \"" + a->name + "\" lies outside the instance");
    return JIT_ERR_GENERIC;
  }
  k->attributes.push_back(a);
  return JIT_ERR_NONE;
}

t_jit_err jit_class_addadornment(void* c, void* adornment) {
  auto* k = static_cast<t_class*>(c);
  t_object* o = platform::as_object(adornment);
  if (!platform::is_plugin_jit_class(k) || o == nullptr) return JIT_ERR_INVALID_PTR;
  k->adornments.push_back(o);
  return JIT_ERR_NONE;
}

t_jit_err jit_class_register(void* c) {
  auto* k = static_cast<t_class*>(c);
  if (!platform::is_plugin_jit_class(k)) return JIT_ERR_INVALID_PTR;
  platform::Registry& r = platform::registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  k->registered = true;
  r.jit_classes[k->name] = k;
  return JIT_ERR_NONE;
}

void* jit_class_findbyname(t_symbol* classname) {
  if (classname == nullptr) return nullptr;
  platform::Registry& r = platform::registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.jit_classes.find(classname->s_name);
  return it == r.jit_classes.end() ? nullptr : it->second;
}

void* jit_object_alloc(void* c) {
  auto* k = static_cast<t_class*>(c);
  if (!platform::is_plugin_jit_class(k)) return nullptr;
  void* storage = std::calloc(static_cast<std::size_t>(k->size), 1);
  if (storage == nullptr) return nullptr;
  platform::init_object(static_cast<t_object*>(storage), k);
  return storage;
}

void* jit_object_new(t_symbol* classname, ...) {
  if (classname == nullptr) return nullptr;
  va_list ap;
  va_start(ap, classname);
  t_object* made = nullptr;
  if (classname == _jit_sym_jit_mop) {
    const long inputs = va_arg(ap, long);
    const long outputs = va_arg(ap, long);
    made = platform::make_mop(inputs, outputs);
  } else if (classname == _jit_sym_jit_matrix) {
    const auto* info = va_arg(ap, const t_jit_matrix_info*);
    if (info != nullptr) made = platform::make_matrix(*info, 0);
  } else if (classname == _jit_sym_jit_attr_offset) {
    made = platform::make_attribute(&ap);
  }
  va_end(ap);
  if (made != nullptr) return made;

  auto* k = static_cast<t_class*>(jit_class_findbyname(classname));
  if (k == nullptr || k->mnew == nullptr) return nullptr;
  return reinterpret_cast<void* (*)()>(k->mnew)();
}

t_jit_err jit_object_free(void* x) {
  t_object* o = platform::as_object(x);
  if (o == nullptr) return JIT_ERR_INVALID_PTR;
  t_class* k = o->o_class;
  if (k->destroy != nullptr) {
    o->o_magic = 0;
    k->destroy(o);
    return JIT_ERR_NONE;
  }
  if (k->max_side) {
    freeobject(x);
    return JIT_ERR_NONE;
  }
  if (k->mfree != nullptr) reinterpret_cast<void (*)(void*)>(k->mfree)(x);
  o->o_magic = 0;
  std::free(x);
  return JIT_ERR_NONE;
}

void* jit_object_method(void* x, t_symbol* s, ...) {
  t_object* o = platform::as_object(x);
  if (o == nullptr || s == nullptr) {
    console_append("jit_object_method: not an object");
    return nullptr;
  }
  va_list ap;
  va_start(ap, s);
  void* result = nullptr;
  t_class* k = o->o_class;
  if (k->handler != nullptr) {
    result = k->handler(o, s, &ap);
  } else {
    auto it = k->methods.find(s->s_name);
    if (it != k->methods.end() && std::strcmp(s->s_name, "matrix_calc") == 0) {
      void* inputs = va_arg(ap, void*);
      void* outputs = va_arg(ap, void*);
      using MatrixCalc = t_jit_err (*)(void*, void*, void*);
      const t_jit_err err = reinterpret_cast<MatrixCalc>(it->second.fn)(x, inputs, outputs);
      result = reinterpret_cast<void*>(static_cast<intptr_t>(err));
    } else {
      console_append(k->name + ": doesn't understand \"" + s->s_name + "\"");
    }
  }
  va_end(ap);
  return result;
}

t_jit_err jit_attr_setlong(void* x, t_symbol* name, long value) {
  t_object* o = platform::as_object(x);
  if (o == nullptr || name == nullptr) return JIT_ERR_INVALID_PTR;
  if (o->o_class == platform::mop_io_class()) {
    platform::set_mop_io_attr(static_cast<platform::MopIO*>(o), name, value);
    return JIT_ERR_NONE;
  }
  platform::Attribute* a = platform::find_attribute(o, name->s_name);
  if (a == nullptr || !platform::set_attribute_value(o, a, static_cast<double>(value))) {
    return JIT_ERR_GENERIC;
  }
  return JIT_ERR_NONE;
}
