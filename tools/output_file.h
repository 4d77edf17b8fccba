// Where a command puts its result, written so that no failure destroys
// anything the tool did not make.
//
// - A regular file, or a name that does not exist yet, is written to a
//   temporary file in the same folder (unnamed where the system allows, so
//   that even a kill leaves nothing behind), flushed to the disk and renamed
//   over the name only when complete. An existing file keeps its place,
//   bytes and permissions until then, and is left as it was on any failure.
// - A symlink's target is written that way; the link stays a link.
// - Devices, FIFOs, terminals and stdout are written in place and never
//   removed.
//
// A command opens its output before it reads or codes anything, so that a
// path it cannot write is found first, and writes it once, whole, at the end.
#ifndef QUARN_TOOLS_OUTPUT_FILE_H
#define QUARN_TOOLS_OUTPUT_FILE_H

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

namespace quarn {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Gets `path` ("-" is stdout) ready to be written. `binary` names what
  // will be written ("a coded stream", "a PNG image"), which is not sent to
  // a terminal. Returns an empty string, or why the path cannot be written.
  std::string open(const std::string& path, const std::string& binary);

  // Writes `data` as the whole output and completes it. Returns an empty
  // string, or why it failed.
  std::string write(std::span<const uint8_t> data);

 private:
  enum class Kind { kClosed, kStdout, kInPlace, kReplace };

  std::string make_temporary();
  std::string name_temporary();
  std::string replace(std::span<const uint8_t> data);
  std::string flush(int fd) const;
  void keep_permissions();
  void discard();

  Kind kind_ = Kind::kClosed;
  int fd_ = -1;
  std::string target_;  // the file that is made or replaced
  std::string folder_;  // its folder
  std::string temp_;    // the temporary file's name, once it has one
  bool replacing_ = false;  // target_ exists: its permissions are kept
  mode_t mode_ = 0;
  uid_t owner_ = 0;
  gid_t group_ = 0;
};

// Refuses an output that is the input itself (the same file, reached by any
// name, or through stdin and stdout): the input would be destroyed before
// it is read. "-" is stdin for `in` and stdout for `out`. Returns an empty
// string, or the problem.
std::string check_not_input(const std::string& in, const std::string& out);

}  // namespace quarn

#endif  // QUARN_TOOLS_OUTPUT_FILE_H
