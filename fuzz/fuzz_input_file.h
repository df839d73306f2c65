// fuzz_input_file.h - the scratch file through which the file-reader fuzz targets hand each
// input to a reader that takes a path: one file per process, named with the reader's extension,
// removed at exit.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

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
  // Written over the old content and cut to its new length afterwards: a file emptied on open
  // ("wb") is flushed to the disk when it is closed (the file system guards replaced files so),
  // which made the disk, not the reader, the pace of every file target.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  std::size_t at = 0;
  for (const auto& [bytes, count] :
       {std::pair<const void*, std::size_t>{prefix.data(), prefix.size()},
        std::pair<const void*, std::size_t>{data, size}}) {
    if (count > 0 &&
        ::pwrite(fd, bytes, count, static_cast<off_t>(at)) != static_cast<ssize_t>(count)) {
      std::abort();
    }
    at += count;
  }
  if (::ftruncate(fd, static_cast<off_t>(at)) != 0) std::abort();
  ::close(fd);
  return path.c_str();
}
