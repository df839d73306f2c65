// fuzz_input_file.h - the scratch file through which the file-reader fuzz targets hand each
// input to a reader that takes a path: one file per process, named with the reader's extension,
// removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Writes the input (after an optional prefix) to the process's scratch file and returns its path.
inline const char* fuzzInputFile(const char* extension, const std::uint8_t* data, std::size_t size,
                                 const std::string& prefix = "") {
  static const std::string path = [extension] {
    const char* dir = std::getenv("TMPDIR");
    const std::string ext = std::string(".") + extension;
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_input_XXXXXX" + ext;
    const int fd = ::mkstemps(p.data(), static_cast<int>(ext.size()));
    if (fd < 0) std::abort();
    ::close(fd);
    std::atexit([] { ::unlink(path.c_str()); });
    return p;
  }();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(prefix.data(), 1, prefix.size(), f);
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path.c_str();
}
