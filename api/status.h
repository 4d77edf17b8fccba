// Result codes at the library's boundary: every entry point runs its work
// through `guarded`, so that a fault of the codec, or memory the standard
// library could not get, becomes a code and a message instead of leaving
// the library.
#ifndef QUARN_API_STATUS_H
#define QUARN_API_STATUS_H

#include <new>
#include <string>

#include "api/context.h"
#include "image/fatal.h"
#include "quarn/quarn.h"

namespace quarn::api {

// Records the message of a failure and returns its code.
inline int fail(quarn_context& context, int code, const std::string& message) {
  context.message = message;
  return code;
}

template <class Work>
int guarded(quarn_context& context, Work&& work) {
  try {
    const int code = work();
    if (code == QUARN_OK) context.message.clear();
    return code;
  } catch (const Fault& fault) {
    const int code =
        fault.kind() == Fault::Kind::kMemory ? QUARN_ERROR_MEMORY : QUARN_ERROR_INTERNAL;
    try {
      return fail(context, code, fault.what());
    } catch (...) {
      return code;
    }
  } catch (const std::bad_alloc&) {
    context.message.clear();
    return QUARN_ERROR_MEMORY;
  } catch (...) {
    context.message.clear();
    return QUARN_ERROR_INTERNAL;
  }
}

}  // namespace quarn::api

#endif  // QUARN_API_STATUS_H
