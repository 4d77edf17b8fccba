/* The Max host's object API, as far as the quarn plug-ins use it: symbols,
   objects, class set-up, messages and the console.

   This is our own small host, built so that the plug-ins can be loaded and
   driven on machines without Max. Its records and values are its own; only
   the calls, their arguments and the results a plug-in relies on follow the
   host. */
#ifndef QUARN_PLATFORM_MAXAPI_H
#define QUARN_PLATFORM_MAXAPI_H

#include "platform/platform_export.h"

PLATFORM_BEGIN_C

/* An interned name: gensym gives one pointer per distinct text, so symbols
   compare by pointer. */
typedef struct t_symbol {
  const char* s_name;
} t_symbol;

/* A class of the host: a Max class made by setup, or a jit class made by
   jit_class_new. Opaque to the plug-ins. */
typedef struct t_class t_class;

/* The header at the start of every object the host hands out or allocates
   for a class; an instance record puts its own fields behind it. */
typedef struct t_object {
  t_class* o_class;
  unsigned long o_magic;
} t_object;

/* A function stored in a class table. Each is cast back to its real type
   before it is called; this type only carries it. */
typedef void (*method)(void);

/* Argument-type codes of setup, addmess and jit_class_addmethod. A_GIMME: the
   arguments arrive as one list (class name, count, atoms). A_CANT: called by
   the host with arguments of its own, never from a patch. */
enum {
  A_NOTHING = 0,
  A_LONG = 1,
  A_FLOAT = 2,
  A_SYM = 3,
  A_GIMME = 8,
  A_CANT = 9
};

/* One creation argument or message argument. */
typedef struct t_atom {
  short a_type; /* A_LONG, A_FLOAT or A_SYM */
  union {
    long w_long;
    double w_float;
    t_symbol* w_sym;
  } a_w;
} t_atom;

PLATFORM_API t_symbol* gensym(const char* s);

/* Makes the Max class of the module being loaded, named after its file, and
   stores it in *ident. `makefun` is called as
   void* (*)(t_symbol* name, long argc, t_atom* argv) for A_GIMME,
   `freefun` as void (*)(void* x). The argument types that follow `type` end
   with 0, passed as int. */
PLATFORM_API void setup(t_class** ident, method makefun, method freefun,
                        long size, method menufun, int type, ...);

/* Adds a message to the Max class that setup made last. The types after
   `type` end with 0, passed as int. */
PLATFORM_API void addmess(method f, const char* s, int type, ...);

/* Prints to the host's console (printf format). The messages are kept so
   that a test can read them. */
#if defined(__ELF__)
/* The GNU C library has a function of this name with other arguments, which
   a plug-in could bind to instead (and some sanitizer runtimes intercept
   it); the host's is linked under a name of its own. */
PLATFORM_API void error(const char* fmt, ...) __asm__("quarn_host_error")
    __attribute__((format(printf, 1, 2)));
#elif defined(__GNUC__)
PLATFORM_API void error(const char* fmt, ...)
    __attribute__((format(printf, 1, 2)));
#else
PLATFORM_API void error(const char* fmt, ...);
#endif

/* Frees an object: for a Max object the class's free function runs first. */
PLATFORM_API void freeobject(void* x);

PLATFORM_END_C

#endif /* QUARN_PLATFORM_MAXAPI_H */
