// cyc3d_files.cpp - the temporary file names of a 3D cycle run.
#include "output/cyc3d_files.h"

#include <cstdio>
#include <cstring>

#include "framework/path_join.h"
#include "framework/platform.h"

int cyc3dTempFileName(char* out, std::size_t outSize, const char* folder, const char* extension) {
  if (out == nullptr || outSize == 0) return 0;
  out[0] = '\0';
  if (folder == nullptr || extension == nullptr) return 0;
  char leaf[kCyc3dTempNameSize];
  const int n = std::snprintf(leaf, sizeof leaf, "%ld.%s", platProcessId(), extension);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof leaf) return 0;
  return cyc3dJoinPath(out, outSize < kCyc3dTempNameSize ? outSize : kCyc3dTempNameSize, folder,
                       leaf);
}

int cyc3dJoinPath(char* out, std::size_t size, const char* folder, const char* name) {
  return pathJoinDirName(out, size, folder, name);
}
