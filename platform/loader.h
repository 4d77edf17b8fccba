// The stand-in host application, for tests and tools: load a plug-in module
// and register its classes, make and free instances, set attributes, build
// matrices, and run matrix_calc the way the host does. A static library on
// top of the stand-in's MaxAPI and jitlib.
#ifndef QUARN_PLATFORM_LOADER_H
#define QUARN_PLATFORM_LOADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/jitlib.h"

namespace platform {

struct Module {
  std::string path;
  std::string name;   // the Max class name: the file name without its extension
  std::string entry;  // the entry point called: "ext_main", else "main"
  void* handle = nullptr;
};

// Loads the plug-in at `path` (on Windows a file name is looked up as the
// host's loader does) and calls its exported ext_main, or main when it has
// none, once per path. Returns an empty string, or why the module could not
// be loaded.
std::string load_module(const std::string& path, Module* module);

// Makes an instance of a loaded Max class, as a patch object with the given
// creation arguments ("@bitrate 0.25"). Null when creation failed.
void* new_instance(const std::string& max_class, const std::string& args = "");
void free_instance(void* instance);
// The wrapped jit object of an instance.
void* jit_object(void* instance);
// The instance's output matrix `index`, counted from 1.
void* output_matrix(void* instance, long index = 1);

// Sets or reads an attribute as a patch message does (the class must have
// the standard wrapper). False when there is no such attribute.
bool set_attribute(void* instance, const std::string& name, double value);
bool get_attribute(void* instance, const std::string& name, double* value);
// The text of the class's "assist" handler for inlet (m 1) or outlet (m 2) a.
std::string assist(void* instance, long m, long a);

// The inlets and outlets an instance has, as the host's header links them:
// the number of inlets and each outlet's type from left to right.
struct Ports {
  long inlets = 0;
  std::vector<std::string> outlets;
};
Ports ports(void* instance);

// How a class was registered.
struct AttributeInfo {
  std::string name;
  std::string type;
  long flags = 0;
  long offset = 0;
  bool has_getter = false;
  bool has_setter = false;
};
struct ClassInfo {
  bool found = false;
  long size = 0;
  std::vector<std::string> methods;  // "name/type,type"
  std::vector<AttributeInfo> attributes;
  long mop_inputs = 0;
  long mop_outputs = 0;
  std::vector<std::string> mop_types;
  long output_planelink = -1;  // of output 1
  // Max classes.
  long obex_offset = -1;
  std::vector<int> new_types;
  std::string wrapped;
  bool mop_wrapped = false;
  bool standard_wrapped = false;
};
ClassInfo jit_class_info(const std::string& jit_class);
ClassInfo max_class_info(const std::string& max_class);

// A matrix with zeroed data; each row gets `row_padding` bytes beyond its
// cells, here and whenever its layout is set again.
void* new_matrix(t_symbol* type, long planecount, long width, long height,
                              long row_padding = 0, const std::string& label = "matrix");
void free_matrix(void* matrix);
t_jit_matrix_info matrix_info(void* matrix);
uint8_t* matrix_data(void* matrix);
std::size_t matrix_bytes(void* matrix);
// Gives the matrix new row padding (and so a new layout and fresh data).
void set_row_padding(void* matrix, long row_padding);
void set_label(void* matrix, const std::string& label);
long lock_state(void* matrix);
long lock_calls(void* matrix);

// Runs the method "matrix_calc" that the instance's jit class registered,
// with lists of the given matrices (null entries stay null).
t_jit_err matrix_calc(void* instance, const std::vector<void*>& inputs,
                                   const std::vector<void*>& outputs);
// The same with an explicit jit object, which may be null.
t_jit_err matrix_calc_on(const std::string& jit_class, void* jit_object,
                                      const std::vector<void*>& inputs,
                                      const std::vector<void*>& outputs);
// One frame: `input` in, the instance's own output matrix out.
t_jit_err run_frame(void* instance, void* input);

// Everything printed through error() since the last call.
std::vector<std::string> take_errors();
// Records matrix messages ("label selector argument") from now on.
void start_trace();
std::vector<std::string> take_trace();

}  // namespace platform

#endif  // QUARN_PLATFORM_LOADER_H
