/* The entry point the host calls once after loading jit.quarnopen: register
   the jit class, then the Max class that wraps it. */
#include <stddef.h>

#include "host/jit_quarnopen.h"

PLUGIN_EXPORT int main(void) {
  void* p;
  void* q;

  jit_quarnopen_init();
  setup(&max_jit_quarnopen_class, (method)max_jit_quarnopen_new, (method)max_jit_quarnopen_free,
        (long)sizeof(t_max_jit_quarn), (method)0, A_GIMME, 0);
  p = max_jit_classex_setup((long)offsetof(t_max_jit_quarn, obex));
  q = jit_class_findbyname(gensym("jit_quarnopen"));
  max_jit_classex_mop_wrap(p, q, 0L);
  max_jit_classex_standard_wrap(p, q, 0L);
  addmess((method)max_jit_mop_assist, "assist", A_CANT, 0);
  return 0;
}
