/* The host's matrix and object library, as far as the quarn plug-ins use
   it: jit classes, objects and messages, the matrix-operator description,
   matrices, and the Max-side wrapper of a matrix operator.

   Variadic calls take their arguments in fixed types; pass integers as long
   and empty functions as (method)0 (see each call). */
#ifndef QUARN_PLATFORM_JITLIB_H
#define QUARN_PLATFORM_JITLIB_H

#include "platform/maxapi.h"

PLATFORM_BEGIN_C

typedef long t_jit_err;

/* Results of matrix_calc and of the library's calls: four letters, the first
   in the most significant byte. */
#define JIT_ERR_NONE 0L
#define JIT_ERR_GENERIC 0x45524F52L        /* EROR */
#define JIT_ERR_INVALID_PTR 0x494E5650L    /* INVP */
#define JIT_ERR_MISMATCH_TYPE 0x4D535450L  /* MSTP */
#define JIT_ERR_MISMATCH_PLANE 0x4D53504CL /* MSPL */

#define JIT_MATRIX_MAX_DIMCOUNT 32
#define JIT_MATRIX_MAX_PLANECOUNT 32

/* A matrix's layout. Dimension 0 runs along a row (cells per row),
   dimension 1 over the rows. dimstride[i] is the byte distance between
   neighbours along dimension i; cells hold `planecount` values of `type`. */
typedef struct t_jit_matrix_info {
  long size;
  t_symbol* type;
  long flags;
  long dimcount;
  long dim[JIT_MATRIX_MAX_DIMCOUNT];
  long dimstride[JIT_MATRIX_MAX_DIMCOUNT];
  long planecount;
} t_jit_matrix_info;

/* Message selectors, class names and type names. */
PLATFORM_API extern t_symbol* _jit_sym_getindex; /* (long index) -> element */
PLATFORM_API extern t_symbol* _jit_sym_lock;     /* (long state) -> previous */
PLATFORM_API extern t_symbol* _jit_sym_getinfo;  /* (t_jit_matrix_info*) */
PLATFORM_API extern t_symbol* _jit_sym_setinfo;  /* (t_jit_matrix_info*) */
PLATFORM_API extern t_symbol* _jit_sym_getdata;  /* (void** data) */
PLATFORM_API extern t_symbol* _jit_sym_getinput;  /* (long index, from 1) */
PLATFORM_API extern t_symbol* _jit_sym_getoutput; /* (long index, from 1) */
PLATFORM_API extern t_symbol* _jit_sym_planelink;
PLATFORM_API extern t_symbol* _jit_sym_typelink;
PLATFORM_API extern t_symbol* _jit_sym_dimlink;
PLATFORM_API extern t_symbol* _jit_sym_jit_mop;
PLATFORM_API extern t_symbol* _jit_sym_jit_matrix;
PLATFORM_API extern t_symbol* _jit_sym_jit_attr_offset;
PLATFORM_API extern t_symbol* _jit_sym_char;
PLATFORM_API extern t_symbol* _jit_sym_long;
PLATFORM_API extern t_symbol* _jit_sym_float32;
PLATFORM_API extern t_symbol* _jit_sym_float64;

/* Classes. jit_class_new's argument types after `size` end with 0 (int);
   `mnew` is called as void* (*)(void) and `mfree` as void (*)(void*). */
PLATFORM_API void* jit_class_new(const char* name, method mnew, method mfree,
                                 long size, ...);
/* Types after `name` end with 0 (int). A method named "matrix_calc" is
   called as t_jit_err (*)(void* x, void* inputs, void* outputs). */
PLATFORM_API t_jit_err jit_class_addmethod(void* c, method m, const char* name,
                                           ...);
PLATFORM_API t_jit_err jit_class_addattr(void* c, void* attr);
PLATFORM_API t_jit_err jit_class_addadornment(void* c, void* adornment);
PLATFORM_API t_jit_err jit_class_register(void* c);
/* A registered jit class, or null. */
PLATFORM_API void* jit_class_findbyname(t_symbol* classname);

/* Restricts a matrix-operator description and its inputs and outputs to one
   element type. */
PLATFORM_API t_jit_err jit_mop_single_type(void* mop, t_symbol* type);
PLATFORM_API t_jit_err jit_attr_setlong(void* x, t_symbol* name, long value);

/* Objects. jit_object_new takes, after the class name:
     _jit_sym_jit_mop:         long inputs, long outputs
     _jit_sym_jit_matrix:      t_jit_matrix_info* info
     _jit_sym_jit_attr_offset: const char* name, t_symbol* type, long flags,
                               method get, method set, long offset
     a registered class:       nothing.
   Null when the class is unknown or the object cannot be made. */
PLATFORM_API void* jit_object_new(t_symbol* classname, ...);
/* Zeroed storage of the class's instance size, with its header set. */
PLATFORM_API void* jit_object_alloc(void* c);
PLATFORM_API t_jit_err jit_object_free(void* x);
/* Sends a message; the arguments are those listed with each selector. */
PLATFORM_API void* jit_object_method(void* x, t_symbol* s, ...);

/* The Max-side wrapper of a matrix operator. */
PLATFORM_API void* max_jit_classex_setup(long oboffset);
PLATFORM_API t_jit_err max_jit_classex_mop_wrap(void* mclass, void* jclass,
                                                long flags);
PLATFORM_API t_jit_err max_jit_classex_standard_wrap(void* mclass,
                                                     void* jclass, long flags);
/* The assist handler: a description of inlet (m 1) or outlet (m 2) `a`,
   written to s (room for 256 bytes). */
PLATFORM_API void max_jit_mop_assist(void* x, void* b, long m, long a, char* s);
PLATFORM_API void* max_jit_obex_new(t_class* mclass, t_symbol* classname);
PLATFORM_API void max_jit_obex_free(void* x);
PLATFORM_API void* max_jit_obex_jitob_get(void* x);
PLATFORM_API t_jit_err max_jit_mop_setup_simple(void* x, void* o, long argc,
                                                t_atom* argv);
/* The wrapper's output matrix `index`, counted from 1; null when absent. */
PLATFORM_API void* max_jit_mop_getoutput(void* x, long index);
PLATFORM_API void max_jit_mop_free(void* x);
/* Applies "@name value" pairs among the arguments to the wrapped object. */
PLATFORM_API t_jit_err max_jit_attr_args(void* x, long argc, t_atom* argv);

PLATFORM_END_C

#endif /* QUARN_PLATFORM_JITLIB_H */
