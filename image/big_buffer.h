// Storage for large buffers (the image planes). A fresh page costs far more
// to touch the first time than to fill, so big buffers are mapped in whole
// 2 MiB pages with the kernel's transparent huge pages where the system has
// them (Linux), and they come from the system already zero.
#ifndef QUARN_IMAGE_BIG_BUFFER_H
#define QUARN_IMAGE_BIG_BUFFER_H

#include <cstddef>

namespace quarn {

struct BigBuffer {
  void* data = nullptr;    // 64-byte aligned; nullptr when empty
  std::size_t bytes = 0;   // what was reserved, for release
  bool zeroed = false;     // every byte is known to be zero
  bool mapped = false;     // mapped directly rather than from the heap
};

// Reserves at least `bytes`; data is nullptr when the system refuses.
BigBuffer allocate_big(std::size_t bytes);
void release_big(BigBuffer& buffer);

// Whether later buffers may fill the unused end of earlier buffers' huge
// pages (off at first). It suits a process that codes one picture, such as
// the tool, where each fresh huge page saved is 0.1 ms; a process that codes
// frames of changing sizes should leave it off, since a small buffer that
// outlives the one whose mapping it shares keeps that mapping.
void share_big_buffers(bool on);
bool big_buffers_shared();

}  // namespace quarn

#endif  // QUARN_IMAGE_BIG_BUFFER_H
