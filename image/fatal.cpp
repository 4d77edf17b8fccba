#include "image/fatal.h"

namespace quarn {

void FatalError(const char* message) { throw Fault(Fault::Kind::kInternal, message); }

void CheckAllocation(const void* pointer, const char* origin) {
  if (pointer == nullptr) throw Fault(Fault::Kind::kMemory, kInsufficientMemory, origin);
}

}  // namespace quarn
