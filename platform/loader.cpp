// The loader: modules, instances, attributes, matrices and frames, driven
// through the same calls that the host makes.
#include "platform/loader.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/object_model.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace platform {
namespace {

std::mutex& loader_mutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

// Modules stay loaded until the process ends.
std::map<std::string, Module>& modules() {
  static auto* m = new std::map<std::string, Module>;
  return *m;
}

std::string module_name(const std::string& path) {
  std::string file = path;
  const std::size_t slash = file.find_last_of("/\\");
  if (slash != std::string::npos) file = file.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  if (dot != std::string::npos && dot > 0) file = file.substr(0, dot);
  return file;
}

using MainFunction = int (*)();

// Opens the module and finds its main; returns the reason on failure.
std::string open_module(const std::string& path, void** handle, MainFunction* entry) {
#if defined(_WIN32)
  HMODULE h = LoadLibraryA(path.c_str());
  if (h == nullptr) {
    return "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  }
  FARPROC f = GetProcAddress(h, "main");
  if (f == nullptr) return path + " exports no main";
  *handle = h;
  *entry = reinterpret_cast<MainFunction>(reinterpret_cast<void (*)()>(f));
#else
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return "cannot load " + path + ": " + dlerror();
  void* f = dlsym(h, "main");
  if (f == nullptr) return path + " exports no main";
  *handle = h;
  *entry = reinterpret_cast<MainFunction>(f);
#endif
  return {};
}

std::vector<t_atom> parse_atoms(const std::string& text) {
  std::vector<t_atom> atoms;
  std::istringstream words(text);
  std::string w;
  while (words >> w) {
    t_atom a{};
    char* end = nullptr;
    const long l = std::strtol(w.c_str(), &end, 10);
    if (*end == '\0') {
      a.a_type = A_LONG;
      a.a_w.w_long = l;
    } else {
      const double d = std::strtod(w.c_str(), &end);
      if (*end == '\0') {
        a.a_type = A_FLOAT;
        a.a_w.w_float = d;
      } else {
        a.a_type = A_SYM;
        a.a_w.w_sym = gensym(w.c_str());
      }
    }
    atoms.push_back(a);
  }
  return atoms;
}

t_class* max_class_named(const std::string& name) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.max_classes.find(name);
  return it == r.max_classes.end() ? nullptr : it->second;
}

Attribute* instance_attribute(void* instance, const std::string& name, t_object** jitob) {
  t_object* o = as_object(instance);
  if (o == nullptr || !o->o_class->max_side || !o->o_class->standard_wrapped) return nullptr;
  *jitob = as_object(max_jit_obex_jitob_get(instance));
  return find_attribute(*jitob, name);
}

std::string type_list(const std::vector<int>& types) {
  std::string s;
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (i > 0) s += ",";
    s += std::to_string(types[i]);
  }
  return s;
}

}  // namespace

std::string load_module(const std::string& path, Module* module) {
  std::lock_guard<std::mutex> hold(loader_mutex());
  auto it = modules().find(path);
  if (it != modules().end()) {
    *module = it->second;
    return {};
  }
  Module m;
  m.path = path;
  m.name = module_name(path);
  MainFunction entry = nullptr;
  std::string problem = open_module(path, &m.handle, &entry);
  if (!problem.empty()) return problem;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold_registry(r.mutex);
    r.loading_name = m.name;
    r.current_max = nullptr;
  }
  m.main_result = entry();
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold_registry(r.mutex);
    r.loading_name.clear();
    r.current_max = nullptr;
  }
  modules()[path] = m;
  *module = m;
  return {};
}

void* new_instance(const std::string& max_class, const std::string& args) {
  t_class* k = max_class_named(max_class);
  if (k == nullptr || k->mnew == nullptr) return nullptr;
  std::vector<t_atom> atoms = parse_atoms(args);
  using NewFunction = void* (*)(t_symbol*, long, t_atom*);
  return reinterpret_cast<NewFunction>(k->mnew)(gensym(max_class.c_str()),
                                                static_cast<long>(atoms.size()),
                                                atoms.empty() ? nullptr : atoms.data());
}

void free_instance(void* instance) { freeobject(instance); }

void* jit_object(void* instance) { return max_jit_obex_jitob_get(instance); }

void* output_matrix(void* instance, long index) { return max_jit_mop_getoutput(instance, index); }

bool set_attribute(void* instance, const std::string& name, double value) {
  t_object* jitob = nullptr;
  Attribute* a = instance_attribute(instance, name, &jitob);
  return a != nullptr && set_attribute_value(jitob, a, value);
}

bool get_attribute(void* instance, const std::string& name, double* value) {
  t_object* jitob = nullptr;
  Attribute* a = instance_attribute(instance, name, &jitob);
  return a != nullptr && get_attribute_value(jitob, a, value);
}

