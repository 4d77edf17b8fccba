/* The Max host's object API (MaxAPI), as far as the quarn plug-ins use it:
   the host's integer widths, the object header, symbols, atoms, class
   set-up, messages and the console.

   The types have the host's widths, order and packing on every target: on
   32-bit Windows every structure is packed to 2 bytes and `long` is 32 bits;
   on 64-bit Windows the packing is the default and `long` is still 32 bits;
   on Linux x86-64 the layout is that of the host's 64-bit macOS builds
   (LP64: `long` is 64 bits). Plug-ins built against this header put their
   fields where the host expects them, and the stand-in host in platform/
   lays out its records the same way. */
#ifndef QUARN_PLATFORM_MAXAPI_H
#define QUARN_PLATFORM_MAXAPI_H

#include <stdint.h>

#include "platform/platform_export.h"

PLATFORM_BEGIN_C

/* Pointer-sized integers; attribute and atom numbers. */
typedef intptr_t t_ptr_int;
typedef uintptr_t t_ptr_uint;
typedef t_ptr_int t_atom_long;
typedef t_ptr_int t_max_err;
#if QUARN_HOST_64
typedef double t_atom_float;
typedef t_ptr_uint t_getbytes_size;
#else
typedef float t_atom_float;
typedef short t_getbytes_size;
#endif

/* A function stored in a class table. Each is cast back to its real type
   before it is called; this type only carries it. */
typedef void* (*method)(void*);

/* The value of t_object's o_magic in every live object. */
#define OB_MAGIC 1758379419L

/* Argument-type codes of setup, addmess and jit_class_addmethod. A_GIMME: the
   arguments arrive as one list (class name, count, atoms). A_CANT: called by
   the host with arguments of its own, never from a patch. */
enum {
  A_NOTHING = 0,
  A_LONG = 1,
  A_FLOAT = 2,
  A_SYM = 3,
  A_OBJ = 4,
  A_DEFLONG = 5,
  A_DEFFLOAT = 6,
  A_DEFSYM = 7,
  A_GIMME = 8,
  A_CANT = 9
};

/* A class's message list. The entry before the one an object points at holds
   the class; its layout is the host's own business. */
typedef struct messlist t_messlist;

#if !QUARN_HOST_64
#pragma pack(push, 2)
#endif

/* The header at offset 0 of every object, written by the host when it makes
   the object; a plug-in's instance record puts its own fields behind it. */
typedef struct object {
  t_messlist* o_messlist;
  t_ptr_int o_magic; /* OB_MAGIC */
  struct inlet* o_inlet;
  struct outlet* o_outlet;
} t_object;

/* An interned name: gensym gives one pointer per distinct text, so symbols
   compare by pointer. */
typedef struct symbol {
  char* s_name;
  t_object* s_thing;
} t_symbol;

union word {
  t_atom_long w_long;
  t_atom_float w_float;
  t_symbol* w_sym;
  t_object* w_obj;
};

/* One creation argument or message argument. */
typedef struct atom {
  short a_type; /* A_LONG, A_FLOAT, A_SYM or A_OBJ */
  union word a_w;
} t_atom;

#if !QUARN_HOST_64
#pragma pack(pop)
#endif

MAXAPI_API t_symbol* gensym(const char* s);

/* Makes the Max class of the module being loaded, named after its file, and
   stores the class's message list in *ident. `makefun` is called as
   void* (*)(t_symbol* name, long argc, t_atom* argv) for A_GIMME, `freefun` as
   void (*)(void* x). `size` is the instance record's, header included. The
   argument types that follow `type` end with 0, passed as int. */
MAXAPI_API void setup(t_messlist** ident, method makefun, method freefun,
                      t_getbytes_size size, method menufun, short type, ...);

/* Adds a message to the Max class that setup made last. The types after
   `type` end with 0, passed as int. */
MAXAPI_API void addmess(method f, const char* s, short type, ...);

/* Prints to the host's console (printf format). */
#if defined(__ELF__)
/* The GNU C library has a function of this name with other arguments, which
   a plug-in could bind to instead (and some sanitizer runtimes intercept
   it); on ELF systems the host's is linked under a name of its own. */
MAXAPI_API void error(const char* fmt, ...) __asm__("quarn_host_error")
    __attribute__((format(printf, 1, 2)));
#elif defined(__GNUC__)
MAXAPI_API void error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#else
MAXAPI_API void error(const char* fmt, ...);
#endif

/* Frees an object: the class's free function runs first, then the host
   releases the object's inlets, outlets and storage. */
MAXAPI_API void freeobject(t_object* op);

PLATFORM_END_C

#endif /* QUARN_PLATFORM_MAXAPI_H */
