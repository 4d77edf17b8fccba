// Fatal error reporting shared by every stage of the codec.
//
// The codec has no recoverable errors: an internal fault is reported on the
// standard error stream in a fixed form and ends the process with status 1.
// Anything that a user can supply is checked before it reaches the codec
// (see codec/validate.h), so these paths are for internal faults only.
#ifndef QUARN_IMAGE_FATAL_H
#define QUARN_IMAGE_FATAL_H

namespace quarn {

// Writes "\n\n\a -> Error: <message>\n Execution terminated!\n" and exits(1).
[[noreturn]] void FatalError(const char* message);

// Returns when `pointer` is non-null. Otherwise reports "insufficient memory",
// followed by the origin when one is given, and exits(1).
void CheckAllocation(const void* pointer, const char* origin);

}  // namespace quarn

#endif  // QUARN_IMAGE_FATAL_H

