// Matrix messages as the plug-ins send them: every access goes through
// jit_object_method with the host's selectors.
#ifndef QUARN_HOST_MATRIX_ACCESS_H
#define QUARN_HOST_MATRIX_ACCESS_H

#include <cstdint>

#include "platform/jitlib.h"

namespace quarn_host {

inline void* list_item(void* list, long index) {
  return jit_object_method(list, _jit_sym_getindex, index);
}

// Sets the lock state and returns the previous one.
inline t_atom_long lock_matrix(void* m, t_atom_long state) {
  return reinterpret_cast<t_atom_long>(jit_object_method(m, _jit_sym_lock, state));
}

inline void get_info(void* m, t_jit_matrix_info* info) {
  jit_object_method(m, _jit_sym_getinfo, info);
}

inline void set_info(void* m, t_jit_matrix_info* info) {
  jit_object_method(m, _jit_sym_setinfo, info);
}

inline uint8_t* get_data(void* m) {
  void* data = nullptr;
  jit_object_method(m, _jit_sym_getdata, &data);
  return static_cast<uint8_t*>(data);
}

// Size along dimension d; dimensions the matrix does not have count as 1.
inline long dim_of(const t_jit_matrix_info& info, long d) {
  return d < info.dimcount ? info.dim[d] : 1;
}

// Locks the input and then the output; unlocks them in reverse order, each
// back to the state it had, when the frame is done.
class FrameLock {
 public:
  FrameLock(void* in, void* out)
      : in_(in), out_(out), in_state_(lock_matrix(in, 1)), out_state_(lock_matrix(out, 1)) {}
  ~FrameLock() {
    lock_matrix(out_, out_state_);
    lock_matrix(in_, in_state_);
  }
  FrameLock(const FrameLock&) = delete;
  FrameLock& operator=(const FrameLock&) = delete;

 private:
  void* in_;
  void* out_;
  t_atom_long in_state_;
  t_atom_long out_state_;
};

}  // namespace quarn_host

#endif  // QUARN_HOST_MATRIX_ACCESS_H
