// Inside the stand-in host: classes and their message lists, the header of
// every object, inlets and outlets, the objects the host makes itself
// (matrices, matrix lists, matrix-operator descriptions, attributes), the
// registries of classes, and the console. Not seen by the plug-ins.
//
// MaxAPI holds the object core (classes, headers, Max classes, the console);
// jitlib builds on it. Each library exports what the other and the loader
// use, but only the host's own names reach the plug-ins.
#ifndef QUARN_PLATFORM_OBJECT_MODEL_H
#define QUARN_PLATFORM_OBJECT_MODEL_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/jitlib.h"

struct t_class;

// What an object's o_messlist points at: the entry before it names the class.
struct messlist {
  t_class* cls;
};

// Inlets and outlets, linked from left to right from the object header.
struct inlet {
  inlet* next;
};
struct outlet {
  outlet* next;
  const char* type;  // "jit_matrix", or "" for the dumpout outlet
};

namespace platform {

// The arguments of one message: read one pointer-sized word at a time, from
// the variadic calls or from the fixed-arity forms' eight words.
class Args {
 public:
  explicit Args(va_list* ap) : ap_(ap) {}
  explicit Args(void* const* words) : words_(words) {}
  void* pointer();
  t_atom_long integer() { return static_cast<t_atom_long>(reinterpret_cast<intptr_t>(pointer())); }
  method function() { return reinterpret_cast<method>(pointer()); }

 private:
  va_list* ap_ = nullptr;
  void* const* words_ = nullptr;
  int taken_ = 0;
};

// The host's own objects answer their messages through one handler per
// class.
using Handler = void* (*)(t_object* self, t_symbol* selector, Args& args);

// A function a class stored as `method`, back at its real type F. The cast
// goes through void (*)(void), the type that stands for any function.
template <typename F>
F function_cast(method m) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(m));
}
using Destroy = void (*)(t_object* self);

struct ClassMethod {
  method fn = nullptr;
  std::vector<int> types;
};

struct Attribute;

}  // namespace platform

// A Max class, a jit class of a plug-in, or a class of the host's own.
struct t_class {
  t_class() { head[0].cls = head[1].cls = this; }
  t_class(const t_class&) = delete;
  t_class& operator=(const t_class&) = delete;

  // Objects point at head[1]; head[0] names the class.
  messlist head[2];
  std::string name;
  bool max_side = false;

  // Classes of the host's own objects.
  platform::Handler handler = nullptr;
  platform::Destroy destroy = nullptr;

  // Classes of plug-ins.
  method mnew = nullptr;
  method mfree = nullptr;
  long size = 0;  // of the instance record, header included

  // Jit classes.
  std::map<std::string, platform::ClassMethod> methods;
  std::vector<platform::Attribute*> attributes;
  std::vector<t_object*> adornments;
  bool registered = false;

  // Max classes.
  std::vector<int> new_types;
  long obex_offset = -1;
  t_class* wrapped = nullptr;
  bool mop_wrapped = false;
  bool standard_wrapped = false;
  std::map<std::string, platform::ClassMethod> messages;
};

