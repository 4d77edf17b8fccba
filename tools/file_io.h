// Whole files in and out; "-" is stdin or stdout.
#ifndef QUARN_TOOLS_FILE_IO_H
#define QUARN_TOOLS_FILE_IO_H

#include <cstdint>
#include <string>
#include <vector>

// Each returns an empty string on success, else why it failed.
std::string read_input(const std::string& path, std::vector<uint8_t>* data);
// A file that cannot be written completely is removed again.
std::string write_output(const std::string& path, const std::vector<uint8_t>& data);

#endif  // QUARN_TOOLS_FILE_IO_H
