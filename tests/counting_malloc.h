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

struct Memory {
  bool known = false;    // false where the heap in use cannot be read
  std::size_t heap = 0;  // requested bytes of the blocks in use
  long long mapped = 0;  // plain glibc builds: data mapped outside malloc
};

// The heap in use: this program's count in plain glibc builds; the sanitizer
// runtimes' own count (__sanitizer_get_current_allocated_bytes) where their
// allocator replaces malloc. Plain native glibc builds also give the memory
// mapped outside malloc: VmData less what malloc holds from the system
// (mallinfo2's arena and hblkhd); under an emulator (QUARN_EMULATED) VmData
// is the emulator's and is left out.
Memory measure();

}  // namespace counting_malloc

#endif  // QUARN_TESTS_COUNTING_MALLOC_H
