// fuzz_input_file.h - writes a fuzz input to a file of this process, for readers that take a
// file name.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qdfuzz {
// Writes the bytes to "fuzz_<pid><suffix>" in the working directory and returns that name; empty
// when it cannot be written.
inline std::string writeInputFile(const std::uint8_t* data, std::size_t size, const char* suffix) {
  const std::string name = "fuzz_" + std::to_string(static_cast<long>(getpid())) + suffix;
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return std::string();
  const bool ok = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) return std::string();
  return name;
}
}  // namespace qdfuzz
