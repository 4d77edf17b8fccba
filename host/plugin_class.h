// Registration and instances, shared by both plug-ins: they differ only in
// their names, the planes of their output, and their matrix_calc.
#ifndef QUARN_HOST_PLUGIN_CLASS_H
#define QUARN_HOST_PLUGIN_CLASS_H

#include "host/plugin_records.h"

namespace quarn_host {

inline constexpr double kDefaultBitrate = 0.5;

// A function as the host's class tables store it (see QUARN_METHOD).
template <typename F>
method as_method(F* f) {
  return reinterpret_cast<method>(reinterpret_cast<void (*)()>(f));
}

struct PluginNames {
  const char* jit_class;  // "jit_quarnpack"
  const char* max_class;  // "jit.quarnpack"
  long output_planes;
};

// Makes and registers the jit class: one input and one output of 8-bit
// cells whose plane counts are not linked, the method matrix_calc, and the
// float64 attribute bitrate.
t_jit_err register_jit_class(const PluginNames& names, method jit_new, method jit_free,
                             method matrix_calc, void** jit_class);

// A jit-side instance with the default bitrate; null when allocation failed.
void* new_jit_instance(void* jit_class);

// A Max-side instance wrapping a new jit-side one; its output matrix is set
// to 8-bit cells, the plug-in's planes and two dimensions, then creation
// arguments such as "@bitrate 0.25" apply. Null on failure.
void* new_max_instance(const PluginNames& names, void* max_class, long argc, t_atom* argv);

void free_max_instance(void* x);

}  // namespace quarn_host

#endif  // QUARN_HOST_PLUGIN_CLASS_H
