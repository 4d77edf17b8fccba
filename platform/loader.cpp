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

// The entry points a module may export: ext_main (what current hosts look
// for first), else main (what older hosts know).
using ExtMain = void (*)(void*);
using MainFunction = int (*)();

struct Entry {
  ExtMain ext_main = nullptr;
  MainFunction main = nullptr;
};

// Opens the module and finds its entry point; returns the reason on failure.
std::string open_module(const std::string& path, void** handle, Entry* entry) {
#if defined(_WIN32)
  HMODULE h = LoadLibraryA(path.c_str());
  if (h == nullptr) {
    return "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  }
  const auto find = [h](const char* name) {
    return reinterpret_cast<void (*)()>(GetProcAddress(h, name));
  };
#else
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return "cannot load " + path + ": " + dlerror();
  const auto find = [h](const char* name) { return reinterpret_cast<void (*)()>(dlsym(h, name)); };
#endif
  entry->ext_main = reinterpret_cast<ExtMain>(find("ext_main"));
  if (entry->ext_main == nullptr) entry->main = reinterpret_cast<MainFunction>(find("main"));
  if (entry->ext_main == nullptr && entry->main == nullptr) {
    return path + " exports neither ext_main nor main";
  }
  *handle = reinterpret_cast<void*>(h);
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
        // The host's atoms hold floats at its own width: 32 bits in 32-bit
        // hosts.
        a.a_type = A_FLOAT;
        a.a_w.w_float = static_cast<t_atom_float>(d);
      } else {
        a.a_type = A_SYM;
        a.a_w.w_sym = gensym(w.c_str());
      }
    }
    atoms.push_back(a);
  }
  return atoms;
}

t_class* max_class_of_instance(void* instance) {
  t_object* o = as_object(instance);
  return (o != nullptr && class_of(o)->max_side) ? class_of(o) : nullptr;
}

Attribute* instance_attribute(void* instance, const std::string& name, t_object** jitob) {
  const t_class* k = max_class_of_instance(instance);
  if (k == nullptr || !k->standard_wrapped) return nullptr;
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
  Entry entry;
  std::string problem = open_module(path, &m.handle, &entry);
  if (!problem.empty()) return problem;
  begin_loading(m.name);
  if (entry.ext_main != nullptr) {
    m.entry = "ext_main";
    entry.ext_main(nullptr);
  } else {
    m.entry = "main";
    entry.main();
  }
  end_loading();
  modules()[path] = m;
  *module = m;
  return {};
}

void* new_instance(const std::string& max_class, const std::string& args) {
  t_class* k = find_max_class(max_class);
  if (k == nullptr || k->mnew == nullptr) return nullptr;
  std::vector<t_atom> atoms = parse_atoms(args);
  using NewFunction = void* (*)(t_symbol*, long, t_atom*);
  return function_cast<NewFunction>(k->mnew)(gensym(max_class.c_str()),
                                             static_cast<long>(atoms.size()),
                                             atoms.empty() ? nullptr : atoms.data());
}

void free_instance(void* instance) {
  if (max_class_of_instance(instance) != nullptr) freeobject(static_cast<t_object*>(instance));
}

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
  const t_class* k = max_class_of_instance(instance);
  if (k == nullptr) return {};
  auto it = k->messages.find("assist");
  if (it == k->messages.end()) return {};
  char text[256] = {};
  using AssistFunction = t_jit_err (*)(void*, void*, long, long, char*);
  function_cast<AssistFunction>(it->second.fn)(instance, nullptr, m, a, text);
  return text;
}

Ports ports(void* instance) {
  Ports p;
  const t_object* o = max_class_of_instance(instance) != nullptr ? static_cast<t_object*>(instance)
                                                                  : nullptr;
  if (o == nullptr) return p;
  for (const inlet* i = o->o_inlet; i != nullptr; i = i->next) ++p.inlets;
  for (const outlet* i = o->o_outlet; i != nullptr; i = i->next) p.outlets.push_back(i->type);
  return p;
}

ClassInfo jit_class_info(const std::string& jit_class) {
  ClassInfo info;
  const t_class* k = find_jit_class(jit_class);
  if (k == nullptr) return info;
  info.found = true;
  info.size = k->size;
  for (const auto& [name, m] : k->methods) info.methods.push_back(name + "/" + type_list(m.types));
  for (const Attribute* a : k->attributes) {
    info.attributes.push_back(AttributeInfo{a->name, a->type->s_name, static_cast<long>(a->flags),
                                            static_cast<long>(a->offset), a->get != nullptr,
                                            a->set != nullptr});
  }
  if (const Mop* mop = mop_of(k); mop != nullptr) {
    info.mop_inputs = static_cast<long>(mop->inputs.size());
    info.mop_outputs = static_cast<long>(mop->outputs.size());
    for (const t_symbol* t : mop->types) info.mop_types.push_back(t->s_name);
    if (!mop->outputs.empty()) {
      info.output_planelink = static_cast<long>(mop->outputs.front()->planelink);
    }
  }
  return info;
}

ClassInfo max_class_info(const std::string& max_class) {
  ClassInfo info;
  const t_class* k = find_max_class(max_class);
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
  return m != nullptr ? static_cast<long>(m->lock) : 0;
}

long lock_calls(void* matrix) {
  const Matrix* m = as<Matrix>(matrix, matrix_class());
  return m != nullptr ? m->lock_calls : 0;
}

t_jit_err matrix_calc_on(const std::string& jit_class, void* jit_object,
                         const std::vector<void*>& inputs, const std::vector<void*>& outputs) {
  const t_class* k = find_jit_class(jit_class);
  if (k == nullptr) return JIT_ERR_INVALID_PTR;
  auto it = k->methods.find("matrix_calc");
  if (it == k->methods.end()) return JIT_ERR_INVALID_PTR;
  MatrixList* in = make_matrix_list(inputs);
  MatrixList* out = make_matrix_list(outputs);
  using MatrixCalc = t_jit_err (*)(void*, void*, void*);
  const t_jit_err err = function_cast<MatrixCalc>(it->second.fn)(
      jit_object, static_cast<t_object*>(in), static_cast<t_object*>(out));
  jit_object_free(static_cast<t_object*>(in));
  jit_object_free(static_cast<t_object*>(out));
  return err;
}

t_jit_err matrix_calc(void* instance, const std::vector<void*>& inputs,
                      const std::vector<void*>& outputs) {
  t_object* jitob = as_object(max_jit_obex_jitob_get(instance));
  if (jitob == nullptr) return JIT_ERR_INVALID_PTR;
  return matrix_calc_on(class_of(jitob)->name, jitob, inputs, outputs);
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
