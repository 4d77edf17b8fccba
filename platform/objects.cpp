// The object core: headers, instances of plug-in classes, inlets and
// outlets, and the registry of Max classes.
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>

#include "platform/object_model.h"

namespace platform {
namespace {

// Classes stay registered until the process ends (plug-in modules are never
// unloaded), so the registry is never destroyed.
struct MaxRegistry {
  std::mutex mutex;
  std::map<std::string, t_class*> classes;
  std::set<const void*> messlists;
  std::set<const void*> all;
  t_class* current = nullptr;
  std::string loading_name;
};

MaxRegistry& max_registry() {
  static MaxRegistry* r = new MaxRegistry;
  return *r;
}

}  // namespace

void init_object(t_object* o, t_class* c) {
  o->o_messlist = &c->head[1];
  o->o_magic = OB_MAGIC;
  o->o_inlet = nullptr;
  o->o_outlet = nullptr;
}

t_class* class_of(const t_object* o) {
  return o->o_messlist != nullptr ? o->o_messlist[-1].cls : nullptr;
}

t_object* as_object(void* x) {
  auto* o = static_cast<t_object*>(x);
  if (o == nullptr || o->o_magic != OB_MAGIC || o->o_messlist == nullptr) return nullptr;
  const t_class* c = class_of(o);
  return (c != nullptr && o->o_messlist == &c->head[1]) ? o : nullptr;
}

t_object* alloc_instance(t_class* c) {
  if (c == nullptr || c->size < static_cast<long>(sizeof(t_object))) return nullptr;
  auto* o = static_cast<t_object*>(std::calloc(static_cast<std::size_t>(c->size), 1));
  if (o != nullptr) init_object(o, c);
  return o;
}

void add_inlet(t_object* o) {
  inlet** end = &o->o_inlet;
  while (*end != nullptr) end = &(*end)->next;
  *end = new inlet{nullptr};
}

void add_outlet_at_left(t_object* o, const char* type) {
  o->o_outlet = new outlet{o->o_outlet, type};
}

t_class* find_max_class(const std::string& name) {
  MaxRegistry& r = max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.classes.find(name);
  return it == r.classes.end() ? nullptr : it->second;
}

t_class* max_class_of_messlist(const void* mc) {
  MaxRegistry& r = max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  return r.messlists.count(mc) != 0 ? static_cast<const messlist*>(mc)[-1].cls : nullptr;
}

t_class* known_max_class(void* c) {
  MaxRegistry& r = max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  return r.all.count(c) != 0 ? static_cast<t_class*>(c) : nullptr;
}

t_class* current_max_class() {
  MaxRegistry& r = max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  return r.current;
}

void begin_loading(const std::string& module_name) {
  MaxRegistry& r = max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  r.loading_name = module_name;
  r.current = nullptr;
}

void end_loading() { begin_loading(""); }

std::vector<int> read_types(int first, va_list* ap) {
  constexpr std::size_t kMaxArgumentTypes = 16;
  std::vector<int> types;
  for (int t = first; t != 0 && types.size() < kMaxArgumentTypes; t = va_arg(*ap, int)) {
    types.push_back(t);
  }
  return types;
}

}  // namespace platform

// `type` is declared short, as the host declares it; it is the last named
// parameter before the type list.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif

void setup(t_messlist** ident, method makefun, method freefun, t_getbytes_size size,
           method menufun, short type, ...) {
  (void)menufun;
  va_list ap;
  va_start(ap, type);
  const std::vector<int> types = platform::read_types(type, &ap);
  va_end(ap);
  platform::MaxRegistry& r = platform::max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  const std::string name = r.loading_name.empty() ? "unnamed" : r.loading_name;
  // The host writes its header at offset 0 of every instance: a record
  // smaller than that header would have it written over the plug-in's fields.
  if (static_cast<long long>(size) < static_cast<long long>(sizeof(t_object))) {
    platform::console_append(name + ": instance size " + std::to_string(size) +
                             " is smaller than the object header (" +
                             std::to_string(sizeof(t_object)) + " bytes)");
    r.current = nullptr;
    if (ident != nullptr) *ident = nullptr;
    return;
  }
  auto* c = new t_class;
  c->name = name;
  c->max_side = true;
  c->mnew = makefun;
  c->mfree = freefun;
  c->size = static_cast<long>(size);
  c->new_types = types;
  r.classes[c->name] = c;
  r.messlists.insert(&c->head[1]);
  r.all.insert(c);
  r.current = c;
  if (ident != nullptr) *ident = &c->head[1];
}

void addmess(method f, const char* s, short type, ...) {
  va_list ap;
  va_start(ap, type);
  const std::vector<int> types = platform::read_types(type, &ap);
  va_end(ap);
  platform::MaxRegistry& r = platform::max_registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  if (r.current == nullptr || f == nullptr || s == nullptr) return;
  r.current->messages[s] = platform::ClassMethod{f, types};
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

void freeobject(t_object* op) {
  t_object* o = platform::as_object(op);
  if (o == nullptr) return;
  t_class* k = platform::class_of(o);
  if (k->destroy != nullptr) {
    o->o_magic = 0;
    k->destroy(o);
    return;
  }
  if (k->mfree != nullptr) platform::function_cast<void (*)(void*)>(k->mfree)(o);
  for (inlet* i = o->o_inlet; i != nullptr;) delete std::exchange(i, i->next);
  for (outlet* i = o->o_outlet; i != nullptr;) delete std::exchange(i, i->next);
  o->o_magic = 0;
  std::free(o);
}
