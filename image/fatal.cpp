#include "image/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace quarn {

void FatalError(const char* message) {
  std::fputs("\n\n\a -> Error: ", stderr);
  std::fputs(message, stderr);
  std::fputs("\n Execution terminated!\n", stderr);
  std::exit(1);
}

void CheckAllocation(const void* pointer, const char* origin) {
  if (pointer != nullptr) return;
  std::fputs("\n\n\a -> Error: insufficient memory.", stderr);
  if (origin != nullptr) std::fprintf(stderr, "\nOrigin = %s\n", origin);
  std::fputs("\n Execution terminated!\n", stderr);
  std::exit(1);
}

}  // namespace quarn
