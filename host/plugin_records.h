/* The instance records that both plug-ins register with the host. Each
   starts with the host's header, which the host writes when it allocates the
   record at exactly the size registered. */
#ifndef QUARN_HOST_PLUGIN_RECORDS_H
#define QUARN_HOST_PLUGIN_RECORDS_H

#include "platform/jitlib.h"

/* A function as the host's class tables store it. The cast goes through
   void (*)(void), the type that stands for any function. */
#define QUARN_METHOD(f) ((method)(void (*)(void))(f))

/* The jit-side instance: the host's header, then the bitrate attribute
   (coded bits per pixel). */
typedef struct t_jit_quarn {
  t_object ob;
  double bitrate;
} t_jit_quarn;

/* The Max-side instance: the host's header, then the wrapper record through
   which the host keeps the jit-side instance and its matrices. */
typedef struct t_max_jit_quarn {
  t_object ob;
  void* obex;
} t_max_jit_quarn;

#endif /* QUARN_HOST_PLUGIN_RECORDS_H */
