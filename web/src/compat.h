// Forced into every file of the WebAssembly build. The libc++ that Debian's
// emscripten ships predates std::bit_cast, which the codec uses; the compiler
// has the builtin behind it, so the missing template is supplied here. Any
// newer libc++ declares it itself and this adds nothing.
#ifndef QUARN_WEB_COMPAT_H
#define QUARN_WEB_COMPAT_H

#ifdef __cplusplus
#include <version>
#if !defined(__cpp_lib_bit_cast)
#include <bit>
#include <type_traits>

namespace std {
template <class To, class From>
  requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
           is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif

#endif  // QUARN_WEB_COMPAT_H
