// Symbols: one interned record per distinct name, never freed.
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/jitlib.h"

namespace {

struct SymbolTable {
  std::mutex mutex;
  std::unordered_map<std::string, t_symbol*> symbols;
};

// Symbols live as long as the process, so the table is never destroyed.
SymbolTable& table() {
  static SymbolTable* t = new SymbolTable;
  return *t;
}

}  // namespace

t_symbol* gensym(const char* s) {
  if (s == nullptr) s = "";
  SymbolTable& t = table();
  std::lock_guard<std::mutex> hold(t.mutex);
  auto it = t.symbols.find(s);
  if (it != t.symbols.end()) return it->second;
  const std::size_t n = std::strlen(s);
  char* name = new char[n + 1];
  std::memcpy(name, s, n + 1);
  auto* sym = new t_symbol{name};
  t.symbols.emplace(std::string(s, n), sym);
  return sym;
}

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