namespace platform {

// ---- MaxAPI: the object core -------------------------------------------

// Writes the header of an object of class c: message list, magic, no inlets
// or outlets.
MAXAPI_API void init_object(t_object* o, t_class* c);
// The object behind a pointer from outside, or null when it is not one.
MAXAPI_API t_object* as_object(void* x);
MAXAPI_API t_class* class_of(const t_object* o);
template <typename T>
T* as(void* x, t_class* c) {
  t_object* o = as_object(x);
  return (o != nullptr && class_of(o) == c) ? static_cast<T*>(o) : nullptr;
}
// Zeroed storage of exactly the class's instance size, header written; null
// when it cannot be allocated. Released by freeobject.
MAXAPI_API t_object* alloc_instance(t_class* c);
// Inlets and outlets: an inlet, or an outlet added at the left.
MAXAPI_API void add_inlet(t_object* o);
MAXAPI_API void add_outlet_at_left(t_object* o, const char* type);

// Max classes by name, the Max class set up last, and the name of the module
// being loaded (the class name setup gives).
MAXAPI_API t_class* find_max_class(const std::string& name);
// The Max class whose message list `mc` is, or null.
MAXAPI_API t_class* max_class_of_messlist(const void* mc);
// `c` itself when it is a Max class, else null.
MAXAPI_API t_class* known_max_class(void* c);
MAXAPI_API t_class* current_max_class();
MAXAPI_API void begin_loading(const std::string& module_name);
MAXAPI_API void end_loading();

// The argument-type codes of a list that starts with `first`, goes on in
// `ap` and ends with 0 (at most 16 of them).
MAXAPI_API std::vector<int> read_types(int first, va_list* ap);

// The console: every message that error() printed, in order; and a trace of
// matrix messages, when switched on.
MAXAPI_API void console_append(const std::string& text);
MAXAPI_API std::vector<std::string> console_take();
MAXAPI_API void trace_append(const std::string& line);
MAXAPI_API void trace_enable(bool on);
MAXAPI_API std::vector<std::string> trace_take();

// ---- jitlib ----------------------------------------------------------------

// A matrix: its layout, its zeroed data, and the host's lock flag. Rows can
// be given extra bytes (row_padding) to stand for hosts whose rows are
// longer than their cells.
struct Matrix : t_object {
  t_jit_matrix_info info{};
  uint8_t* data = nullptr;
  std::size_t bytes = 0;
  t_atom_long lock = 0;
  long lock_calls = 0;
  long row_padding = 0;
  std::string label = "matrix";
};

// The list of matrices handed to matrix_calc.
struct MatrixList : t_object {
  std::vector<void*> items;
};

// One input or output of a matrix-operator description.
struct MopIO : t_object {
  bool output = false;
  long index = 0;  // from 1
  t_atom_long planelink = 1;
  t_atom_long typelink = 1;
  t_atom_long dimlink = 1;
  std::vector<t_symbol*> types;
};

struct Mop : t_object {
  std::vector<MopIO*> inputs;
  std::vector<MopIO*> outputs;
  std::vector<t_symbol*> types;
};

// An attribute stored in the instance record at a byte offset.
struct Attribute : t_object {
  std::string name;
  t_symbol* type = nullptr;
  t_atom_long flags = 0;
  method get = nullptr;
  method set = nullptr;
  t_atom_long offset = 0;
};

// What the Max-side wrapper keeps for one instance.
struct Obex {
  t_object* jitob = nullptr;
  std::vector<Matrix*> inputs;
  std::vector<Matrix*> outputs;
};

// The host's own classes.
JITLIB_API t_class* matrix_class();
JITLIB_API t_class* matrix_list_class();
JITLIB_API t_class* mop_class();
JITLIB_API t_class* mop_io_class();
JITLIB_API t_class* attribute_class();
t_class* make_builtin(const char* name, Handler h, Destroy d);

// A registered jit class by name, or null.
JITLIB_API t_class* find_jit_class(const std::string& name);
// A jit class of a plug-in (registered or not), or null.
t_class* plugin_jit_class(void* c);

// Builds a matrix; its data is allocated from `info` (null data when the
// layout has no cells or cannot be allocated).
JITLIB_API Matrix* make_matrix(const t_jit_matrix_info& info, long row_padding);
JITLIB_API void apply_info(Matrix* m, const t_jit_matrix_info& info);
JITLIB_API std::size_t type_size(const t_symbol* type);
JITLIB_API MatrixList* make_matrix_list(const std::vector<void*>& items);
Mop* make_mop(t_atom_long inputs, t_atom_long outputs);
Attribute* make_attribute(Args& args);
void set_mop_io_attr(MopIO* io, t_symbol* name, t_atom_long value);
JITLIB_API Mop* mop_of(const t_class* jit_class);

// The Max-side instance's wrapper record, or null.
JITLIB_API Obex* obex_of(void* x);
// An attribute of a jit object's class by name, or null.
JITLIB_API Attribute* find_attribute(t_object* o, const std::string& name);
JITLIB_API bool set_attribute_value(t_object* o, Attribute* a, double value);
JITLIB_API bool get_attribute_value(t_object* o, const Attribute* a, double* value);

void trace_matrix(const Matrix* m, const char* selector, const std::string& arg);

}  // namespace platform

#endif  // QUARN_PLATFORM_OBJECT_MODEL_H
