#include "host/plugin_class.h"

#include <cstddef>

namespace quarn_host {

t_jit_err register_jit_class(const PluginNames& names, method jit_new, method jit_free,
                             method matrix_calc, void** jit_class) {
  void* cls = jit_class_new(names.jit_class, jit_new, jit_free,
                            static_cast<long>(sizeof(t_jit_quarn)), 0);
  *jit_class = cls;
  if (cls == nullptr) return JIT_ERR_GENERIC;

  void* mop = jit_object_new(_jit_sym_jit_mop, 1L, 1L);
  void* output = jit_object_method(mop, _jit_sym_getoutput, 1L);
  jit_attr_setlong(output, _jit_sym_planelink, 0);
  jit_class_addadornment(cls, static_cast<t_jit_object*>(mop));
  jit_mop_single_type(mop, _jit_sym_char);

  jit_class_addmethod(cls, matrix_calc, "matrix_calc", A_CANT, 0);

  constexpr long kAttrFlags = JIT_ATTR_GET_DEFER_LOW | JIT_ATTR_SET_USURP_LOW;
  void* attr = jit_object_new(_jit_sym_jit_attr_offset, "bitrate", _jit_sym_float64, kAttrFlags,
                              static_cast<method>(nullptr), static_cast<method>(nullptr),
                              static_cast<long>(offsetof(t_jit_quarn, bitrate)));
  jit_class_addattr(cls, static_cast<t_jit_object*>(attr));
  jit_class_register(cls);
  return JIT_ERR_NONE;
}

void* new_jit_instance(void* jit_class) {
  auto* o = static_cast<t_jit_quarn*>(jit_object_alloc(jit_class));
  if (o != nullptr) o->bitrate = kDefaultBitrate;
  return o;
}

void* new_max_instance(const PluginNames& names, void* max_class, long argc, t_atom* argv) {
  void* x = max_jit_obex_new(max_class, gensym(names.jit_class));
  if (x == nullptr) return nullptr;
  void* o = jit_object_new(gensym(names.jit_class));
  if (o == nullptr) {
    error("%s: could not allocate object", names.max_class);
    freeobject(static_cast<t_object*>(x));
    return nullptr;
  }
  max_jit_mop_setup_simple(x, o, argc, argv);

  void* m = max_jit_mop_getoutput(x, 1L);
  if (m != nullptr) {
    t_jit_matrix_info info{};
    jit_object_method(m, _jit_sym_getinfo, &info);
    info.type = _jit_sym_char;
    info.planecount = names.output_planes;
    info.dimcount = 2;
    jit_object_method(m, _jit_sym_setinfo, &info);
  }
  max_jit_attr_args(x, static_cast<short>(argc), argv);
  return x;
}

void free_max_instance(void* x) {
  max_jit_mop_free(x);
  jit_object_free(max_jit_obex_jitob_get(x));
  max_jit_obex_free(x);
}

}  // namespace quarn_host
