// The library's symbol variables: message selectors, class and type names.
#include "platform/jitlib.h"

t_symbol* _jit_sym_getindex = gensym("getindex");
t_symbol* _jit_sym_lock = gensym("lock");
t_symbol* _jit_sym_getinfo = gensym("getinfo");
t_symbol* _jit_sym_setinfo = gensym("setinfo");
t_symbol* _jit_sym_getdata = gensym("getdata");
t_symbol* _jit_sym_getinput = gensym("getinput");
t_symbol* _jit_sym_getoutput = gensym("getoutput");
t_symbol* _jit_sym_planelink = gensym("planelink");
t_symbol* _jit_sym_typelink = gensym("typelink");
t_symbol* _jit_sym_dimlink = gensym("dimlink");
t_symbol* _jit_sym_jit_mop = gensym("jit_mop");
t_symbol* _jit_sym_jit_matrix = gensym("jit_matrix");
t_symbol* _jit_sym_jit_attr_offset = gensym("jit_attr_offset");
t_symbol* _jit_sym_char = gensym("char");
t_symbol* _jit_sym_long = gensym("long");
t_symbol* _jit_sym_float32 = gensym("float32");
t_symbol* _jit_sym_float64 = gensym("float64");
