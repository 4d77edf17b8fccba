// A counting allocator for the growth tests: in plain glibc builds the test
// program replaces malloc and its relatives with thin wrappers around glibc's
// own allocator that keep a table of live blocks and the sum of their
// requested sizes. Nothing about the blocks changes, so the count is exact:
// it moves by precisely the size of anything kept, however small, and does
// not depend on how the allocator happened to split or cache its memory.
#ifndef QUARN_TESTS_COUNTING_MALLOC_H
#define QUARN_TESTS_COUNTING_MALLOC_H

#include <cstddef>

namespace counting_malloc {

// False where the replacement is not built (sanitizer builds, whose own
// allocator replaces malloc, and platforms other than glibc).
bool active();
// Requested bytes of every block allocated and not yet freed.
std::size_t bytes_in_use();

}  // namespace counting_malloc

#endif  // QUARN_TESTS_COUNTING_MALLOC_H
