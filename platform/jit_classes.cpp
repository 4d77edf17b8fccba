// Jit classes of the plug-ins: creation, methods, attributes, adornments,
// registration, and attribute values in instance records.
#include <cstring>
#include <mutex>
#include <set>

#include "platform/object_model.h"

namespace platform {
namespace {

// Classes stay until the process ends (plug-in modules are never unloaded),
// so the registry is never destroyed.
struct JitRegistry {
  std::mutex mutex;
  std::set<const void*> made;                 // every class jit_class_new made
  std::map<std::string, t_class*> registered;  // by name
};

JitRegistry& jit_registry() {
  static JitRegistry* r = new JitRegistry;
  return *r;
}

// Bytes that an attribute of this type takes in the instance record.
std::size_t field_bytes(const t_symbol* type) {
  return type == _jit_sym_long ? sizeof(t_atom_long) : type_size(type);
}

}  // namespace

t_class* find_jit_class(const std::string& name) {
  JitRegistry& r = jit_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.registered.find(name);
  return it == r.registered.end() ? nullptr : it->second;
}

t_class* plugin_jit_class(void* c) {
  JitRegistry& r = jit_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  return r.made.count(c) != 0 ? static_cast<t_class*>(c) : nullptr;
}

Attribute* find_attribute(t_object* o, const std::string& name) {
  if (o == nullptr) return nullptr;
  for (Attribute* a : class_of(o)->attributes) {
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
    const auto v = static_cast<t_atom_long>(value);
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
    t_atom_long v;
    std::memcpy(&v, field, sizeof v);
    *value = static_cast<double>(v);
  } else {
    return false;
  }
  return true;
}

}  // namespace platform

using platform::console_append;

void* jit_class_new(const char* name, method mnew, method mfree, long size, ...) {
  va_list ap;
  va_start(ap, size);
  const std::vector<int> types = platform::read_types(va_arg(ap, int), &ap);
  va_end(ap);
  if (name == nullptr) {
    console_append("jit_class_new: a class needs a name");
    return nullptr;
  }
  // The host writes its header at offset 0 of every instance it allocates.
  if (size < static_cast<long>(sizeof(t_object))) {
    console_append(std::string(name) + ": instance size " + std::to_string(size) +
                   " is smaller than the object header (" + std::to_string(sizeof(t_object)) +
                   " bytes)");
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
  platform::JitRegistry& r = platform::jit_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  r.made.insert(c);
  return c;
}

t_jit_err jit_class_addmethod(void* c, method m, const char* name, ...) {
  va_list ap;
  va_start(ap, name);
  const std::vector<int> types = platform::read_types(va_arg(ap, int), &ap);
  va_end(ap);
  t_class* k = platform::plugin_jit_class(c);
  if (k == nullptr || m == nullptr || name == nullptr) return JIT_ERR_INVALID_PTR;
  k->methods[name] = platform::ClassMethod{m, types};
  return JIT_ERR_NONE;
}

t_jit_err jit_class_addattr(void* c, t_jit_object* attr) {
  t_class* k = platform::plugin_jit_class(c);
  auto* a = platform::as<platform::Attribute>(attr, platform::attribute_class());
  if (k == nullptr || a == nullptr) return JIT_ERR_INVALID_PTR;
  const auto field = static_cast<t_atom_long>(platform::field_bytes(a->type));
  if (field == 0 || a->offset < static_cast<t_atom_long>(sizeof(t_object)) ||
      a->offset > k->size - field) {
    console_append(k->name + ": attribute \"" + a->name + "\" at offset " +
                   std::to_string(a->offset) + " lies outside the instance's own fields (" +
                   std::to_string(sizeof(t_object)) + " to " + std::to_string(k->size) + ")");
    return JIT_ERR_GENERIC;
  }
  k->attributes.push_back(a);
  return JIT_ERR_NONE;
}

t_jit_err jit_class_addadornment(void* c, t_jit_object* o) {
  t_class* k = platform::plugin_jit_class(c);
  t_object* adornment = platform::as_object(o);
  if (k == nullptr || adornment == nullptr) return JIT_ERR_INVALID_PTR;
  k->adornments.push_back(adornment);
  return JIT_ERR_NONE;
}

t_jit_err jit_class_register(void* c) {
  t_class* k = platform::plugin_jit_class(c);
  if (k == nullptr) return JIT_ERR_INVALID_PTR;
  platform::JitRegistry& r = platform::jit_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  k->registered = true;
  r.registered[k->name] = k;
  return JIT_ERR_NONE;
}

void* jit_class_findbyname(t_symbol* classname) {
  return classname != nullptr ? platform::find_jit_class(classname->s_name) : nullptr;
}

t_jit_err jit_attr_setlong(void* x, t_symbol* s, t_atom_long c) {
  t_object* o = platform::as_object(x);
  if (o == nullptr || s == nullptr) return JIT_ERR_INVALID_PTR;
  if (platform::class_of(o) == platform::mop_io_class()) {
    platform::set_mop_io_attr(static_cast<platform::MopIO*>(o), s, c);
    return JIT_ERR_NONE;
  }
  platform::Attribute* a = platform::find_attribute(o, s->s_name);
  if (a == nullptr || !platform::set_attribute_value(o, a, static_cast<double>(c))) {
    return JIT_ERR_GENERIC;
  }
  return JIT_ERR_NONE;
}
