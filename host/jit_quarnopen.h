/* jit.quarnopen, the decoder plug-in: a coded row in (the size prefix and
   the stream that jit.quarnpack made), the image out as 4 planes of 8-bit
   cells with 255 in plane 0. */
#ifndef QUARN_HOST_JIT_QUARNOPEN_H
#define QUARN_HOST_JIT_QUARNOPEN_H

#include "host/plugin_records.h"

PLATFORM_BEGIN_C

/* The Max class: the message list that setup stores. */
extern void* max_jit_quarnopen_class;

t_jit_err jit_quarnopen_init(void);
void* max_jit_quarnopen_new(t_symbol* s, long argc, t_atom* argv);
void max_jit_quarnopen_free(void* x);

PLATFORM_END_C

#endif /* QUARN_HOST_JIT_QUARNOPEN_H */
