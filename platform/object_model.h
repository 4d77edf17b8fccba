// Inside the stand-in host: classes, the objects it makes itself (matrices,
// matrix lists, matrix-operator descriptions, attributes), the registry of
// classes, and the console. Not seen by the plug-ins.
#ifndef QUARN_PLATFORM_OBJECT_MODEL_H
#define QUARN_PLATFORM_OBJECT_MODEL_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/jitlib.h"

namespace platform {

inline constexpr unsigned long kObjectMagic = 0x71756172UL;  // "quar"

// The host's own objects answer their messages through one handler per
// class; `ap` holds the message's arguments.
using Handler = void* (*)(t_object* self, t_symbol* selector, va_list* ap);
using Destroy = void (*)(t_object* self);

struct ClassMethod {
  method fn = nullptr;
  std::vector<int> types;
};

struct Attribute;

}  // namespace platform

// A Max class, a jit class of a plug-in, or a class of the host's own.
struct t_class {
  std::string name;
  bool max_side = false;

  // Classes of the host's own objects.
  platform::Handler handler = nullptr;
  platform::Destroy destroy = nullptr;

  // Jit classes of plug-ins.
  method mnew = nullptr;
  method mfree = nullptr;
  long size = 0;
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

// A matrix: its layout, its zeroed data, and the host's lock flag. Rows can
// be given extra bytes (row_padding) to stand for hosts whose rows are
// longer than their cells.
struct Matrix : t_object {
  t_jit_matrix_info info{};
  uint8_t* data = nullptr;
  std::size_t bytes = 0;
  long lock = 0;
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
  long planelink = 1;
  long typelink = 1;
  long dimlink = 1;
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
  long flags = 0;
  method get = nullptr;
  method set = nullptr;
  long offset = 0;
};

// What the Max-side wrapper keeps for one instance.
struct Obex {
  t_object* jitob = nullptr;
  std::vector<Matrix*> inputs;
  std::vector<Matrix*> outputs;
};

// The host's own classes.
t_class* matrix_class();
t_class* matrix_list_class();
t_class* mop_class();
t_class* mop_io_class();
t_class* attribute_class();

// Sets the header of a host object.
void init_object(t_object* o, t_class* c);
// The object behind a pointer from outside, or null when it is not one.
t_object* as_object(void* x);
template <typename T>
T* as(void* x, t_class* c) {
  t_object* o = as_object(x);
  return (o != nullptr && o->o_class == c) ? static_cast<T*>(o) : nullptr;
}

// Builds a matrix; its data is allocated from `info` (null data when the
// layout has no cells or cannot be allocated).
Matrix* make_matrix(const t_jit_matrix_info& info, long row_padding);
void apply_info(Matrix* m, const t_jit_matrix_info& info);
std::size_t type_size(const t_symbol* type);
MatrixList* make_matrix_list(const std::vector<void*>& items);
Mop* make_mop(long inputs, long outputs);
Attribute* make_attribute(va_list* ap);
void* matrix_handler(t_object* self, t_symbol* s, va_list* ap);
void set_mop_io_attr(MopIO* io, t_symbol* name, long value);

// The registry: jit classes by name (registered ones only), Max classes by
// name, the Max class being set up, and the name of the module being loaded.
struct Registry {
  std::mutex mutex;
  std::map<std::string, t_class*> jit_classes;
  std::map<std::string, t_class*> max_classes;
  t_class* current_max = nullptr;
  std::string loading_name;
};
Registry& registry();

// The Max-side instance's wrapper record, or null.
Obex* obex_of(void* x);
// An attribute of a jit object's class by name, or null.
Attribute* find_attribute(t_object* o, const std::string& name);
bool set_attribute_value(t_object* o, Attribute* a, double value);
bool get_attribute_value(t_object* o, const Attribute* a, double* value);

// The console: every message that error() printed, in order.
// The argument-type codes of a list that starts with `first`, goes on in
// `ap` and ends with 0 (at most 16 of them).
std::vector<int> read_types(int first, va_list* ap);

void console_append(const std::string& text);
std::vector<std::string> console_take();

// Trace of matrix messages, when switched on.
void trace_matrix(const Matrix* m, const char* selector, const std::string& arg);
void trace_enable(bool on);
std::vector<std::string> trace_take();

}  // namespace platform

#endif  // QUARN_PLATFORM_OBJECT_MODEL_H
