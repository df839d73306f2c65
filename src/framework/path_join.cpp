// path_join.cpp - folder and file name joined with one separator.
#include "framework/path_join.h"

#include <cstdio>
#include <cstring>

int pathJoinDirName(char* out, std::size_t size, const char* dir, const char* name) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (dir == nullptr || name == nullptr) return 0;
  const std::size_t len = std::strlen(dir);
  const bool separated = len == 0 || dir[len - 1] == '/' || dir[len - 1] == '\\';
  const int n = std::snprintf(out, size, "%s%s%s", dir, separated ? "" : "/", name);
  if (n < 0 || static_cast<std::size_t>(n) >= size) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}
