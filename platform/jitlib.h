/* The host's matrix and object library (jitlib), as far as the quarn plug-ins
   use it: jit classes, objects and messages, the matrix-operator description,
   matrices, and the Max-side wrapper of a matrix operator. Widths and packing
   as in maxapi.h.

   Arguments of the variadic calls are pointer-sized: pass integers as
   t_atom_long (or long, which 32-bit and macOS-layout targets make the same
   width) and empty functions as (method)0. On 64-bit targets C++ callers of
   jit_object_method and jit_object_new reach the library's fixed-arity
   forms, which take every argument as a pointer-sized word, as the host's
   own 64-bit headers arrange. */
#ifndef QUARN_PLATFORM_JITLIB_H
#define QUARN_PLATFORM_JITLIB_H

#include "platform/maxapi.h"

#if defined(__cplusplus) && QUARN_HOST_64
#include <type_traits>
#endif

PLATFORM_BEGIN_C

typedef t_ptr_int t_jit_err;

/* A jit object as the class set-up calls take it. */
typedef struct _jit_object t_jit_object;

/* Results of matrix_calc and of the library's calls: four letters, the first
   in the most significant byte. */
#define JIT_ERR_NONE ((t_jit_err)0)
#define JIT_ERR_GENERIC ((t_jit_err)0x45524F52L)        /* EROR */
#define JIT_ERR_INVALID_PTR ((t_jit_err)0x494E5650L)    /* INVP */
#define JIT_ERR_MISMATCH_TYPE ((t_jit_err)0x4D535450L)  /* MSTP */
#define JIT_ERR_MISMATCH_PLANE ((t_jit_err)0x4D53504CL) /* MSPL */

#define JIT_MATRIX_MAX_DIMCOUNT 32
#define JIT_MATRIX_MAX_PLANECOUNT 32

/* Attribute flags: read through the host's getter, set through its setter. */
#define JIT_ATTR_GET_DEFER_LOW 0x00040000L
#define JIT_ATTR_SET_USURP_LOW 0x08000000L

#if !QUARN_HOST_64
#pragma pack(push, 2)
#endif

/* A matrix's layout. Dimension 0 runs along a row (cells per row),
   dimension 1 over the rows. dimstride[i] is the byte distance between
   neighbours along dimension i; cells hold `planecount` values of `type`. */
typedef struct _jit_matrix_info {
  long size;
  t_symbol* type;
  long flags;
  long dimcount;
  long dim[JIT_MATRIX_MAX_DIMCOUNT];
  long dimstride[JIT_MATRIX_MAX_DIMCOUNT];
  long planecount;
} t_jit_matrix_info;

#if !QUARN_HOST_64
#pragma pack(pop)
#endif

/* Message selectors, class names and type names: variables of the library,
   each holding its symbol. */
JITLIB_API extern t_symbol* _jit_sym_getindex; /* (long index) -> element */
JITLIB_API extern t_symbol* _jit_sym_lock;     /* (long state) -> previous */
JITLIB_API extern t_symbol* _jit_sym_getinfo;  /* (t_jit_matrix_info*) */
JITLIB_API extern t_symbol* _jit_sym_setinfo;  /* (t_jit_matrix_info*) */
JITLIB_API extern t_symbol* _jit_sym_getdata;  /* (void** data) */
JITLIB_API extern t_symbol* _jit_sym_getinput;  /* (long index, from 1) */
JITLIB_API extern t_symbol* _jit_sym_getoutput; /* (long index, from 1) */
JITLIB_API extern t_symbol* _jit_sym_planelink;
JITLIB_API extern t_symbol* _jit_sym_typelink;
JITLIB_API extern t_symbol* _jit_sym_dimlink;
JITLIB_API extern t_symbol* _jit_sym_jit_mop;
JITLIB_API extern t_symbol* _jit_sym_jit_matrix;
JITLIB_API extern t_symbol* _jit_sym_jit_attr_offset;
JITLIB_API extern t_symbol* _jit_sym_char;
JITLIB_API extern t_symbol* _jit_sym_long;
JITLIB_API extern t_symbol* _jit_sym_float32;
JITLIB_API extern t_symbol* _jit_sym_float64;

/* Classes. jit_class_new's argument types after `size` end with 0 (int);
   `mnew` is called as void* (*)(void) and `mfree` as void (*)(void*).
   `size` is the instance record's, header included. */
JITLIB_API void* jit_class_new(const char* name, method mnew, method mfree, long size, ...);
/* Types after `name` end with 0 (int). A method named "matrix_calc" is
   called as t_jit_err (*)(void* x, void* inputs, void* outputs). */
