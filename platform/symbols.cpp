// Symbols: one interned record per distinct name, never freed.
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/maxapi.h"

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
  auto* sym = new t_symbol{name, nullptr};
  t.symbols.emplace(std::string(s, n), sym);
  return sym;
}
