// Whole files in; "-" is stdin. (Output: tools/output_file.h.)
//
// A run of the tool codes one picture, so the cost of memory is mostly the
// cost of touching fresh pages, which on some machines is more than the
// coding itself. Files are read with one read() into storage of their size
// (mapped in huge pages when large, see image/big_buffer.h).
#ifndef QUARN_TOOLS_FILE_IO_H
#define QUARN_TOOLS_FILE_IO_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "image/big_buffer.h"

// Bytes in storage of their own.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes() { release_big(storage_); }
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // Room for at least `capacity` bytes, keeping the bytes held; false when
  // the system has no memory for it.
  bool reserve(std::size_t capacity);
  // The size may be set anywhere up to the capacity; bytes past the old
  // size are not cleared.
  void set_size(std::size_t size) { size_ = size; }

  uint8_t* data() { return static_cast<uint8_t*>(storage_.data); }
  const uint8_t* data() const { return static_cast<const uint8_t*>(storage_.data); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return storage_.bytes; }
  std::span<const uint8_t> bytes() const { return {data(), size_}; }
  // The storage past the bytes held, from a 64-byte boundary on: room for
  // other data, as long as the size stays.
  std::span<uint8_t> spare();

 private:
  BigBuffer storage_;
  std::size_t size_ = 0;
};

// Returns an empty string on success, else why it failed. A terminal on
// stdin is refused: what the tool reads is binary.
std::string read_input(const std::string& path, FileBytes* data);

#endif  // QUARN_TOOLS_FILE_IO_H
