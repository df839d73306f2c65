// cyc3d_files.cpp - the temporary file names of a 3D cycle run.
#include "output/cyc3d_files.h"

#include <cstdio>
#include <cstring>

#include "framework/platform.h"

int cyc3dTempFileName(char* out, std::size_t outSize, const char* folder, const char* extension) {
  if (out == nullptr || outSize == 0) return 0;
  out[0] = '\0';
  if (folder == nullptr || extension == nullptr) return 0;
  const std::size_t len = std::strlen(folder);
  const bool hasSeparator = len == 0 || folder[len - 1] == '/' || folder[len - 1] == '\\';
  char name[kCyc3dTempNameSize];
  const int n = std::snprintf(name, sizeof name, "%s%s%ld.%s", folder, hasSeparator ? "" : "/",
                              platProcessId(), extension);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name ||
      static_cast<std::size_t>(n) >= outSize) {
    return 0;
  }
  std::memcpy(out, name, static_cast<std::size_t>(n) + 1);
  return 1;
}