std::string assist(void* instance, long m, long a) {
  t_object* o = as_object(instance);
  if (o == nullptr || !o->o_class->max_side) return {};
  auto it = o->o_class->messages.find("assist");
  if (it == o->o_class->messages.end()) return {};
  char text[256] = {};
  using AssistFunction = void (*)(void*, void*, long, long, char*);
  reinterpret_cast<AssistFunction>(it->second.fn)(instance, nullptr, m, a, text);
  return text;
}

ClassInfo jit_class_info(const std::string& jit_class) {
  ClassInfo info;
  auto* k = static_cast<t_class*>(jit_class_findbyname(gensym(jit_class.c_str())));
  if (k == nullptr) return info;
  info.found = true;
  info.size = k->size;
  for (const auto& [name, m] : k->methods) info.methods.push_back(name + "/" + type_list(m.types));
  for (const Attribute* a : k->attributes) {
    info.attributes.push_back(AttributeInfo{a->name, a->type->s_name, a->flags, a->offset,
                                            a->get != nullptr, a->set != nullptr});
  }
  for (t_object* adornment : k->adornments) {
    if (adornment->o_class != mop_class()) continue;
    const auto* mop = static_cast<const Mop*>(adornment);
    info.mop_inputs = static_cast<long>(mop->inputs.size());
    info.mop_outputs = static_cast<long>(mop->outputs.size());
    for (const t_symbol* t : mop->types) info.mop_types.push_back(t->s_name);
    if (!mop->outputs.empty()) info.output_planelink = mop->outputs.front()->planelink;
  }
  return info;
}

ClassInfo max_class_info(const std::string& max_class) {
  ClassInfo info;
  const t_class* k = max_class_named(max_class);
  if (k == nullptr) return info;
  info.found = true;
  info.size = k->size;
  for (const auto& [name, m] : k->messages) info.methods.push_back(name + "/" + type_list(m.types));
  info.obex_offset = k->obex_offset;
  info.new_types = k->new_types;
  info.wrapped = k->wrapped != nullptr ? k->wrapped->name : "";
  info.mop_wrapped = k->mop_wrapped;
  info.standard_wrapped = k->standard_wrapped;
  return info;
}

void* new_matrix(t_symbol* type, long planecount, long width, long height, long row_padding,
                 const std::string& label) {
  t_jit_matrix_info info{};
  info.type = type;
  info.planecount = planecount;
  info.dimcount = 2;
  info.dim[0] = width;
  info.dim[1] = height;
  Matrix* m = make_matrix(info, row_padding);
  m->label = label;
  return static_cast<t_object*>(m);
}

void free_matrix(void* matrix) { jit_object_free(matrix); }

t_jit_matrix_info matrix_info(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->info : t_jit_matrix_info{};
}

uint8_t* matrix_data(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->data : nullptr;
}

std::size_t matrix_bytes(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->bytes : 0;
}

void set_row_padding(void* matrix, long row_padding) {
  Matrix* m = as<Matrix>(matrix, matrix_class());
  if (m == nullptr) return;
  m->row_padding = row_padding < 0 ? 0 : row_padding;
  const t_jit_matrix_info info = m->info;
  std::free(m->data);
  m->data = nullptr;
  apply_info(m, info);
}

void set_label(void* matrix, const std::string& label) {
  Matrix* m = as<Matrix>(matrix, matrix_class());
  if (m != nullptr) m->label = label;
}

long lock_state(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->lock : 0;
}

long lock_calls(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->lock_calls : 0;
}

t_jit_err matrix_calc_on(const std::string& jit_class, void* jit_object,
                         const std::vector<void*>& inputs, const std::vector<void*>& outputs) {
  auto* k = static_cast<t_class*>(jit_class_findbyname(gensym(jit_class.c_str())));
  if (k == nullptr) return JIT_ERR_INVALID_PTR;
  auto it = k->methods.find("matrix_calc");
  if (it == k->methods.end()) return JIT_ERR_INVALID_PTR;
  MatrixList* in = make_matrix_list(inputs);
  MatrixList* out = make_matrix_list(outputs);
  using MatrixCalc = t_jit_err (*)(void*, void*, void*);
  const t_jit_err err = reinterpret_cast<MatrixCalc>(it->second.fn)(
      jit_object, static_cast<t_object*>(in), static_cast<t_object*>(out));
  jit_object_free(static_cast<t_object*>(in));
  jit_object_free(static_cast<t_object*>(out));
  return err;
}

t_jit_err matrix_calc(void* instance, const std::vector<void*>& inputs,
                      const std::vector<void*>& outputs) {
  t_object* jitob = as_object(max_jit_obex_jitob_get(instance));
  if (jitob == nullptr) return JIT_ERR_INVALID_PTR;
  return matrix_calc_on(jitob->o_class->name, jitob, inputs, outputs);
}

t_jit_err run_frame(void* instance, void* input) {
  return matrix_calc(instance, {input}, {output_matrix(instance, 1)});
}

std::vector<std::string> take_errors() { return console_take(); }

void start_trace() { trace_enable(true); }

std::vector<std::string> take_trace() {
  std::vector<std::string> lines = trace_take();
  trace_enable(false);
  return lines;
}

}  // namespace platform