JITLIB_API t_jit_err jit_class_addmethod(void* c, method m, const char* name, ...);
JITLIB_API t_jit_err jit_class_addattr(void* c, t_jit_object* attr);
JITLIB_API t_jit_err jit_class_addadornment(void* c, t_jit_object* o);
JITLIB_API t_jit_err jit_class_register(void* c);
/* A registered jit class, or null. */
JITLIB_API void* jit_class_findbyname(t_symbol* classname);

/* Restricts a matrix-operator description and its inputs and outputs to one
   element type. */
JITLIB_API t_jit_err jit_mop_single_type(void* x, t_symbol* s);
JITLIB_API t_jit_err jit_attr_setlong(void* x, t_symbol* s, t_atom_long c);

/* Objects. jit_object_new takes, after the class name:
     _jit_sym_jit_mop:         inputs, outputs
     _jit_sym_jit_matrix:      t_jit_matrix_info* info
     _jit_sym_jit_attr_offset: const char* name, t_symbol* type, flags,
                               method get, method set, offset
     a registered class:       nothing.
   Null when the class is unknown or the object cannot be made. */
JITLIB_API void* jit_object_new(t_symbol* classname, ...);
/* Zeroed storage of the class's instance size, with its header set. */
JITLIB_API void* jit_object_alloc(void* c);
JITLIB_API t_jit_err jit_object_free(void* x);
/* Sends a message; the arguments are those listed with each selector. */
JITLIB_API void* jit_object_method(void* x, t_symbol* s, ...);
#if QUARN_HOST_64
/* The fixed-arity forms: up to 8 arguments, each a pointer-sized word, the
   unused ones null (jit_object_new_imp's last parameter is unused). */
JITLIB_API void* jit_object_method_imp(void* x, void* s, void* p1, void* p2, void* p3,
                                       void* p4, void* p5, void* p6, void* p7, void* p8);
JITLIB_API void* jit_object_new_imp(void* classname, void* p1, void* p2, void* p3,
                                    void* p4, void* p5, void* p6, void* p7, void* p8,
                                    void* dummy);
#endif

/* The Max-side wrapper of a matrix operator. */
JITLIB_API void* max_jit_classex_setup(long oboffset);
JITLIB_API t_jit_err max_jit_classex_mop_wrap(void* mclass, void* jclass, long flags);
JITLIB_API void max_jit_classex_standard_wrap(void* mclass, void* jclass, long flags);
/* The assist handler: a description of inlet (m 1) or outlet (m 2) `a`,
   written to s (room for 256 bytes). */
JITLIB_API t_jit_err max_jit_mop_assist(void* x, void* b, long m, long a, char* s);
/* `mc` is the message list that setup stored. */
JITLIB_API void* max_jit_obex_new(void* mc, t_symbol* classname);
JITLIB_API void max_jit_obex_free(void* x);
JITLIB_API void* max_jit_obex_jitob_get(void* x);
JITLIB_API t_jit_err max_jit_mop_setup_simple(void* x, void* o, long argc, t_atom* argv);
/* The wrapper's output matrix `index`, counted from 1; null when absent. */
JITLIB_API void* max_jit_mop_getoutput(void* x, long index);
JITLIB_API void max_jit_mop_free(void* x);
/* Applies "@name value" pairs among the arguments to the wrapped object. */
JITLIB_API void max_jit_attr_args(void* x, short ac, t_atom* av);

PLATFORM_END_C

#if defined(__cplusplus) && QUARN_HOST_64 && !defined(QUARN_JITLIB_BUILD)
// C++ calls with arguments go to the fixed-arity forms, each argument made a
// pointer-sized word: integers widened to t_atom_long, pointers as they are.
namespace jit_words {

template <typename T>
inline void* word(T v) {
  if constexpr (std::is_null_pointer_v<T>) {
    return nullptr;
  } else if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
    return reinterpret_cast<void*>(v);
  } else if constexpr (std::is_pointer_v<T>) {
    return const_cast<void*>(static_cast<const volatile void*>(v));
  } else {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>,
                  "jit calls take integers and pointers only");
    return reinterpret_cast<void*>(static_cast<t_atom_long>(v));
  }
}

}  // namespace jit_words

template <typename... A>
inline void* jit_object_method(void* x, t_symbol* s, A... a) {
  static_assert(sizeof...(A) <= 8, "at most 8 arguments");
  void* w[8] = {jit_words::word(a)...};
  return jit_object_method_imp(x, s, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
}

template <typename... A>
inline void* jit_object_new(t_symbol* classname, A... a) {
  static_assert(sizeof...(A) <= 8, "at most 8 arguments");
  void* w[8] = {jit_words::word(a)...};
  return jit_object_new_imp(classname, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], nullptr);
}
#endif

#endif /* QUARN_PLATFORM_JITLIB_H */
