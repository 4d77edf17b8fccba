/* The entry points the host calls once after loading jit.quarnpack: ext_main
   (what current hosts look for first) and main (what older hosts know). Both
   register the jit class, then the Max class that wraps it. */
#include <stddef.h>

#include "host/jit_quarnpack.h"

static void register_classes(void) {
  void* p;
  void* q;

  jit_quarnpack_init();
  setup((t_messlist**)&max_jit_quarnpack_class, QUARN_METHOD(max_jit_quarnpack_new),
        QUARN_METHOD(max_jit_quarnpack_free), sizeof(t_max_jit_quarn), (method)0, A_GIMME, 0);
  p = max_jit_classex_setup((long)offsetof(t_max_jit_quarn, obex));
  q = jit_class_findbyname(gensym("jit_quarnpack"));
  max_jit_classex_mop_wrap(p, q, 0L);
  max_jit_classex_standard_wrap(p, q, 0L);
  addmess(QUARN_METHOD(max_jit_mop_assist), "assist", A_CANT, 0);
}

PLUGIN_EXPORT void ext_main(void* r) {
  (void)r;
  register_classes();
}

PLUGIN_EXPORT int main(void) {
  register_classes();
  return 0;
}
