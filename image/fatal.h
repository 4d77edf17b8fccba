// Internal faults, shared by every stage of the codec.
//
// Anything that a user can supply is checked before it reaches the codec
// (see codec/validate.h), so these paths are for internal faults only: a
// failed allocation, or a stage called in a state it cannot work in. A fault
// raises quarn::Fault, which unwinds the call; what the codec holds stays
// valid (its storage is owned by objects that free it) and is rebuilt by the
// next call. The library's entry points turn a fault into an error code; the
// plug-ins report it in the fixed form below and end the process, as the
// host expects of them.
#ifndef QUARN_IMAGE_FATAL_H
#define QUARN_IMAGE_FATAL_H

#include <exception>

namespace quarn {

class Fault : public std::exception {
 public:
  enum class Kind { kInternal, kMemory };

  // `message` and `origin` are texts that outlive the fault (literals).
  Fault(Kind kind, const char* message, const char* origin = nullptr) noexcept
      : kind_(kind), message_(message), origin_(origin) {}

  Kind kind() const noexcept { return kind_; }
  const char* what() const noexcept override { return message_; }
  // Where a failed allocation was made ("< Image_3C >", "LSP", "LISP
  // entry"), or null.
  const char* origin() const noexcept { return origin_; }

 private:
  Kind kind_;
  const char* message_;
  const char* origin_;
};

// The text of a memory fault.
inline constexpr const char kInsufficientMemory[] = "insufficient memory.";

// Raises Fault(kInternal, message). Reported as
// "\n\n\a -> Error: <message>\n Execution terminated!\n".
[[noreturn]] void FatalError(const char* message);

// Returns when `pointer` is non-null. Otherwise raises Fault(kMemory,
// "insufficient memory.", origin), reported as "\n\n\a -> Error:
// insufficient memory." followed by "\nOrigin = <origin>\n" when there is an
// origin, then "\n Execution terminated!\n".
void CheckAllocation(const void* pointer, const char* origin);

}  // namespace quarn

#endif  // QUARN_IMAGE_FATAL_H
