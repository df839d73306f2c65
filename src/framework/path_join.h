// path_join.h - the one rule by which the library joins a folder and a file name: temporary
// files, work files and output names all go through it, so every module writes the same paths.
#pragma once

#include <cstddef>

// out = dir, a '/' unless dir is empty or already ends in '/' or '\', then name.
// Returns 1 written; 0 for a null argument, size 0, or a result that does not fit in size bytes
// (out is then empty when it has room for the NUL).
int pathJoinDirName(char* out, std::size_t size, const char* dir, const char* name);
