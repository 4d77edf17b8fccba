/* jit.quarnpack, the encoder plug-in: an image matrix in (4 planes of 8-bit
   cells, plane 0 alpha), one row out holding the size prefix and the coded
   stream. */
#ifndef QUARN_HOST_JIT_QUARNPACK_H
#define QUARN_HOST_JIT_QUARNPACK_H

#include "host/plugin_records.h"

PLATFORM_BEGIN_C

/* The Max class: the message list that setup stores. */
extern void* max_jit_quarnpack_class;

t_jit_err jit_quarnpack_init(void);
void* max_jit_quarnpack_new(t_symbol* s, long argc, t_atom* argv);
void max_jit_quarnpack_free(void* x);

PLATFORM_END_C

#endif /* QUARN_HOST_JIT_QUARNPACK_H */
